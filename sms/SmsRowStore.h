#pragma once
#include <cstdint>
#include "sqlite_recovery/controller/CTableAnalyze.h"

class CTableRow;

using SmsRowMap = RowMultimap;

// Files a new row (owned by the map afterwards) under its id. A stored row equal to it takes its
// live flag and the new row is released. Of several recovered versions of one MMS (same id and
// thread) only the newest is kept.
void StoreSmsRow(SmsRowMap& rows, CTableRow* row);
// Releases every row and empties the map.
void ReleaseSmsRows(SmsRowMap& rows);
