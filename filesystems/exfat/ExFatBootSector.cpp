// The exFAT main boot-sector test: run on sector 0 to choose the quick searcher and on candidate
// sectors anywhere on a device, so it must reject sectors that merely carry the name.
#include <cstring>

#include "filesystems/FileSystemSearchers.h"
#include "filesystems/exfat/ExFatLayout.h"

using namespace exfat;

bool IsExFatBootSector(const uint8_t* s, uint32_t sectorSize) {
    if (!s) return false;
    if (s[kBootSignature] != 0x55 || s[kBootSignature + 1] != 0xAA) return false;
    if (std::memcmp(s + kBootName, "EXFAT   ", kBootNameSize) != 0) return false;
    if (!AllZero(s, kBootMustBeZero, kBootMustBeZeroEnd)) return false;
    const unsigned bytesShift = s[kBootBytesPerSectorShift], clusterShift = s[kBootSectorsPerClusterShift];
    const unsigned fats = s[kBootNumberOfFats];
    if (bytesShift < 9 || bytesShift > 12 || (1u << bytesShift) != sectorSize) return false;
    if (clusterShift + bytesShift > 25 || (fats != 1 && fats != 2)) return false;
    const uint64_t volumeLength = LoadLE64(s + kBootVolumeLength);
    const uint64_t fatOffset = LoadLE32(s + kBootFatOffset), fatLength = LoadLE32(s + kBootFatLength);
    const uint64_t heapOffset = LoadLE32(s + kBootHeapOffset), clusterCount = LoadLE32(s + kBootClusterCount);
    if (!fatLength || !heapOffset || !fatOffset || !volumeLength) return false;
    if (!clusterCount || LoadLE32(s + kBootRootCluster) < 2) return false;
    if (fatOffset > volumeLength || heapOffset > volumeLength || fatOffset + fatLength > heapOffset) return false;
    // clusterCount < 2^32 and clusterShift <= 16, so this cannot wrap. It counts one cluster less
    // than the heap holds, as volumes in the field are made.
    return heapOffset + ((clusterCount - 1) << clusterShift) <= volumeLength;
}
