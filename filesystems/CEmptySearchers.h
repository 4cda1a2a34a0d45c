#pragma once
#include "filesystems/IFileSystemSearchController.h"

// Searchers of a family whose reader is not part of this build: they find nothing.
class CEmptyQuickSearcher : public IQuickFileSystemSearchController {
public:
    void SetBuilder(IDirecotryTreeBuilder*) override {}
    int GetPartitions(CSearchedPartitionInfo**, int) override { return 0; }
    ResultCode Search(IStorageDevice*, IProgress*) override { return RK_OK; }
};

class CEmptyCompleteSearcher : public ICompleteFileSystemSearchController {
public:
    void SetBuilder(IDirecotryTreeBuilder*) override {}
    int GetPartitions(CSearchedPartitionInfo**, int) override { return 0; }
    void SetDevice(IStorageDevice*) override {}
    void SetChunkSectors(uint32_t) override {}
    int BeginSearch() override { return 1; }
    int EndSearch() override { return 1; }
    int ScanChunk(uint64_t, uint64_t, IProgress*) override { return 1; }
};
