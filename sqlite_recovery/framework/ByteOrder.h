#pragma once
#include <cstdint>

// Fixed-width integers stored in a given byte order, read from bytes whose range the caller has
// checked. Written byte by byte so that any alignment is fine; the compilers turn each into one
// load (and a byte swap for the big-endian forms).

constexpr uint16_t LoadLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
constexpr uint32_t LoadLE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
constexpr uint64_t LoadLE64(const uint8_t* p) { return LoadLE32(p) | (static_cast<uint64_t>(LoadLE32(p + 4)) << 32); }

constexpr uint16_t LoadBE16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
constexpr uint32_t LoadBE32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
constexpr uint64_t LoadBE64(const uint8_t* p) { return (static_cast<uint64_t>(LoadBE32(p)) << 32) | LoadBE32(p + 4); }
