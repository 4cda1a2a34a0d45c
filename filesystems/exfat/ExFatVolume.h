#pragma once
#include <cstdint>

#include "filesystems/exfat/ExFatFatReader.h"

// One exFAT volume as the searchers hold it: its FAT reader and its geometry. Sector numbers are
// absolute on the storage device.
struct ExFatVolume {
    ExFatFatReader fat;
    uint32_t sectorSize = 512;
    uint32_t sectorsPerCluster = 1;
    uint32_t clusterCount = 0;          // clusters in the heap; 0 while unknown
    uint32_t rootCluster = 0xFFFFFFFF;  // 0xFFFFFFFF while unknown
    uint32_t clusterSize = 512;         // bytes
    uint64_t heapStart = 0;             // sector of cluster 2
    uint64_t volumeStart = 0;           // sector of the main boot sector
    uint64_t volumeLength = 0;          // sectors (VolumeLength)
    uint32_t fatCount = 0;
    uint32_t fatLength = 0;             // sectors of one FAT
    uint64_t fatOffset = 0;             // sectors from the volume start

    // The geometry of an accepted boot sector (IsExFatBootSector) lying at volumeStart of a device
    // with the given sector size. The FAT reader is left as it is.
    void SetGeometry(const uint8_t* bootSector, uint32_t deviceSectorSize, uint64_t bootSectorAt);
    // Opens the FAT reader on the first FAT.
    void OpenFat(IStorageDevice* device) { fat.Open(device, volumeStart + fatOffset, fatLength); }

    // The first number above the heap's clusters (2 .. clusterCount + 1); with the cluster count
    // unknown, the first number that is a FAT mark.
    uint64_t ClusterLimit() const { return clusterCount ? uint64_t{clusterCount} + 2 : uint64_t{0xFFFFFFF6}; }
    bool IsHeapCluster(uint64_t cluster) const { return cluster >= 2 && cluster < ClusterLimit(); }
    // Sector of a heap cluster.
    uint64_t ClusterSector(uint32_t cluster) const {
        return heapStart + static_cast<uint64_t>(cluster - 2) * sectorsPerCluster;
    }
    // The cluster that follows cluster in its chain, or 0xFFFFFFFF when the chain ends there (a
    // free, bad or end mark, a number outside the heap, or a FAT that cannot be read).
    uint32_t NextHeapCluster(uint32_t cluster) {
        const uint32_t next = fat.NextCluster(cluster);
        return IsHeapCluster(next) ? next : 0xFFFFFFFF;
    }
};

// log2 of a power of two (the number of halvings down to 1).
uint32_t ExFatShiftOf(uint64_t powerOfTwo);
