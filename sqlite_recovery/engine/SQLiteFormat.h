#pragma once
// Byte-level rules of the SQLite 3 file format, every read bounded by the caller's end pointer.
#include <cstdint>

namespace sqlite_format {

inline uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t Load32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

// Bytes a value takes as a varint: 1 below 128, 2 below 16384, ... 9 for the largest.
inline int VarintSize(uint64_t v) {
    int n = 1;
    while (n < 9 && v >= (uint64_t(1) << (7 * n))) ++n;
    return n;
}

// Value length in bytes of a serial type; -1 for the reserved types 10 and 11. Lengths of huge
// TEXT/BLOB types are returned whole (the caller compares them with what is left).
inline int64_t SerialTypeLength(uint64_t type) {
    static const int8_t kFixed[12] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, -1, -1};
    if (type < 12) return kFixed[type];
    return static_cast<int64_t>((type - 12) >> 1);
}

// Local payload bytes of a table-leaf cell with payload P on pages of the given usable size:
// the file format's own rule (P itself up to U-35, else M + (P-M) mod (U-4) while that stays
// within U-35, else M).
inline int64_t LocalPayloadSize(int64_t payload, int64_t usable) {
    const int64_t maxLocal = usable - 35;
    if (payload <= maxLocal) return payload;
    const int64_t minLocal = ((usable - 12) * 32 / 255) - 23;
    const int64_t k = minLocal + (payload - minLocal) % (usable - 4);
    return k <= maxLocal ? k : minLocal;
}

}  // namespace sqlite_format

// The published SQLite varint at p, never reading at or past end: returns the bytes used (1 to 9),
// or 0 when the varint would run past end.
int ReadVarint(const uint8_t* p, const uint8_t* end, uint64_t* value);
