#pragma once
#include <cstdint>
#include <vector>

#include "filesystems/frame/IFileSystemSearchController.h"

class CFATSearchedPartitionInfo;
struct FatWalkContext;

// Error numbers of a FAT quick search, beyond the common ones.
enum : uint32_t {
    FAT_E_NO_VOLUME_RECORD = 2,
    FAT_E_NO_SECTOR_BUFFER = 4,
    FAT_E_NO_BUILDER = 7,  // also: no memory for the FAT pair
    FAT_E_NO_BOOT_SECTOR = 12,
};

// Reads the one FAT12/16/32 volume that starts at sector 0 of a storage device (its boot sector, or
// the FAT32 backup at sector 6) and hands every live and deleted entry to the builder, code 0x20.
class CFATQuickSearcher : public IQuickFileSystemSearchController {
public:
    CFATQuickSearcher() = default;
    ~CFATQuickSearcher() override;
    CFATQuickSearcher(const CFATQuickSearcher&) = delete;
    CFATQuickSearcher& operator=(const CFATQuickSearcher&) = delete;

    void SetBuilder(IDirecotryTreeBuilder* builder) override { builder_ = builder; }
    // Its one volume as a new copy in out[0] and 1; 0 when it found none. With a null out or no room
    // nothing is written and the count is returned.
    int GetPartitions(CSearchedPartitionInfo** out, int max) override;
    ResultCode Search(IStorageDevice* device, IProgress* sink) override;

private:
    ResultCode WalkVolume();
    // Reads sector at into sector and tests it, and whether the volume's FATs and root folders lie
    // where it puts them; when it is a boot sector whose volume the device ends inside, and
    // *recordedPastEnd is still 0, sets it to the volume's length.
    // Returns 0 (not usable), 1 (usable, a FAT32 root with no entry) or 2.
    int UsableBootSectorAt(uint64_t at, uint8_t* sector, uint64_t* recordedPastEnd);
    ResultCode WalkTree(FatWalkContext& ctx);
    void Report(uint32_t state, uint64_t total, uint64_t done);

    IDirecotryTreeBuilder* builder_ = nullptr;
    std::vector<CFATSearchedPartitionInfo*> volumes_;
    IStorageDevice* device_ = nullptr;
    IProgress* sink_ = nullptr;
};

// The quick path's boot-sector test: a recognised variant whose FATs and data area fit the volume,
// and one of whose two FAT copies can be read.
bool IsUsableFatBootSector(const uint8_t* sector, IStorageDevice* device);
