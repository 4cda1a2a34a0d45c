#pragma once
#include <cstdint>
#include <set>
#include <string>

#include "sqlite_recovery/controller/FieldValue.h"
#include "sqlite_recovery/framework/ResultCode.h"

// What a table analyser reads of one table of the database view that the reader is open on.
class ISQLiteTable {
public:
    virtual ~ISQLiteTable();
    // Walks the table's b-tree: live records always, recovered ones too when viewFlag is false
    // (the view on which deleted records are recovered). Negative on failure.
    virtual int Walk(bool viewFlag) = 0;
    virtual int LiveCount() const = 0;
    virtual int RecoveredCount() const = 0;
    // The column's position in the table; -1 when the table has no such column.
    virtual int FindColumn(const std::string& name) const = 0;
    // One column of one record of the live (live true) or recovered records, numbered from 0.
    // Negative when the record cannot be decoded or does not exist; an absent column (-1) gives NULL.
    virtual int GetValue(int record, int column, bool live, FieldValue* out) = 0;
    // Gives back what the last walk found, once every record the caller wanted has been read;
    // the table then holds no records until it is walked again.
    virtual void ForgetRecords() {}
};

// What of a database could not be read, gathered over its views.
struct DatabaseDamage {
    std::set<uint32_t> lostPages;  // not what the page or free list pointing at them says
    uint64_t pageCount = 0;        // the most pages a view held
    bool headerLost = false;       // page 1 was no header: the pages were read without it
    bool Any() const { return headerLost || !lostPages.empty(); }
};

// The recovery controller's hold on the SQLite engine: the view manager over the database and its
// write-ahead log, the one view held at a time, and the reader on it.
class ISQLiteEngine {
public:
    virtual ~ISQLiteEngine();
    // Opens the view manager on the database file.
    virtual ResultCode OpenDatabase(const std::wstring& path) = 0;
    virtual void CloseDatabase() = 0;
    // 1, or 2 with a usable write-ahead log; 0 before OpenDatabase.
    virtual int ViewCount() = 0;
    // Releases the current view and makes view index current. *viewFlag is written only by views
    // that have a flag (the write-ahead log's views).
    virtual ResultCode SelectView(int index, int* viewFlag) = 0;
    virtual void ReleaseView() = 0;
    // Opens the reader on the current view (header and schema); negative when it is no database.
    virtual int OpenReader() = 0;
    virtual void CloseReader() = 0;
    // The named table of the reader's schema (exact, case-sensitive); null when absent.
    virtual ISQLiteTable* FindTable(const std::string& name) = 0;
    // The CREATE TABLE texts the database is known by, read when its first page is lost.
    virtual void SetKnownSchema(const std::string& schema) {}
    // Adds what the reader found it could not read of the current view, once its tables were walked.
    virtual void NoteDamage(DatabaseDamage& damage) const {}
};

// The engine the controllers use by default; null when it cannot be created.
ISQLiteEngine* NewSQLiteEngine();
