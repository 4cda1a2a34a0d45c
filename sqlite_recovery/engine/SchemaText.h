#pragma once
// What the reader learns from a table's CREATE text: how many columns it has, where a named
// column stands, which column is the rowid and what each column's declared type lets it hold.
#include <cstdint>
#include <string>
#include <vector>

#include "sqlite_recovery/engine/TableSchema.h"

// 1 + the commas of the CREATE text up to the first one that opens a table constraint
// (PRIMARY KEY, UNIQUE, CHECK, FOREIGN KEY, CONSTRAINT).
int CountColumns(const std::string& sql);
// 0-based position of the named column in the table's CREATE text, -1 when absent. An exact name
// wins over a column whose name merely begins with it.
int FindColumnIndex(const TableSchema* table, const char* name);
// Column declared INTEGER PRIMARY KEY (the rowid), -1 when none.
int FindRowidColumn(const std::string& sql, int columnCount);
// Affinity of a column from its declared type, by SQLite's rules.
enum ColumnAffinity : uint8_t {
    kAffinityBlob = 0,  // no type, or BLOB: holds anything
    kAffinityText,      // CHAR, CLOB, TEXT: numbers are stored as text
    kAffinityNumeric,
    kAffinityInteger,   // INT
    kAffinityReal,      // REAL, FLOA, DOUB
};

// One affinity per column of a CREATE TABLE text; empty when the text does not split into
// exactly columnCount column definitions (then no value is checked against its column).
std::vector<uint8_t> ColumnAffinities(const std::string& sql, int columnCount);
