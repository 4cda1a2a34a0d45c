#pragma once
// What the reader learns from a table's CREATE text: how many columns it has, where a named
// column stands and which column is the rowid.
#include <string>

#include "sqlite_recovery/engine/TableSchema.h"

// 1 + the commas of the CREATE text up to the first one that opens a table constraint
// (PRIMARY KEY, UNIQUE, CHECK, FOREIGN KEY, CONSTRAINT).
int CountColumns(const std::string& sql);
// 0-based position of the named column in the table's CREATE text, -1 when absent. An exact name
// wins over a column whose name merely begins with it.
int FindColumnIndex(const TableSchema* table, const char* name);
// Column declared INTEGER PRIMARY KEY (the rowid), -1 when none.
int FindRowidColumn(const std::string& sql, int columnCount);
