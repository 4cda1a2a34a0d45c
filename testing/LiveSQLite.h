#pragma once
// Test oracle: a database as the system's SQLite library reads it, offered through the engine
// interface the table analysers read: one view holding the live rows of every table in rowid
// order, nothing deleted. Tests compare the recovery engine's live rows with it and run the
// analysers and joins on sqlite3-made databases independently of that engine.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sqlite_recovery/controller/ISQLiteEngine.h"

struct sqlite3;

// The live rows of one table, read once.
class LiveSQLiteTable : public ISQLiteTable {
public:
    // A content table of a full-text index ("..._content") without a declared docid column gets
    // one as its first column.
    LiveSQLiteTable(sqlite3* db, const std::string& name);

    int Walk(bool) override { return 0; }
    int LiveCount() const override { return static_cast<int>(records_.size()); }
    int RecoveredCount() const override { return 0; }
    int FindColumn(const std::string& name) const override;
    int GetValue(int record, int column, bool live, FieldValue* out) override;

private:
    struct Cell {
        int type = 0;  // SQLITE_INTEGER ... SQLITE_NULL; 0 before it is read
        int64_t integer = 0;
        double real = 0;
        std::string bytes;
    };
    std::vector<std::string> columns_;
    std::vector<std::vector<Cell>> records_;
};

class LiveSQLiteEngine : public ISQLiteEngine {
public:
    // With a database path, OpenDatabase opens that file whatever path it is given: a test's
    // checkpointed copy read in place of the database a recovery object pulled.
    explicit LiveSQLiteEngine(std::string database = std::string());
    ~LiveSQLiteEngine() override;

    // Read-only; failure when the file cannot be opened.
    ResultCode OpenDatabase(const std::wstring& path) override;
    void CloseDatabase() override;
    int ViewCount() override { return db_ ? 1 : 0; }
    ResultCode SelectView(int index, int*) override;
    void ReleaseView() override {}
    int OpenReader() override { return db_ ? 0 : -1; }
    void CloseReader() override { tables_.clear(); }
    // Null when the database has no table of that name.
    ISQLiteTable* FindTable(const std::string& name) override;

private:
    std::string database_;
    sqlite3* db_ = nullptr;
    std::map<std::string, std::unique_ptr<LiveSQLiteTable>> tables_;
};
