#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "filesystems/frame/IFileSystemSearchController.h"
#include "filesystems/exfat/ExFatLiveExtents.h"
#include "filesystems/exfat/ExFatEntrySetParser.h"
#include "filesystems/exfat/ExFatUpcaseTable.h"
#include "filesystems/exfat/ExFatVolume.h"

class CExFatFileNode;
class IFileNode;

// Reads the one exFAT volume that starts at sector 0 of a storage device and hands every file and
// folder its directories still describe, live or deleted, to the builder with code 0x21. The walk
// is breadth-first, every live folder before any deleted one, and reads each cluster at most once.
// When the walk is done, a live file whose extents reach clusters that are not its own keeps them
// up to there (ExFatLiveExtents): what the damage changed of an entry set or a chain is said.
class CExFatQuickSearch : public IQuickFileSystemSearchController {
public:
    // The kind of the volume records it hands out.
    static constexpr uint32_t kPartitionKind = 7;
    // A contiguous folder is read this many bytes at a time (at least one cluster).
    static constexpr uint32_t kReadBytes = 0x10000;

    CExFatQuickSearch() = default;
    ~CExFatQuickSearch() override;
    CExFatQuickSearch(const CExFatQuickSearch&) = delete;
    CExFatQuickSearch& operator=(const CExFatQuickSearch&) = delete;

    void SetBuilder(IDirecotryTreeBuilder* builder) override { builder_ = builder; }
    // Its volume (its defaults when none was read) as a new copy in out[0], and 1. With a null out or
    // max below 1 nothing is written.
    int GetPartitions(CSearchedPartitionInfo** out, int max) override;
    // Always succeeds; what was found went to the builder.
    ResultCode Search(IStorageDevice* device, IProgress* sink) override;

    const ExFatVolume& Volume() const { return volume_; }

private:
    bool ReadBootSector(IStorageDevice* device);
    // The root's allocation bitmap and up-case table entries, from its first cluster; the up-case
    // table read, through which names are checked.
    void ReadSystemEntries();
    void Walk();
    // Reads one folder's clusters (from start, for remaining bytes; in one stretch when contiguous)
    // and hands its entry sets to the builder, each linked to folder (null for the root). False when
    // a read failed.
    bool WalkDirectory(CExFatFileNode* folder, uint32_t start, int64_t remaining, bool contiguous);
    bool ReadChain(uint32_t start, int64_t remaining);
    // Whether a cluster read of the folder being walked begins as a folder's does; one of a live
    // folder that does is held by it. One that does not ends the walk of the folder, said.
    bool HoldsFolderEntries(const uint8_t* bytes, uint32_t cluster, bool first);
    // Reads count clusters from cluster into into: how many could be read from the first on. A
    // failure is said for the folder being walked.
    uint64_t ReadClusters(uint8_t* into, uint32_t cluster, uint64_t count);
    // What a volume that runs past its device, or whose FAT cannot be read, loses is said once.
    void SayWhatTheDeviceLacks();
    // Says on standard error (as a warning) what the live folder being walked loses; what is a
    // printf text of two numbers.
    void SayFolder(const char* what, unsigned long long a, unsigned long long b);
    // Says why a live file's clusters hold less than its length (a chain that ends or loops, the
    // heap's end).
    void SayCut(CExFatFileNode* node);
    // Says what the set of a live file or folder shows was changed since it was written.
    void SayChanged(CExFatFileNode* folder, const ExFatEntryRecord& record);
    // A live folder whose length is no whole number of clusters: its attributes or its length were
    // damaged. Taken for a file unless its first cluster begins as a folder's; said either way.
    void WeighFolderLength(CExFatFileNode* folder, ExFatEntryRecord& record);
    // Cuts the live files whose extents reach clusters not their own, and says every live file cut.
    void SettleClaims();
    // Whether the allocation bitmap marks every cluster the live folders read and the files not in
    // doubt begin with.
    bool BitmapAgrees(const ExFatAllocationBitmap& bitmap) const;
    // "/a/b/name" of a name in folder (null: the root).
    static std::string PathOf(IFileNode* folder, const char* name);
    bool ReadContiguous(uint32_t start, int64_t remaining);
    void EmitFinished(CExFatFileNode* folder, uint32_t start);
    void Report(uint32_t state, uint64_t total, uint64_t done);

    IDirecotryTreeBuilder* builder_ = nullptr;
    ExFatVolume volume_;
    ExFatEntrySetParser parser_;
    uint64_t deviceSectors_ = 0;
    uint32_t clusterShift_ = 9;
    uint32_t sectorShift_ = 9;
    std::unique_ptr<uint8_t[]> buffer_;  // one read: a cluster, or kReadBytes of a contiguous folder
    uint32_t bufferClusters_ = 0;
    std::unordered_set<uint32_t> visited_;  // every cluster a folder walk has read
    IStorageDevice* device_ = nullptr;
    IProgress* sink_ = nullptr;
    CExFatFileNode* walking_ = nullptr;  // the folder being walked (null: the root)
    bool walkingDeleted_ = false;
    std::deque<CExFatFileNode*> liveFolders_;     // owned by the builder
    std::deque<CExFatFileNode*> deletedFolders_;  // owned by the builder
    // The root's system entries: {first cluster, length} of the allocation bitmap and up-case table.
    uint32_t bitmapFirst_ = 0, upcaseFirst_ = 0;
    uint64_t bitmapLength_ = 0, upcaseLength_ = 0;
    ExFatUpcaseTable upcase_;
    ExFatLiveExtents claims_{volume_};
    std::vector<CExFatFileNode*> liveFiles_;       // owned by the builder
    std::vector<uint32_t> liveFolderClusters_;     // every cluster read of a live folder
};
