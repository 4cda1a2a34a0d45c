#pragma once
// Test oracle: a table of a database as the SQLite library itself reads it, offered as live
// records. The table analysers read it exactly as they read the recovery engine's tables.
#include <sqlite3.h>

#include <deque>
#include <string>
#include <vector>

#include "sqlite_recovery/controller/ISQLiteEngine.h"

class SqliteLibraryTable : public ISQLiteTable {
public:
    // False when the database or the table cannot be read.
    bool Load(const std::string& database, const std::string& table) {
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            sqlite3_close(db);
            return false;
        }
        sqlite3_stmt* statement = nullptr;
        std::string sql = "SELECT * FROM \"" + table + "\" ORDER BY rowid";
        bool ok = sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK;
        if (ok) {
            int columns = sqlite3_column_count(statement);
            for (int c = 0; c < columns; ++c) columns_.push_back(sqlite3_column_name(statement, c));
            while (sqlite3_step(statement) == SQLITE_ROW) {
                std::vector<FieldValue> record;
                for (int c = 0; c < columns; ++c) record.push_back(Value(statement, c));
                records_.push_back(record);
            }
        }
        sqlite3_finalize(statement);
        sqlite3_close(db);
        return ok;
    }

    int Walk(bool) override { return 0; }
    int LiveCount() const override { return static_cast<int>(records_.size()); }
    int RecoveredCount() const override { return 0; }
    int FindColumn(const std::string& name) const override {
        for (size_t i = 0; i < columns_.size(); ++i)
            if (columns_[i] == name) return static_cast<int>(i);
        return -1;
    }
    int GetValue(int record, int column, bool live, FieldValue* out) override {
        if (!live || record < 0 || record >= LiveCount()) return -1;
        *out = column < 0 ? FieldValue() : records_[record].at(column);
        return 0;
    }

private:
    FieldValue Value(sqlite3_stmt* statement, int c) {
        switch (sqlite3_column_type(statement, c)) {
        case SQLITE_INTEGER: return FieldValue::MakeInteger(sqlite3_column_int64(statement, c));
        case SQLITE_FLOAT: return FieldValue::MakeReal(sqlite3_column_double(statement, c));
        case SQLITE_TEXT: {
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, c));
            bytes_.emplace_back(text, sqlite3_column_bytes(statement, c));
            return FieldValue::MakeText(bytes_.back().data(), static_cast<uint32_t>(bytes_.back().size()));
        }
        case SQLITE_BLOB: {
            const char* blob = static_cast<const char*>(sqlite3_column_blob(statement, c));
            bytes_.emplace_back(blob ? blob : "", sqlite3_column_bytes(statement, c));
            return FieldValue::MakeBlob(bytes_.back().data(), static_cast<uint32_t>(bytes_.back().size()));
        }
        default: return FieldValue();
        }
    }

    std::vector<std::string> columns_;
    std::vector<std::vector<FieldValue>> records_;
    std::deque<std::string> bytes_;
};
