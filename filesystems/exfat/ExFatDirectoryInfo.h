#pragma once
#include <cstdint>
#include <map>
#include <vector>

#include "filesystems/exfat/ExFatEntryRecord.h"

// Clusters already spoken for, kept as half-open intervals: a contiguous file of a million clusters
// is one entry, and an overlap is found with one lookup.
class ExFatClusterClaims {
public:
    // False when any cluster of [first, first + count) was claimed before (nothing is added then).
    bool Claim(uint64_t first, uint64_t count);
    void Clear() { claimed_.clear(); }
    size_t IntervalCount() const { return claimed_.size(); }

private:
    std::map<uint64_t, uint64_t> claimed_;  // start -> end
};

// What the whole-device search learned from one directory run: consecutive device sectors that
// were taken for exFAT directory sectors. Runs of one directory are chained (previous / next) when
// an entry set was found cut between them.
class ExFatDirectoryInfo {
public:
    // Flag bits.
    static constexpr uint32_t kHasLabel = 0x1;
    static constexpr uint32_t kHasBitmap = 0x2;
    static constexpr uint32_t kHasUpcase = 0x4;
    static constexpr uint32_t kRootEntries = kHasLabel | kHasBitmap | kHasUpcase;
    static constexpr uint32_t kBeginsInsideSet = 0x8;
    static constexpr uint32_t kSetLeaves = 0x10;
    static constexpr uint32_t kMarked = 0x20;

    static constexpr uint32_t kNoLowest = 0xFFFFFFF6;
    static constexpr uint32_t kStartLowerBound = 512;           // bytes
    static constexpr uint32_t kStartDirectoryBound = 0x2000000;  // bytes: the largest cluster
    static constexpr uint64_t kNoSector = ~uint64_t{0};
    // Walks over the previous / next links stop after this many runs, whatever the disk says.
    static constexpr size_t kMostChainRuns = 4096;

    struct Subdirectory {
        uint32_t firstCluster;
        uint64_t dataLength;
    };

    ExFatDirectoryInfo() = default;
    ExFatDirectoryInfo(const ExFatDirectoryInfo&) = delete;
    ExFatDirectoryInfo& operator=(const ExFatDirectoryInfo&) = delete;

    // A finished entry set of this run.
    void FinishSet(const ExFatEntryRecord& record);
    void SetVolumeLabel(const uint8_t* entry);
    void SetAllocationBitmap(const uint8_t* entry);
    void SetUpcaseTable(const uint8_t* entry);
    // Orders the live records by first cluster and turns the two bounds into sectors.
    void Finish(uint32_t sectorShift);
    // Claims the clusters of every live record of this run and the runs chained after it: a first
    // cluster, and the whole extent of a NoFatChain record. False at the first cluster claimed twice.
    bool ClaimClusters(ExFatClusterClaims& used, uint32_t bytesPerCluster) const;
    // The live subdirectories of this run and the runs chained after it, in chain order.
    void CollectSubdirectories(std::vector<Subdirectory>& out) const;
    void Reset();

    bool IsEmpty() const { return live.empty() && deleted.empty(); }
    bool IsRootRun() const { return (flags & kRootEntries) == kRootEntries; }
    bool HasContent() const { return IsRootRun() || !IsEmpty(); }
    bool HasLiveSubdirectories() const { return !subdirectories.empty(); }
    // Whether a cluster of spc sectors fits the bounds (after Finish).
    bool AdmitsClusterSectors(uint32_t spc) const { return spc >= lowerBound && spc <= directoryBound; }
    uint64_t LastSector() const { return firstSector + (sectorCount ? sectorCount - 1 : 0); }

    std::vector<ExFatEntryRecord> live;  // by first cluster after Finish (arrival order before)
    std::vector<ExFatEntryRecord> deleted;
    std::vector<Subdirectory> subdirectories;
    uint32_t lowestFirstCluster = kNoLowest;  // of the records whose first cluster is a heap cluster
    uint32_t highestFirstCluster = 0;
    uint32_t lowerBound = kStartLowerBound;        // cluster size: bytes while scanning, then sectors
    uint32_t directoryBound = kStartDirectoryBound;  // cluster size at most: bytes, then sectors
    uint64_t firstSector = kNoSector;
    uint32_t sectorCount = 0;
    uint32_t flags = 0;
    uint32_t firstClusterAboveSystem = 2;
    uint32_t bitmapClusterCount = 0;
    uint32_t bitmapFirstCluster = 0;
    uint64_t bitmapDataLength = 0;
    uint32_t upcaseFirstCluster = 0;
    uint64_t upcaseDataLength = 0;
    char16_t label[16] = {};
    ExFatDirectoryInfo* next = nullptr;
    ExFatDirectoryInfo* previous = nullptr;
    bool finished = false;
};
