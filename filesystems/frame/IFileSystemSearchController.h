#pragma once
#include <cstdint>

#include "sqlite_recovery/framework/ResultCode.h"
#include "platform/Export.h"

class CSearchedPartitionInfo;
class IDirecotryTreeBuilder;
class IProgress;
class IStorageDevice;

// Searcher codes: passed to the builder with every node and with the begin and end of each tree.
enum : int {
    SEARCHER_FAT = 0x20,
    SEARCHER_EXFAT = 0x21,
    SEARCHER_RAW = 0x22,
    SEARCHER_EXT = 0x23,
};

// Common base of both searcher kinds.
class RK_INTERFACE IFileSystemSearchController {
public:
    // The builder that receives the searcher's nodes; not owned.
    virtual void SetBuilder(IDirecotryTreeBuilder* builder) = 0;
    // Writes new copies of the accepted volumes (the caller deletes them) and returns how many it
    // wrote; 0 when it has none. When max is smaller than the number found nothing is written and
    // the number found is returned, so that the caller asks again with room.
    virtual int GetPartitions(CSearchedPartitionInfo** out, int max) = 0;
    virtual ~IFileSystemSearchController();
};

// Reads the one volume that starts at sector 0 of a storage device.
class RK_INTERFACE IQuickFileSystemSearchController : public IFileSystemSearchController {
public:
    ~IQuickFileSystemSearchController() override;
    // Walks the volume on the calling thread, hands every node to the builder's AddNode and reports
    // progress to the sink.
    virtual ResultCode Search(IStorageDevice* device, IProgress* sink) = 0;
};

// Fed the whole device chunk by chunk; builds its trees at EndSearch.
class RK_INTERFACE ICompleteFileSystemSearchController : public IFileSystemSearchController {
public:
    ~ICompleteFileSystemSearchController() override;
    // The device that ScanChunk reads (the controller's read-ahead cache); not owned.
    virtual void SetDevice(IStorageDevice* device) = 0;
    virtual void SetChunkSectors(uint32_t sectors) = 0;
    // Resets the searcher for a new pass.
    virtual int BeginSearch() = 0;
    // Called once after the last chunk: decides which candidates are real and reports their trees.
    virtual int EndSearch() = 0;
    // The chunk's sectors are current in the cache, so reading them costs a copy.
    virtual int ScanChunk(uint64_t firstSector, uint64_t sectorCount, IProgress* sink) = 0;
};
