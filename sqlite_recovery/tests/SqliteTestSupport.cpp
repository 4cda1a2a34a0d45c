#include "sqlite_recovery/tests/SqliteTestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "sqlite_recovery/framework/FileUtils.h"
#include "platform/StringConversion.h"

namespace sqlite_test {

std::string Fixture(const std::string& name) {
    const char* root = std::getenv("RK_TESTDATA");
    return std::string(root ? root : "../testdata") + "/sqlite_fixtures/" + name;
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TempDir::TempDir() {
    char name[] = "/tmp/rk_sqlite_XXXXXX";
    path = mkdtemp(name) ? name : "/tmp";
}

TempDir::~TempDir() { DeleteFolderTree(platform::Utf8ToWide(path)); }

Field Render(const ColumnValue& v, bool realAffinity) {
    Field f;
    char buffer[64];
    switch (v.kind) {
        case kColumnNull: f.text = "NULL"; break;
        case kColumnInt:
        case kColumnInt64:
        case kColumnConst:
            if (v.serialType == 7) {
                std::snprintf(buffer, sizeof buffer, "%.15g", v.ToDouble());
                f.text = buffer;
                if (f.text.find_first_of(".eni") == std::string::npos) f.text += ".0";
            } else if (realAffinity && (v.data || v.kind == kColumnConst)) {
                // sqlite3 stores a whole REAL as an integer and reads it back as REAL.
                std::snprintf(buffer, sizeof buffer, "%.15g", static_cast<double>(v.ToInt64()));
                f.text = std::string(buffer) + (std::string(buffer).find_first_of(".eni") == std::string::npos ? ".0" : "");
            } else if (v.kind != kColumnConst && !v.data) {
                f.text = "<no data>";
            } else {
                f.text = std::to_string(v.ToInt64());
            }
            break;
        case kColumnText: {
            f.text = "'";
            for (uint32_t i = 0; i < v.length; ++i) {
                const char ch = static_cast<char>(v.data[i]);
                f.text += ch;
                if (ch == '\'') f.text += '\'';
            }
            f.cut = v.length < v.storedLength;
            if (!f.cut) f.text += "'";
            break;
        }
        case kColumnBlob: {
            f.text = "X'";
            static const char* hex = "0123456789ABCDEF";
            for (uint32_t i = 0; i < v.length; ++i) {
                f.text += hex[v.data[i] >> 4];
                f.text += hex[v.data[i] & 15];
            }
            f.cut = v.length < v.storedLength;
            if (!f.cut) f.text += "'";
            break;
        }
        default: f.text = "<kind " + std::to_string(v.kind) + ">";
    }
    return f;
}

bool FieldMatches(const Field& field, const std::string& expected) {
    if (!field.cut) return field.text == expected;
    return expected.compare(0, field.text.size(), field.text) == 0 && expected.size() > field.text.size();
}

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t bar = line.find('|', start);
        out.push_back(line.substr(start, bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    return out;
}

OpenDb::OpenDb(const std::string& path, int viewIndex) : manager(new CSQLiteFileIOManager), reader(new CSQLiteReader) {
    const std::wstring wide = platform::Utf8ToWide(path);
    if (Failed(manager->Open(wide.c_str()))) {
        openResult = -100;
        return;
    }
    const int index = viewIndex < 0 ? manager->GetViewCount() - 1 : viewIndex;
    if (Failed(manager->GetView(&view, index, &viewFlag))) {
        openResult = -101;
        return;
    }
    openResult = reader->Open(view);
}

OpenDb::~OpenDb() {
    reader.reset();
    if (view) view->Release();
}

TableSchema* OpenDb::Walk(const char* table) {
    if (openResult <= 0) return nullptr;
    TableSchema* t = reader->FindTable(table);
    if (!t) return nullptr;
    if (reader->WalkTable(t, 0, viewFlag) != 0) return nullptr;
    return t;
}

bool IsRealColumn(const TableSchema* table, int column) {
    // The declared type follows the column's name in the CREATE text.
    const std::string& sql = table->sql;
    size_t at = sql.find('(');
    for (int i = 0; i < column && at != std::string::npos; ++i) at = sql.find(',', at + 1);
    if (at == std::string::npos) return false;
    const size_t end = sql.find_first_of(",)", at + 1);
    const std::string def = sql.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
    return def.find("REAL") != std::string::npos;
}

std::vector<Row> RenderRecords(CSQLiteReader& reader, TableSchema* table, bool live) {
    std::vector<std::pair<int64_t, Row>> rows;
    const size_t n = live ? table->LiveCount() : table->RecoveredCount();
    for (size_t i = 0; i < n; ++i) {
        Row row;
        int64_t key = 0;
        bool ok = true;
        for (int c = 0; c < table->columnCount; ++c) {
            ColumnValue v;
            if (reader.GetValue(static_cast<int>(i), table, c, &v, live ? 1 : 0) != 0) {
                ok = false;
                break;
            }
            if (c == 0) key = v.ToInt64();
            row.push_back(Render(v, IsRealColumn(table, c)));
        }
        if (ok) rows.push_back({key, row});
    }
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Row> out;
    for (auto& r : rows) out.push_back(std::move(r.second));
    return out;
}

std::string Joined(const Row& row) {
    std::string s;
    for (size_t i = 0; i < row.size(); ++i) s += (i ? "|" : "") + row[i].text;
    return s;
}

std::string WithoutFirst(const Row& row) {
    std::string s;
    for (size_t i = 1; i < row.size(); ++i) s += (i > 1 ? "|" : "") + row[i].text;
    return s;
}

std::string WithoutFirst(const std::string& line) {
    const size_t bar = line.find('|');
    return bar == std::string::npos ? std::string() : line.substr(bar + 1);
}

}  // namespace sqlite_test
