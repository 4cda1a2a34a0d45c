#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "filesystems/frame/IFileSystemSearchController.h"
#include "filesystems/exfat/ExFatSectorRecognizer.h"
#include "filesystems/exfat/ExFatVolume.h"
#include "filesystems/exfat/ExFatVolumeCollection.h"

class ISectorLender;

// Finds exFAT volumes anywhere on a storage device during the whole-device pass, also where their
// boot sectors, FAT or root folder are gone: every sector of every chunk is evidence (a boot sector,
// a FAT's start, the start of an up-case table, directory entries). At the end of the pass the
// candidates that the evidence supports become volumes, and their files and folders, live and
// deleted, go to the builder with code 0x21, each linked to its folder. A volume whose boot sector is
// gone reads its chains through a FAT whose start the pass met; where none can be trusted, a live
// folder "$InUse" holds the clusters its live files may hold past their first.
class CDataRunList;
class ExFatAllocationBitmap;
class ExFatFolderTree;
class ExFatVolumeRebuild;

class CExFatCompleteSearch : public ICompleteFileSystemSearchController {
public:
    static constexpr uint32_t kPartitionKind = 7;
    // A backup boot sector lies this many sectors after the main one.
    static constexpr uint64_t kBackupBootOffset = 12;
    // Lazy processing of runs: when more wait, or when the scan is this far past the last run.
    static constexpr size_t kMostWaitingRuns = 0x880;
    static constexpr uint64_t kFarPastLastRun = 0x2000000;
    static constexpr size_t kMostUpcaseSectors = 0x10000;
    static constexpr size_t kMostFatStarts = 0x10000;
    // Entry sets held at most (about 300 bytes each); past this the scan looks for no more folders.
    static constexpr size_t kMostRecords = 2000000;
    // The largest cluster the validators accept: 32 MiB.
    static constexpr uint32_t kLargestClusterShift = 25;
    // A chunk's last sectors are examined with the next chunk: the recognizer reads up to 576 bytes
    // past a sector (the rest of an entry set begun in its last slot), two sectors at most.
    static constexpr size_t kHeldSectors = 2;
    static constexpr size_t kLookAheadSectors = 2;
    static constexpr size_t kSiftSectors = 1024;
    // How many listed sectors ahead the sift asks for a sector's first line.
    static constexpr size_t kSiftAhead = 4;

    CExFatCompleteSearch();
    ~CExFatCompleteSearch() override;
    CExFatCompleteSearch(const CExFatCompleteSearch&) = delete;
    CExFatCompleteSearch& operator=(const CExFatCompleteSearch&) = delete;

    void SetBuilder(IDirecotryTreeBuilder* builder) override { builder_ = builder; }
    // New copies of the accepted volumes (kind 7) in order; with a null out or a max below their
    // number nothing is written and the number is returned.
    int GetPartitions(CSearchedPartitionInfo** out, int max) override;
    void SetDevice(IStorageDevice* device) override;
    void SetChunkSectors(uint32_t sectors) override { chunkSectors_ = sectors; }
    int BeginSearch() override { return 1; }
    int EndSearch() override;
    // 1 when the chunk was read and examined; 0 without a device, chunk length or builder, with a
    // sector size the scan does not support (0, not a multiple of 512, above 4096), or when the read
    // failed. The chunk is examined where the cache lends it, else read into a buffer of the
    // searcher's. The last two sectors of each chunk are examined with the next chunk (or at
    // EndSearch), so that the sectors after them can be looked at too.
    int ScanChunk(uint64_t firstSector, uint64_t sectorCount, IProgress* sink) override;

    const std::vector<std::unique_ptr<ExFatVolume>>& Volumes() const { return volumes_; }
    const ExFatVolumeCollection& Collection() const { return collection_; }
    const std::vector<uint64_t>& UpcaseSectors() const { return upcaseSectors_; }

private:
    bool Prepare();
    // The chunk's bytes: lent by the cache (held in lent) or read into buffer_; null when the read fails.
    const uint8_t* LoadChunk(uint64_t firstSector, uint64_t sectorCount, std::shared_ptr<const uint8_t>& lent);
    // Examines the sectors held over from the last load and then this one's, all but its last two.
    void ExamineLoad(uint64_t firstSector, const uint8_t* chunk, const uint8_t* marks, size_t sectorCount);
    // Classifies, in order, every sector of the count from `from` that may change anything; marks
    // holds the first look at them (null: taken here).
    void ExamineSectors(uint64_t firstSector, const uint8_t* from, const uint8_t* marks, size_t count,
                        const uint8_t* end);
    // Lists in sifted_, in order, the sectors of the count from `from` (at most kSiftSectors) that
    // may be more than plain: a boot sector's, a FAT's or an up-case table's start, or one whose
    // entries may count. Their number.
    size_t Sift(const uint8_t* from, const uint8_t* marks, size_t count);
    // How many of the count sectors from s on may be passed over when they hold nothing: while the
    // search is at rest and no waiting run falls due. 0 when the next sector must be classified
    // whatever it holds.
    size_t QuietSectors(uint64_t s, size_t count) const;
    void ClassifySector(uint64_t sector, const uint8_t* bytes, const uint8_t* end);
    void FlushPending();
    void EndRun();
    void OnBootSector(uint64_t sector, const uint8_t* bytes);
    // The geometry a boot sector names for a volume starting at volumeStart, clipped to the device.
    void SetBootGeometry(ExFatVolume& volume, const uint8_t* bytes, uint64_t volumeStart) const;
    void OnFatStart(uint64_t sector);
    void HandTreesToBuilder();
    // The volume's runs, each folder's from its first run on.
    std::vector<const ExFatDirectoryInfo*> RunsOf(const ExFatVolume& volume) const;
    void OpenFat(ExFatVolume& volume, const std::vector<const ExFatDirectoryInfo*>& runs);
    // With no FAT to follow, a live file in a cluster chain is known by its first cluster only, and
    // a deleted entry's clusters (taken to follow on from its first) may lie in the rest of it. The
    // clusters live files and folders may hold: those the allocation bitmap marks in use, when it
    // marks all that is known to be (its own clusters, the up-case table's, the root's first, each
    // live entry's first); else, as nothing tells where their chains went, the clusters after each
    // live chained entry's first, as many as its length needs: where a chain most likely lies.
    // Runs counted from cluster 2; null when there are none or memory runs out.
    CDataRunList* ClustersLiveEntriesMayHold(const ExFatVolume& volume,
                                             const std::vector<const ExFatDirectoryInfo*>& runs) const;
    // The allocation bitmap the volume's root run names, when it marks its own clusters, the root's
    // first and the up-case table's.
    bool ReadRootBitmap(const ExFatVolume& volume, const std::vector<const ExFatDirectoryInfo*>& runs,
                        ExFatAllocationBitmap& bitmap) const;
    // Cuts the tree's live files whose extents reach clusters not their own, as the quick search
    // does (ExFatLiveExtents), so that both searches make one file of each.
    void CutWhatIsNotTheirs(ExFatVolume& volume, const std::vector<const ExFatDirectoryInfo*>& runs,
                            ExFatFolderTree& tree) const;

    IStorageDevice* device_ = nullptr;
    ISectorLender* lender_ = nullptr;  // the device, when it lends its cache (asked once, not per chunk)
    IDirecotryTreeBuilder* builder_ = nullptr;
    uint32_t chunkSectors_ = 0;
    uint32_t sectorSize_ = 0;
    uint32_t sectorShift_ = 9;
    uint64_t deviceSectors_ = 0;
    bool prepared_ = false;

    std::vector<uint8_t> buffer_;  // a chunk, for a device that does not lend its sectors
    uint64_t loadedEnd_ = 0;       // the sector after the last one loaded
    // Sift's lists: the sectors its first look leaves, then those it leaves in the end.
    std::vector<uint16_t> firstLook_;
    std::vector<uint32_t> sifted_;
    std::vector<uint8_t> marks_, ownMarks_;  // the first look at a load the device does not lend, at held sectors
    static constexpr uint32_t kReadOnMark = uint32_t{1} << 31;  // in sifted_: the entries are read on
    // The sectors of the last load not yet examined (at most two), then the next load's first two,
    // the look-ahead of the held ones.
    std::vector<uint8_t> carry_;
    size_t pendingCount_ = 0;
    uint64_t pendingSector_ = 0;   // device sector of the first of them

    ExFatSectorRecognizer recognizer_;
    ExFatVolumeCollection collection_;
    std::unique_ptr<ExFatVolumeRebuild> rebuild_;
    std::vector<uint64_t> upcaseSectors_;
    std::vector<uint64_t> fatStarts_;  // every sector that begins as a FAT does
    std::vector<std::unique_ptr<ExFatVolume>> volumes_;  // accepted, in order: the position is the index
    bool recordsCapLogged_ = false;
};
