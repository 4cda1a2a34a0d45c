#pragma once
// Decoding of one record (CSQLiteReader::DecodeRecord): where its cell lies, its serial types, then
// each value from the page or from its overflow chain.
#include <cstdint>

#include "sqlite_recovery/engine/ColumnValue.h"

// Most bytes of one value that GetValue delivers: a safety cap, far beyond any real text.
constexpr uint32_t kMaxValueBytes = uint32_t(32) << 20;

// Kind and length of a serial type into value. 0; -1 for the reserved types 10 and 11.
int DecodeSerialType(uint64_t type, ColumnValue* value, uint32_t textCap = kMaxValueBytes);
