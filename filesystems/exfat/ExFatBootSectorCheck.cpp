// The exFAT boot-sector test that chooses the quick searcher of a volume.
#include <cstring>

#include "filesystems/FileSystemSearchers.h"

namespace {
uint32_t U32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t U64(const uint8_t* p) { return U32(p) | (static_cast<uint64_t>(U32(p + 4)) << 32); }
}  // namespace

bool IsExFatBootSector(const uint8_t* s, uint32_t sectorSize) {
    if (!s) return false;
    if (s[0x1FE] != 0x55 || s[0x1FF] != 0xAA || std::memcmp(s + 3, "EXFAT   ", 8) != 0) return false;
    for (int i = 11; i < 64; ++i)
        if (s[i] != 0) return false;
    unsigned bytesShift = s[0x6C], clusterShift = s[0x6D], fats = s[0x6E];
    if (bytesShift < 9 || bytesShift > 12 || (1u << bytesShift) != sectorSize) return false;
    if (clusterShift + bytesShift > 25 || (fats != 1 && fats != 2)) return false;
    uint64_t volumeLength = U64(s + 0x48);
    uint64_t fatOffset = U32(s + 0x50), fatLength = U32(s + 0x54);
    uint64_t heapOffset = U32(s + 0x58), clusterCount = U32(s + 0x5C);
    if (!fatOffset || !fatLength || !heapOffset || !clusterCount || !volumeLength) return false;
    if (U32(s + 0x60) < 2) return false;
    if (fatOffset > volumeLength || heapOffset > volumeLength || fatOffset + fatLength > heapOffset) return false;
    // clusterCount < 2^32 and clusterShift <= 16, so this cannot wrap.
    return heapOffset + ((clusterCount - 1) << clusterShift) <= volumeLength;
}
