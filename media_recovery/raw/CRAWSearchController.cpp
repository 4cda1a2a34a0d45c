#include "media_recovery/raw/CRAWSearchController.h"

#include <new>

#include "media_recovery/file_model/CDataRunList.h"
#include "media_recovery/raw/CRAWFileNode.h"
#include "filesystems/frame/CSearchedPartitionInfo.h"
#include "media_recovery/file_model/IDirecotryTreeBuilder.h"
#include "media_recovery/raw/RawFileTypes.h"
#include "media_recovery/RawSearch.h"

CRAWSearchController::CRAWSearchController() : extensions_(new ExtensionHash()) {
    scanner_.SetOutput([this](RawHit& hit) {
        CarveGroup* group = GetCarveGroup(hit.fileTypeId);
        return group && AddCarvedFile(group, hit, group->nextSerial++);
    });
}

CRAWSearchController::~CRAWSearchController() = default;

int CRAWSearchController::GetPartitions(CSearchedPartitionInfo** out, int max) {
    if (out && max >= 1) {
        // Described in the device's own sectors, which are the units of the carved extents.
        CSearchedPartitionInfo* p = new (std::nothrow) CSearchedPartitionInfo(sectorSize_);
        if (p) {
            p->weight = 1.0;
            p->dataStart = 0;
            p->volumeStart = 0;
            p->sectorsPerCluster = 1;
        }
        *out = p;
    }
    return 1;
}

int CRAWSearchController::BeginSearch() {
    uint32_t ss = device_ ? device_->GetSectorSize() : 512;
    sectorSize_ = ss ? ss : 512;
    // A fresh table each time: filling the same one again would only stack duplicates.
    std::unique_ptr<ExtensionHash> table(new (std::nothrow) ExtensionHash());
    if (table) {
        InitExtensionGroups(*table);
        extensions_ = std::move(table);
    }
    scanner_.BeginSearch(device_, chunkSectors_);
    if (builder_) builder_->BeginSearch(SEARCHER_RAW, 1, 0);
    return 1;
}

int CRAWSearchController::ScanChunk(uint64_t firstSector, uint64_t sectorCount, IProgress* sink) {
    scanner_.ScanChunk(firstSector, sectorCount, sink);
    return 1;
}

int CRAWSearchController::EndSearch() {
    scanner_.EndSearch();
    if (builder_) builder_->EndSearch(SEARCHER_RAW);
    return 1;
}

CarveGroup* CRAWSearchController::GetCarveGroup(uint32_t fileTypeId) {
    if (fileTypeId >= 2000) return nullptr;
    const char* name = GetRawTypeName(fileTypeId);
    if (!name) return nullptr;
    int category = CATEGORY_OTHER;
    int slot = extensions_ ? extensions_->Find(name) : -1;
    if (slot >= 0) category = extensions_->At(slot).category;
    auto it = groups_.find(category);
    if (it != groups_.end()) return it->second.get();
    std::unique_ptr<CarveGroup> group(new (std::nothrow) CarveGroup());
    if (!group) return nullptr;
    group->category = category;
    group->builder = builder_;
    CarveGroup* raw = group.get();
    try {
        groups_.emplace(category, std::move(group));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return raw;
}

bool CRAWSearchController::AddCarvedFile(CarveGroup* group, const RawHit& hit, uint32_t serial) {
    CRAWFileNode* node = new (std::nothrow) CRAWFileNode();
    if (!node) return false;
    if (FillRawNode(hit, node, group->category, serial) && group->builder &&
        group->builder->AddNode(node, SEARCHER_RAW))
        return true;
    node->Release();
    return false;
}

bool CRAWSearchController::FillRawProperties(const RawHit& hit, CRAWFileProperties* props) {
    props->SetSize(hit.size);
    props->SetExtraName(hit.extraName);
    CDataRunList* runs = CreateDataRunList();
    if (!runs) return false;
    // Extents in device sectors; sizes are at most 128 MiB here, so nothing overflows.
    if (hit.runs.empty()) {
        DataRun run(static_cast<int64_t>(hit.startSector), (hit.size + sectorSize_ - 1) / sectorSize_);
        runs->AppendRun(&run);
    }
    for (const auto& piece : hit.runs) {
        DataRun run(static_cast<int64_t>(piece.first), piece.second);
        runs->AppendRun(&run);
    }
    props->SetDataRuns(runs);
    return true;
}

bool CRAWSearchController::FillRawNode(const RawHit& hit, CRAWFileNode* node, int category, uint32_t serial) {
    std::unique_ptr<CRAWFileProperties> props(new (std::nothrow) CRAWFileProperties());
    if (!props || !FillRawProperties(hit, props.get())) return false;
    props->SetAttributes(FILE_ATTRIBUTE_ARCHIVE_BIT);
    std::string name = CRAWFileNode::MakeName(hit.namePrefix, hit.fileTypeId);
    if (name.empty()) {
        props->GetDataRuns()->Release();
        return false;
    }
    node->SetName(std::move(name));
    node->SetPartReason(hit.partReason);
    node->SetProperties(std::move(props));
    node->SetFirstLocation(serial);
    node->SetSecondLocation(static_cast<uint64_t>(category));
    return true;
}

ICompleteFileSystemSearchController* CreateRAWSearchController() {
    return new (std::nothrow) CRAWSearchController();
}
