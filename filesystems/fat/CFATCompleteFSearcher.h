#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "filesystems/fat/FatLayout.h"
#include "filesystems/frame/CFATSearchedPartitionInfo.h"
#include "filesystems/frame/IFileSystemSearchController.h"

class ISectorLender;

// Finds FAT12/16/32 volumes anywhere on a storage device during the whole-device pass: every sector
// is examined for boot sectors (FAT32 backups included) and for the starts of the FAT copies that
// they predict. At the end of the pass the candidates whose FAT copies were seen are scored and
// listed, and the tree of each is handed to the builder with code 0x20. The pass also notes the
// sectors that begin as a FAT or as a folder does and those that end as a boot sector: a volume
// whose boot sector's layout its root's folders contradict is laid out as they lie, and one whose
// boot sector is refused or lost, as its two FAT copies and its folders lie.
class CFATCompleteFSearcher : public ICompleteFileSystemSearchController {
public:
    CFATCompleteFSearcher() = default;
    ~CFATCompleteFSearcher() override;
    CFATCompleteFSearcher(const CFATCompleteFSearcher&) = delete;
    CFATCompleteFSearcher& operator=(const CFATCompleteFSearcher&) = delete;

    void SetBuilder(IDirecotryTreeBuilder* builder) override { builder_ = builder; }
    // Clones of the accepted volumes in order; with a null out or a max below their number nothing
    // is written and the number is returned.
    int GetPartitions(CSearchedPartitionInfo** out, int max) override;
    // Takes the device's sector size (512 until a device is set).
    void SetDevice(IStorageDevice* device) override;
    void SetChunkSectors(uint32_t sectors) override { chunkSectors_ = sectors; }
    int BeginSearch() override;
    int EndSearch() override;
    // 0 without a device or with a sector size the scan does not support (not a multiple of 512, or
    // above 4096); sectors that cannot be read are skipped.
    int ScanChunk(uint64_t firstSector, uint64_t sectorCount, IProgress* sink) override;

    // Keeps the candidates whose FAT copies were seen, scores them and appends them to accepted in
    // data-start order; the candidates and the FAT positions are emptied.
    void SelectFatVolumes(std::vector<std::unique_ptr<CFATSearchedPartitionInfo>>& accepted);
    // A sector ending in 55 AA at sector s: its readings as the main boot sector of a volume at s
    // and, FAT32, as the backup of one 6 sectors before. True when either gave a candidate.
    bool OnFatBootSector(const uint8_t* sector, uint64_t s);

    const std::vector<std::unique_ptr<CFATSearchedPartitionInfo>>& Volumes() const { return accepted_; }
    size_t CandidateCount() const { return candidates_.size(); }

private:
    // The sectors of a chunk that the first look marks for this finder, and the predicted FAT copies.
    void ExamineSectors(const uint8_t* chunk, const uint8_t* marks, uint64_t firstSector, size_t count);
    void Examine(const uint8_t* sector, uint64_t s);
    void Insert(std::unique_ptr<CFATSearchedPartitionInfo> candidate, uint8_t media);
    void BuildFatVolumeTree(const CFATSearchedPartitionInfo& volume);
    // What the pass noted besides boot sectors and predicted FAT copies.
    void NoteParts(const uint8_t* sector, uint64_t s);
    // The accepted volumes checked against their parts, and volumes laid out by their parts.
    void LayOutByParts();
    void CheckLayout(CFATSearchedPartitionInfo& volume, const std::vector<std::pair<uint64_t, uint64_t>>& pairs);
    bool InsideAccepted(uint64_t sector) const;
    // The noted "." sectors of folders of the root that lie from first to before end.
    std::vector<FatDotSector> RootFoldersBetween(uint64_t first, uint64_t end) const;

    IStorageDevice* device_ = nullptr;
    ISectorLender* lender_ = nullptr;  // the device, when it lends its cache (asked once, not per chunk)
    IDirecotryTreeBuilder* builder_ = nullptr;
    uint32_t chunkSectors_ = 0;
    uint32_t sectorSize_ = 512;
    std::vector<std::unique_ptr<CFATSearchedPartitionInfo>> accepted_;
    // Candidates by data start, several per key; the FAT-position map: the expected first sectors of
    // each candidate's two FAT copies.
    struct FatCopy {
        CFATSearchedPartitionInfo* candidate;
        uint8_t media;  // the boot sector's media descriptor, which entry 0 of the FAT begins with
    };
    std::multimap<uint64_t, std::unique_ptr<CFATSearchedPartitionInfo>> candidates_;
    std::multimap<uint64_t, FatCopy> fatPositions_;
    std::vector<uint8_t> chunk_;
    std::vector<uint8_t> marks_;    // the first look, when the device does not lend one
    std::vector<uint16_t> listed_;  // the sectors of a chunk it marks for this finder
    // Noted parts, in sector order, each list capped.
    struct FatHead {
        uint64_t sector;
        uint64_t hash;  // of the whole sector: the two copies of a FAT begin alike
        uint8_t media;
    };
    std::vector<FatHead> fatHeads_;
    std::vector<FatDotSector> dotSectors_;
    struct BootHint {
        uint64_t sector;
        uint8_t bytes[512];
    };
    std::vector<BootHint> bootHints_;
};
