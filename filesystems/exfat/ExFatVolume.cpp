#include "filesystems/exfat/ExFatVolume.h"

#include "filesystems/exfat/ExFatLayout.h"

using namespace exfat;

uint32_t ExFatShiftOf(uint64_t value) {
    uint32_t shift = 0;
    while (value > 1) {
        value >>= 1;
        ++shift;
    }
    return shift;
}

void ExFatVolume::SetGeometry(const uint8_t* s, uint32_t deviceSectorSize, uint64_t bootSectorAt) {
    sectorSize = deviceSectorSize;
    sectorsPerCluster = 1u << s[kBootSectorsPerClusterShift];
    clusterSize = sectorsPerCluster * deviceSectorSize;
    clusterCount = LoadLE32(s + kBootClusterCount);
    rootCluster = LoadLE32(s + kBootRootCluster);
    volumeStart = bootSectorAt;
    heapStart = bootSectorAt + LoadLE32(s + kBootHeapOffset);
    volumeLength = LoadLE64(s + kBootVolumeLength);
    fatCount = s[kBootNumberOfFats];
    fatLength = LoadLE32(s + kBootFatLength);
    fatOffset = LoadLE32(s + kBootFatOffset);
}
