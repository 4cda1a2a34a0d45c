#include "sqlite_recovery/engine/SQLiteFormat.h"

int ReadVarint(const uint8_t* p, const uint8_t* end, uint64_t* value) {
    if (p >= end) return 0;
    // The common one-byte case first: most lengths, rowids and serial types fit.
    if (p[0] < 0x80) {
        *value = p[0];
        return 1;
    }
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) {
        if (p + i >= end) return 0;
        v = (v << 7) | (p[i] & 0x7F);
        if (!(p[i] & 0x80)) {
            *value = v;
            return i + 1;
        }
    }
    if (p + 8 >= end) return 0;
    *value = (v << 8) | p[8];
    return 9;
}
