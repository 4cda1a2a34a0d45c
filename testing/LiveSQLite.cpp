#include "testing/LiveSQLite.h"

#include <sqlite3.h>

#include "platform/StringConversion.h"

LiveSQLiteTable::LiveSQLiteTable(sqlite3* db, const std::string& name) {
    sqlite3_stmt* info = nullptr;
    if (sqlite3_prepare_v2(db, ("PRAGMA table_info(\"" + name + "\")").c_str(), -1, &info, nullptr) == SQLITE_OK) {
        while (sqlite3_step(info) == SQLITE_ROW)
            columns_.push_back(reinterpret_cast<const char*>(sqlite3_column_text(info, 1)));
    }
    sqlite3_finalize(info);
    bool hasDocid = name.size() > 8 && name.compare(name.size() - 8, 8, "_content") == 0;
    std::string select = "SELECT " + std::string(hasDocid ? "docid, " : "") + "* FROM \"" + name + "\" ORDER BY rowid";
    if (hasDocid && !columns_.empty() && columns_[0] == "docid")
        select = "SELECT * FROM \"" + name + "\" ORDER BY rowid";
    else if (hasDocid)
        columns_.insert(columns_.begin(), "docid");
    sqlite3_stmt* rows = nullptr;
    if (sqlite3_prepare_v2(db, select.c_str(), -1, &rows, nullptr) != SQLITE_OK) return;
    while (sqlite3_step(rows) == SQLITE_ROW) {
        std::vector<Cell> record;
        for (int c = 0; c < sqlite3_column_count(rows); ++c) {
            Cell cell;
            cell.type = sqlite3_column_type(rows, c);
            cell.integer = sqlite3_column_int64(rows, c);
            cell.real = sqlite3_column_double(rows, c);
            const void* bytes = sqlite3_column_blob(rows, c);
            cell.bytes.assign(static_cast<const char*>(bytes ? bytes : ""), sqlite3_column_bytes(rows, c));
            record.push_back(std::move(cell));
        }
        records_.push_back(std::move(record));
    }
    sqlite3_finalize(rows);
}

int LiveSQLiteTable::FindColumn(const std::string& name) const {
    for (size_t i = 0; i < columns_.size(); ++i)
        if (columns_[i] == name) return static_cast<int>(i);
    return -1;
}

int LiveSQLiteTable::GetValue(int record, int column, bool live, FieldValue* out) {
    if (!live || record < 0 || record >= LiveCount()) return -1;
    if (column < 0) {
        *out = FieldValue();
        return 0;
    }
    if (column >= static_cast<int>(records_[record].size())) return -1;
    const Cell& cell = records_[record][column];
    switch (cell.type) {
    case SQLITE_INTEGER: *out = FieldValue::MakeInteger(cell.integer); break;
    case SQLITE_FLOAT: *out = FieldValue::MakeReal(cell.real); break;
    case SQLITE_TEXT: *out = FieldValue::MakeText(cell.bytes.data(), static_cast<uint32_t>(cell.bytes.size())); break;
    case SQLITE_BLOB: *out = FieldValue::MakeBlob(cell.bytes.data(), static_cast<uint32_t>(cell.bytes.size())); break;
    default: *out = FieldValue(); break;
    }
    return 0;
}

LiveSQLiteEngine::LiveSQLiteEngine(std::string database) : database_(std::move(database)) {}

LiveSQLiteEngine::~LiveSQLiteEngine() { CloseDatabase(); }

ResultCode LiveSQLiteEngine::OpenDatabase(const std::wstring& path) {
    CloseDatabase();
    // No scratch copy is needed: the database is opened read-only.
    std::string uri = "file:" + (database_.empty() ? platform::WideToUtf8(path) : database_) + "?mode=ro";
    if (sqlite3_open_v2(uri.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) != SQLITE_OK) {
        CloseDatabase();
        return RK_FAIL(RK_E_FAIL);
    }
    return RK_OK;
}

void LiveSQLiteEngine::CloseDatabase() {
    tables_.clear();
    if (db_) sqlite3_close(db_);
    db_ = nullptr;
}

ResultCode LiveSQLiteEngine::SelectView(int index, int*) { return db_ && index == 0 ? RK_OK : RK_FAIL(RK_E_FAIL); }

ISQLiteTable* LiveSQLiteEngine::FindTable(const std::string& name) {
    if (!db_) return nullptr;
    auto found = tables_.find(name);
    if (found != tables_.end()) return found->second.get();
    sqlite3_stmt* check = nullptr;
    bool exists = false;
    if (sqlite3_prepare_v2(db_, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?", -1, &check, nullptr) ==
        SQLITE_OK) {
        sqlite3_bind_text(check, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        exists = sqlite3_step(check) == SQLITE_ROW;
    }
    sqlite3_finalize(check);
    if (!exists) return nullptr;
    return (tables_[name] = std::make_unique<LiveSQLiteTable>(db_, name)).get();
}
