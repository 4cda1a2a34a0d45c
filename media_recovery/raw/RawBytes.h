#pragma once
#include <cstdint>
#include <cstring>

#include "sqlite_recovery/framework/ByteOrder.h"

// Comparisons of untrusted bytes with a signature; integers are read with sqlite_recovery/framework/ByteOrder.h.
namespace rawbytes {

inline bool Equals(const uint8_t* p, const char* text, size_t n) { return std::memcmp(p, text, n) == 0; }
inline bool EqualsNoCase(const uint8_t* p, const char* text, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        uint8_t a = p[i], b = static_cast<uint8_t>(text[i]);
        if (a >= 'a' && a <= 'z') a = static_cast<uint8_t>(a - 32);
        if (b >= 'a' && b <= 'z') b = static_cast<uint8_t>(b - 32);
        if (a != b) return false;
    }
    return true;
}

}  // namespace rawbytes
