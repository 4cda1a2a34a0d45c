#pragma once
// Decoding of one record (CSQLiteReader::DecodeRecord): where its cell lies, its serial types, then
// each value from the page or from its overflow chain.
#include <cstdint>

#include "sqlite_recovery/engine/ColumnValue.h"

// Most bytes of one value that GetValue delivers: a safety cap, far beyond any real text.
constexpr uint32_t kMaxValueBytes = uint32_t(32) << 20;

// A value that a decode delivered shorter than it is stored: it overflowed beyond the most bytes
// a value, or all values of a record, may take in the overflow buffer.
struct ValueCut {
    int64_t rowid = 0;    // of the record; 0 when it was lost
    int column = 0;       // 0-based
    uint64_t stored = 0;  // bytes of the value as stored
    uint64_t kept = 0;    // bytes delivered
};

// Kind and length of a serial type into value, a text's or a blob's length at most cap. 0; -1 for
// the reserved types 10 and 11.
int DecodeSerialType(uint64_t type, ColumnValue* value, uint32_t cap = kMaxValueBytes);
