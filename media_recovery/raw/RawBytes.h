#pragma once
#include <cstdint>
#include <cstring>

// Explicit-endian loads from untrusted byte buffers.
namespace rawbytes {

inline uint16_t LE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
inline uint16_t BE16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t BE32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
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
