#pragma once
#include <cstdint>
#include <map>
#include <memory>

#include "media_recovery/ExtensionHash.h"
#include "filesystems/frame/IFileSystemSearchController.h"
#include "media_recovery/raw/RawCarveScanner.h"

class CRAWFileNode;
class CRAWFileProperties;

// The numbering of one category's carved files: serials from 100 in the order files are made.
struct CarveGroup {
    uint32_t nextSerial = 100;
    int category = CATEGORY_OTHER;
    IDirecotryTreeBuilder* builder = nullptr;
};

// The signature-carving searcher (code 0x22) of the whole-device scan.
class CRAWSearchController : public ICompleteFileSystemSearchController {
public:
    CRAWSearchController();
    ~CRAWSearchController() override;

    void SetBuilder(IDirecotryTreeBuilder* builder) override { builder_ = builder; }
    // The whole device as one volume whose cluster is one sector; always 1.
    int GetPartitions(CSearchedPartitionInfo** out, int max) override;
    void SetDevice(IStorageDevice* device) override { device_ = device; }
    void SetChunkSectors(uint32_t sectors) override { chunkSectors_ = sectors; }
    int BeginSearch() override;
    int EndSearch() override;
    int ScanChunk(uint64_t firstSector, uint64_t sectorCount, IProgress* sink) override;

    // The group of a file type's category, made on first use; null for ids without a name.
    CarveGroup* GetCarveGroup(uint32_t fileTypeId);
    // Makes the node of a finished candidate and hands it to the builder.
    bool AddCarvedFile(CarveGroup* group, const RawHit& hit, uint32_t serial);
    // Fills a node from a candidate; false when memory runs out.
    bool FillRawNode(const RawHit& hit, CRAWFileNode* node, int category, uint32_t serial);
    // The candidate's size, extra name and its one extent; false when memory runs out.
    bool FillRawProperties(const RawHit& hit, CRAWFileProperties* props);

    CRAWSearchController(const CRAWSearchController&) = delete;
    CRAWSearchController& operator=(const CRAWSearchController&) = delete;

private:
    std::unique_ptr<ExtensionHash> extensions_;
    std::map<int, std::unique_ptr<CarveGroup>> groups_;
    IStorageDevice* device_ = nullptr;
    uint32_t chunkSectors_ = 0;
    IDirecotryTreeBuilder* builder_ = nullptr;
    RawCarveScanner scanner_;
    uint32_t sectorSize_ = 512;
};
