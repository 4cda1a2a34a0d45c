#pragma once
#include "media_recovery/CRecoveryController.h"

class CArchiveBuilder;
class IQuickFileSystemSearchController;

// Reads the file system at the start of a volume through one quick searcher chosen from sector 0.
class CDeletedRecoveryController : public CRecoveryController {
public:
    CDeletedRecoveryController() = default;
    ~CDeletedRecoveryController() override;

    // Fails with 1 (null argument or the builder refused its arguments), 4 (no builder) or 0x401
    // (no searcher for the volume); the searcher's own result is not the run's.
    ResultCode Run(IStorageDevice* device, IProgress* sink, IDataContainer<_ARCHIVE_INFOMATION>* container) override;
    // The code is not used: there is one searcher.
    IArchiveDataRecovery* CreateRecovery(int searcherCode) override;

    IQuickFileSystemSearchController* Searcher() const { return searcher_; }

private:
    CArchiveBuilder* builder_ = nullptr;
    IStorageDevice* device_ = nullptr;
    IQuickFileSystemSearchController* searcher_ = nullptr;
};

// FAT16, then FAT32, then exFAT boot sector at sector 0; anything else gets the Ext2/3/4 searcher.
// Null for a null device or a sector size that is not a non-zero multiple of 512, or when sector 0
// cannot be read.
IQuickFileSystemSearchController* DetectQuickSearcher(IStorageDevice* device);
