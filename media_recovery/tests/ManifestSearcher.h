#pragma once
#include <string>
#include <vector>

#include "filesystems/frame/IFileSystemSearchController.h"

// A quick searcher for tests that reports what an independent reader (The Sleuth Kit, run by the
// fixture script) listed in a manifest: folders as parents, files with their runs, and the volume's
// geometry as its one partition.
class CManifestQuickSearcher : public IQuickFileSystemSearchController {
public:
    explicit CManifestQuickSearcher(std::string manifest) : manifest_(std::move(manifest)) {}
    void SetBuilder(IDirecotryTreeBuilder* builder) override { builder_ = builder; }
    int GetPartitions(CSearchedPartitionInfo** out, int max) override;
    ResultCode Search(IStorageDevice* device, IProgress* sink) override;

    int searches = 0;

private:
    std::string manifest_;
    IDirecotryTreeBuilder* builder_ = nullptr;
    uint32_t sectorSize_ = 512, sectorsPerCluster_ = 1;
    uint64_t dataStart_ = 0, deviceSectors_ = 0;
    bool loaded_ = false;
};

// The quick searcher for the volumes of the fixture phone: each reports its image's manifest.
IQuickFileSystemSearchController* MakePhoneSearcher();

// The fixture folder (RK_TESTDATA/media_fixtures).
std::string FixturePath(const std::string& name);
