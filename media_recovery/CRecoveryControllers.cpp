#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "media_recovery/CArchiveBuilder.h"
#include "media_recovery/CCompleteRecoveryController.h"
#include "media_recovery/CDataRecovery.h"
#include "media_recovery/CDeletedRecoveryController.h"
#include "media_recovery/CStorageDeviceWithCache.h"
#include "filesystems/FileSystemSearchers.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "sqlite_recovery/framework/IStorageDevice.h"
#include "sqlite_recovery/framework/Logger.h"
#include "media_recovery/MediaErrors.h"
#include "media_recovery/SearcherFactories.h"

CRecoveryController::~CRecoveryController() {}

bool CRecoveryController::SetFilter(IRecoveryFilter* filter) {
    if (!filter) return false;
    filter_ = filter;
    return true;
}

namespace {
IArchiveDataRecovery* OpenRecovery(IFileSystemSearchController* searcher, IStorageDevice* device) {
    if (!searcher || !device) return nullptr;
    CDataRecovery* recovery = new (std::nothrow) CDataRecovery;
    if (!recovery) return nullptr;
    if (Failed(recovery->Open(searcher, device))) {
        recovery->Release();
        return nullptr;
    }
    return recovery;
}
}  // namespace

// ---- the deleted-file controller ----

CDeletedRecoveryController::~CDeletedRecoveryController() {
    delete searcher_;
    if (builder_) builder_->Release();
}

IQuickFileSystemSearchController* DetectQuickSearcher(IStorageDevice* device) {
    if (!device) return nullptr;
    uint32_t size = device->GetSectorSize();
    if (size == 0 || size % 512 != 0) return nullptr;
    std::vector<uint8_t> sector;
    try {
        sector.assign(size, 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    if (!device->ReadSectors(sector.data(), 0, 1)) return nullptr;
    SearcherFactories& make = GetSearcherFactories();
    uint8_t first512[512];
    std::memcpy(first512, sector.data(), sizeof first512);
    if (IsFat16BootSector(first512, size) || IsFat32BootSector(first512, size) || IsFat12BootSector(first512, size))
        return make.fatQuick();
    if (IsExFatBootSector(sector.data(), size)) return make.exfatQuick();
    return make.extQuick();
}

ResultCode CDeletedRecoveryController::Run(IStorageDevice* device, IProgress* sink,
                                           IDataContainer<_ARCHIVE_INFOMATION>* container) {
    if (!device || !sink || !container) return RK_FAIL(RK_E_FAIL);
    SendProgress(sink, PROGRESS_STATE_RUNNING, 1, 0);
    device_ = device;
    if (builder_) builder_->Release();
    builder_ = new (std::nothrow) CArchiveBuilder(BUILDER_KIND_QUICK, OwnerValue());
    if (!builder_) return RK_FAIL(MEDIA_E_NO_MEMORY_FOR_BUILDER);
    if (!builder_->Init(container, sink, filter_)) return RK_FAIL(RK_E_FAIL);
    IQuickFileSystemSearchController* searcher = DetectQuickSearcher(device);
    if (!searcher) {
        SendProgress(sink, PROGRESS_STATE_FINISHED, 1, 1);
        return RK_FAIL(MEDIA_E_NO_QUICK_SEARCHER);
    }
    delete searcher_;
    searcher_ = searcher;
    searcher_->SetBuilder(builder_);
    searcher_->Search(device, sink);
    return RK_OK;
}

IArchiveDataRecovery* CDeletedRecoveryController::CreateRecovery(int) { return OpenRecovery(searcher_, device_); }

// ---- the whole-device controller ----

CCompleteRecoveryController::~CCompleteRecoveryController() {
    for (auto& entry : searchers_) delete entry.second;
    if (builder_) builder_->Release();
}

uint32_t CCompleteRecoveryController::ChunkSectorsFor(uint32_t sectorSize) {
    uint32_t size = sectorSize ? sectorSize : 512;
    uint32_t sectors = 0x400000 / size;
    return sectors ? sectors : 0x2000;
}

uint32_t CCompleteRecoveryController::SliceSectorsFor(uint32_t sectorSize) {
    uint32_t size = sectorSize ? sectorSize : 512;
    return std::max<uint32_t>(kSliceBytes / size, 1);
}

ResultCode CCompleteRecoveryController::Run(IStorageDevice* device, IProgress* sink,
                                            IDataContainer<_ARCHIVE_INFOMATION>* container) {
    if (!device || !sink || !container) return RK_FAIL(MEDIA_E_BAD_DEVICE);
    SendProgress(sink, PROGRESS_STATE_RUNNING, 1, 0);
    if (builder_) builder_->Release();
    builder_ = new (std::nothrow) CArchiveBuilder(BUILDER_KIND_COMPLETE, OwnerValue());
    if (!builder_) return RK_FAIL(MEDIA_E_NO_MEMORY_FOR_BUILDER);
    if (!builder_->Init(container, sink, filter_)) return RK_FAIL(RK_E_FAIL);

    for (auto& entry : searchers_) delete entry.second;
    searchers_.clear();
    SearcherFactories& make = GetSearcherFactories();
    const std::pair<int, ICompleteFileSystemSearchController* (*)()> kinds[] = {
        {SEARCHER_EXFAT, make.exfatComplete}, {SEARCHER_FAT, make.fatComplete}, {SEARCHER_EXT, make.extComplete},
        {SEARCHER_RAW, make.rawComplete}};
    for (const auto& kind : kinds)
        if (ICompleteFileSystemSearchController* searcher = kind.second ? kind.second() : nullptr)
            searchers_.emplace_back(kind.first, searcher);
    if (searchers_.empty()) return RK_FAIL(MEDIA_E_NO_COMPLETE_SEARCHER);

    device_ = device;
    uint32_t chunk = ChunkSectorsFor(device->GetSectorSize());
    ResultCode result = RK_OK;
    CStorageDeviceWithCache* cache = new (std::nothrow) CStorageDeviceWithCache(device);
    if (!cache || !cache->SetChunkSectors(chunk) || !cache->Start()) {
        result = RK_FAIL(RK_E_FAIL);
    } else {
        for (auto& entry : searchers_) {
            entry.second->SetDevice(cache);
            entry.second->SetChunkSectors(chunk);
            entry.second->SetBuilder(builder_);
            entry.second->BeginSearch();
        }
        result = ScanDevice(*cache, static_cast<int64_t>(device->GetSectorCount()) - 1, sink);
        for (auto& entry : searchers_) {
            if (entry.first == SEARCHER_RAW && !sink->ShouldContinue()) continue;
            RK_LOG("[Dredgel] End search , type : %d", entry.first);
            entry.second->EndSearch();
            RK_LOG("[Dredgel] End search , type : %d end", entry.first);
        }
        cache->Stop();
        if (uint64_t lost = cache->GetUnreadableSectors()) {
            RK_LOG("[Dredgel] %llu unreadable sectors of the volume were scanned as zeros",
                   static_cast<unsigned long long>(lost));
            if (Succeeded(result)) result = RK_FAIL(MEDIA_E_UNREADABLE_SECTORS);
        }
    }
    // The searchers keep the cache until the next run; after it is gone they read the device itself.
    for (auto& entry : searchers_) entry.second->SetDevice(device);
    SendProgress(sink, PROGRESS_STATE_FINISHED, 1, 1);
    delete cache;
    return result;
}

ResultCode CCompleteRecoveryController::ScanDevice(CStorageDeviceWithCache& cache, int64_t lastSector, IProgress* sink) {
    if (!sink) return RK_FAIL(RK_E_INVALID_ARGUMENT);
    if (lastSector < 0) return RK_FAIL(MEDIA_E_BAD_DEVICE);
    uint64_t chunk = ChunkSectorsFor(cache.GetSectorSize());
    const uint64_t slice = SliceSectorsFor(cache.GetSectorSize());
    uint64_t sectors = cache.GetSectorCount();
    uint64_t last = static_cast<uint64_t>(lastSector);
    if (sectors == 0) return RK_FAIL(MEDIA_E_BAD_DEVICE);
    if (last > sectors - 1) last = sectors - 1;
    uint64_t chunks = sectors / chunk + (sectors % chunk ? 1 : 0);
    uint64_t total = last / chunk + (last % chunk ? 1 : 0) + 1;
    PROGRESS_INFO record;
    std::memset(&record, 0, sizeof record);
    record.state = 0;
    record.total = total;
    sink->OnProgress(&record);
    record.state = PROGRESS_STATE_RUNNING;
    // Carving reads the first bytes of every sector, as every volume finder does, and more: it
    // goes first over each slice and brings it into the cache for the others. No searcher hands
    // anything to the builder but carving, so the order changes no result.
    std::vector<ICompleteFileSystemSearchController*> order;
    for (auto& entry : searchers_)
        if (entry.first == SEARCHER_RAW) order.push_back(entry.second);
    for (auto& entry : searchers_)
        if (entry.first != SEARCHER_RAW) order.push_back(entry.second);
    for (uint64_t i = 0; i < chunks; ++i) {
        if (!sink->ShouldContinue()) break;
        if (!cache.LoadChunk(i)) break;
        const uint64_t first = i * chunk;
        const uint64_t end = first > last ? first : first + std::min(chunk, last - first + 1);
        // The chunk goes to the searchers a slice at a time, every searcher over one slice before
        // the next, so that the slice is still in the processor's cache when the next searcher
        // reads it (a whole chunk is not). Each searcher still sees its sectors in order.
        bool stopped = false;
        for (uint64_t at = first; at < end && !stopped; at += slice) {
            const uint64_t count = std::min(slice, end - at);
            for (ICompleteFileSystemSearchController* searcher : order) {
                if (!sink->ShouldContinue()) {
                    stopped = true;
                    break;
                }
                searcher->ScanChunk(at, count, sink);
            }
        }
        uint64_t done = std::min(i + 1, total);
        record.done = static_cast<uint64_t>(0.8 * static_cast<double>(done));
        sink->OnProgress(&record);
    }
    return RK_OK;
}

IArchiveDataRecovery* CCompleteRecoveryController::CreateRecovery(int searcherCode) {
    for (auto& entry : searchers_)
        if (entry.first == searcherCode) return OpenRecovery(entry.second, device_);
    return nullptr;
}
