#pragma once
// Helpers of the SQLite engine tests: fixture paths, opening a view, rendering decoded rows the
// way sqlite3's quote() prints them.
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "sqlite_recovery/engine/CSQLiteFileIOManager.h"
#include "sqlite_recovery/engine/CSQLiteReader.h"

namespace sqlite_test {

std::string Fixture(const std::string& name);
std::vector<std::string> ReadLines(const std::string& path);
std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// A fresh folder under the system temporary folder, removed by the destructor.
struct TempDir {
    TempDir();
    ~TempDir();
    std::string path;
    std::string Join(const std::string& name) const { return path + "/" + name; }
};

// One rendered column: sqlite3's quote() text, or its beginning when the engine delivered a cut
// value (TEXT over 4096 bytes, BLOB over its overflow allowance).
struct Field {
    std::string text;
    bool cut = false;
};
using Row = std::vector<Field>;

Field Render(const ColumnValue& value, bool realAffinity = false);
// Declared REAL in the table's CREATE text.
bool IsRealColumn(const TableSchema* table, int column);
bool FieldMatches(const Field& field, const std::string& expected);
std::vector<std::string> SplitFields(const std::string& line);

// A database opened through the view manager, a view chosen, and a reader on it.
struct OpenDb {
    std::unique_ptr<CSQLiteFileIOManager> manager;
    IFileIO* view = nullptr;
    int viewFlag = 0;
    std::unique_ptr<CSQLiteReader> reader;
    int openResult = 0;

    // viewIndex -1: the last view.
    explicit OpenDb(const std::string& path, int viewIndex = -1);
    ~OpenDb();
    // Walks the table with the view's flag; false when it is missing or the walk fails.
    TableSchema* Walk(const char* table);
};

// Every record of a map rendered, sorted by the first column's integer (the rowid).
std::vector<Row> RenderRecords(CSQLiteReader& reader, TableSchema* table, bool live);
// Rows as text without their first column, for comparisons where the rowid is unknown.
std::string WithoutFirst(const Row& row);
std::string WithoutFirst(const std::string& line);
std::string Joined(const Row& row);

}  // namespace sqlite_test
