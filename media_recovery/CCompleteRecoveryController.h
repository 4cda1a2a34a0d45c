#pragma once
#include <utility>
#include <vector>

#include "media_recovery/CRecoveryController.h"

class CArchiveBuilder;
class CStorageDeviceWithCache;
class ICompleteFileSystemSearchController;

// Scans a whole volume in 4 MiB chunks through the read-ahead cache, offering every chunk to the
// exFAT, FAT, Ext and carving searchers in turn, a 128 KiB slice at a time.
class CCompleteRecoveryController : public CRecoveryController {
public:
    CCompleteRecoveryController() = default;
    ~CCompleteRecoveryController() override;

    // Fails with 0x403 (null argument or no sectors), 4, 1 (builder or cache could not start),
    // 0x402 (no searcher) or 0x404 (done, but some sectors read as zeros).
    ResultCode Run(IStorageDevice* device, IProgress* sink, IDataContainer<_ARCHIVE_INFOMATION>* container) override;
    IArchiveDataRecovery* CreateRecovery(int searcherCode) override;

    // Chunk length for a sector size: 4 MiB of sectors, 8192 when that is 0.
    static uint32_t ChunkSectorsFor(uint32_t sectorSize);
    // The part of a chunk every searcher scans before the next part: small enough to stay in the
    // processor's cache between searchers. At least one sector.
    static constexpr uint32_t kSliceBytes = 0x20000;
    static uint32_t SliceSectorsFor(uint32_t sectorSize);
    const std::vector<std::pair<int, ICompleteFileSystemSearchController*>>& Searchers() const { return searchers_; }

private:
    ResultCode ScanDevice(CStorageDeviceWithCache& cache, int64_t lastSector, IProgress* sink);

    CArchiveBuilder* builder_ = nullptr;
    IStorageDevice* device_ = nullptr;
    std::vector<std::pair<int, ICompleteFileSystemSearchController*>> searchers_;
};
