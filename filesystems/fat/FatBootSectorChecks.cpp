// The FAT16 and FAT32 boot-sector tests that choose the quick searcher of a volume.
#include <cctype>
#include <cstring>

#include "FileSystemSearchers.h"

namespace {
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) { return U16(p) | (static_cast<uint32_t>(U16(p + 2)) << 16); }

bool TypeTextIs(const uint8_t* text, const char* expected) {
    for (int i = 0; i < 8; ++i)
        if (std::toupper(text[i]) != expected[i]) return false;
    return true;
}

bool IsPowerOfTwoUpTo128(unsigned v) { return v >= 1 && v <= 128 && (v & (v - 1)) == 0; }

bool CommonFieldsPass(const uint8_t* s, uint32_t sectorSize) {
    return s[0x10] == 2 && IsPowerOfTwoUpTo128(s[0x0D]) && U16(s + 0x0B) == sectorSize && s[0x1FE] == 0x55 &&
           s[0x1FF] == 0xAA;
}
}  // namespace

bool IsFat16BootSector(const uint8_t* s, uint32_t sectorSize) {
    if (!s || sectorSize == 0) return false;
    if (!TypeTextIs(s + 0x36, "FAT16   ") || !CommonFieldsPass(s, sectorSize)) return false;
    uint32_t rootEntries = U16(s + 0x11);
    return rootEntries >= 224 && (rootEntries * 32) % sectorSize == 0 && U16(s + 0x16) >= 1;
}

bool IsFat32BootSector(const uint8_t* s, uint32_t sectorSize) {
    if (!s || sectorSize == 0) return false;
    return TypeTextIs(s + 0x52, "FAT32   ") && CommonFieldsPass(s, sectorSize) && U32(s + 0x24) >= 1;
}
