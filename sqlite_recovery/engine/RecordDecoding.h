#pragma once
// Decoding of one record (CSQLiteReader::DecodeRecord): its serial types, then each value from the
// page or from its overflow chain.
#include <cstdint>

#include "sqlite_recovery/engine/ColumnValue.h"

// Most bytes of one TEXT value that GetValue delivers.
constexpr uint32_t kMaxTextBytes = 4096;

// Kind and length of a serial type into value. 0; -1 for the reserved types 10 and 11.
int DecodeSerialType(uint64_t type, ColumnValue* value, uint32_t textCap = kMaxTextBytes);
