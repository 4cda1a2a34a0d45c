#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "filesystems/exfat/ExFatFatReader.h"

class ExFatDirectoryInfo;

// Evidence that the whole-device search holds for a candidate volume.
enum : uint32_t {
    EXFAT_EVIDENCE_MAIN_BOOT = 0x80000000,    // main boot sector seen at the volume start
    EXFAT_EVIDENCE_BACKUP_BOOT = 0x40000000,  // backup boot sector seen 12 sectors after it
    EXFAT_EVIDENCE_ROOT_RUN = 0x10000000,     // made from a root run, or a root run found at its root cluster
    EXFAT_EVIDENCE_RUN_PAIR = 0x8000000,      // made from a run and a neighbouring run one of its folders names
    EXFAT_EVIDENCE_OWN_CLUSTER = 0x2000000,   // made from a run lying in the cluster right before its first file
    EXFAT_EVIDENCE_FIRST_FAT = 0x1,           // the first FAT's start seen
    EXFAT_EVIDENCE_SECOND_FAT = 0x2,          // the second FAT's start seen
    EXFAT_EVIDENCE_BOOT = EXFAT_EVIDENCE_MAIN_BOOT | EXFAT_EVIDENCE_BACKUP_BOOT,
};

// One exFAT volume as the searchers hold it: its FAT reader and its geometry. Sector numbers are
// absolute on the storage device. The whole-device search adds its evidence and the directory runs
// it holds.
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

    uint32_t evidence = 0;
    bool fromUpcase = false;  // placed by its root run and the up-case table together
    std::set<ExFatDirectoryInfo*> takenRuns;
    std::map<uint64_t, uint32_t> runMarks;  // first sector of a run taken with a mark -> value
    std::vector<uint64_t> alignedKeys;      // first sectors of taken runs on a cluster boundary, in order
    std::vector<uint64_t> misalignedKeys;

    ExFatVolume() = default;
    ExFatVolume(const ExFatVolume&) = delete;
    ExFatVolume& operator=(const ExFatVolume&) = delete;

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
