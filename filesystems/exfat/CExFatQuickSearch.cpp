#include "filesystems/exfat/CExFatQuickSearch.h"

#include <cstring>
#include <new>

#include "filesystems/frame/CSearchedPartitionInfo.h"
#include "filesystems/FileSystemSearchers.h"
#include "filesystems/exfat/CExFatFileNode.h"
#include "filesystems/exfat/ExFatLayout.h"
#include "media_recovery/file_model/IDirecotryTreeBuilder.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "sqlite_recovery/framework/IStorageDevice.h"
#include "sqlite_recovery/framework/Logger.h"

CExFatQuickSearch::~CExFatQuickSearch() { volume_.fat.Close(); }

int CExFatQuickSearch::GetPartitions(CSearchedPartitionInfo** out, int max) {
    if (!out || max < 1) return 1;
    CSearchedPartitionInfo* info = new (std::nothrow) CSearchedPartitionInfo(volume_.sectorSize);
    if (!info) return 0;
    info->kind = kPartitionKind;
    info->sectorsPerCluster = volume_.sectorsPerCluster;
    info->dataStart = volume_.heapStart;
    info->volumeStart = 0;
    info->volumeLength = 0;
    out[0] = info;
    return 1;
}

void CExFatQuickSearch::Report(uint32_t state, uint64_t total, uint64_t done) {
    PROGRESS_INFO info{};
    info.state = state;
    info.total = total;
    info.done = done;
    sink_->OnProgress(&info);
}

ResultCode CExFatQuickSearch::Search(IStorageDevice* device, IProgress* sink) {
    device_ = device;
    sink_ = sink;
    if (ReadBootSector(device)) Walk();
    return RK_OK;
}

bool CExFatQuickSearch::ReadBootSector(IStorageDevice* device) {
    if (!device || !builder_) return false;
    const uint32_t sectorSize = device->GetSectorSize();
    // The buffer holds the largest sector an exFAT volume can have.
    if (sectorSize == 0 || sectorSize > exfat::kLargestSectorSize) return false;
    uint8_t boot[exfat::kLargestSectorSize] = {};
    if (!device->ReadSectors(boot, 0, 1) || !IsExFatBootSector(boot, sectorSize)) return false;

    volume_.SetGeometry(boot, sectorSize, 0);
    clusterShift_ = ExFatShiftOf(volume_.clusterSize);
    sectorShift_ = ExFatShiftOf(sectorSize);
    deviceSectors_ = device->GetSectorCount();
    parser_.Reset();
    parser_.Finished().clear();
    ExFatVolumeParameters parameters;
    parameters.sectorShift = sectorShift_;
    parameters.clusterShift = clusterShift_;
    parameters.deviceSectors = deviceSectors_;
    parser_.SetVolumeParameters(parameters);
    volume_.OpenFat(device);

    bufferClusters_ = volume_.clusterSize >= kReadBytes ? 1 : kReadBytes / volume_.clusterSize;
    buffer_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(bufferClusters_) * volume_.clusterSize]);
    if (!buffer_) return false;
    const uint64_t root = volume_.ClusterSector(volume_.rootCluster);
    return builder_->BeginSearch(SEARCHER_EXFAT, static_cast<int>(root), static_cast<int>(root >> 32)) != 0;
}

void CExFatQuickSearch::Walk() {
    if (!sink_) return;
    const int64_t wholeHeap = static_cast<int64_t>(volume_.clusterSize) * volume_.clusterCount;
    if (!WalkDirectory(nullptr, volume_.rootCluster, wholeHeap, false)) return;
    uint64_t processed = 0, lastPercent = 0;
    while ((!liveFolders_.empty() || !deletedFolders_.empty()) && sink_->ShouldContinue()) {
        // Live folders first: a deleted folder whose cluster a live one took over must not claim it.
        std::deque<CExFatFileNode*>& queue = liveFolders_.empty() ? deletedFolders_ : liveFolders_;
        CExFatFileNode* folder = queue.front();
        queue.pop_front();
        if (!WalkDirectory(folder, folder->FirstCluster(), static_cast<int64_t>(folder->GetSize()),
                           folder->NoFatChain()))
            RK_LOG("[exFAT] folder \"%s\" at cluster %u could not be read whole; the walk goes on", folder->GetName(),
                   folder->FirstCluster());
        ++processed;
        const uint64_t total = processed + liveFolders_.size() + deletedFolders_.size();
        const uint64_t percent = processed * 100 / total;
        if (percent > lastPercent) {
            lastPercent = percent;
            Report(PROGRESS_STATE_RUNNING, total, processed);
        }
    }
    builder_->EndSearch(SEARCHER_EXFAT);
    Report(PROGRESS_STATE_FINISHED, 1, 1);
    liveFolders_.clear();
    deletedFolders_.clear();
}

bool CExFatQuickSearch::WalkDirectory(CExFatFileNode* folder, uint32_t start, int64_t remaining, bool contiguous) {
    if (!device_ || !builder_) return false;
    // A set never runs from one folder into another.
    parser_.Reset();
    const bool read = contiguous ? ReadContiguous(start, remaining) : ReadChain(start, remaining);
    EmitFinished(folder, start);
    return read;
}

bool CExFatQuickSearch::ReadChain(uint32_t start, int64_t remaining) {
    uint32_t cluster = start;
    while (volume_.IsHeapCluster(cluster) && visited_.insert(cluster).second) {
        if (!device_->ReadSectors(buffer_.get(), volume_.ClusterSector(cluster), volume_.sectorsPerCluster))
            return false;
        if (!parser_.ParseDirectoryBuffer(buffer_.get(), volume_.clusterSize, volume_.ClusterSector(cluster))) break;
        remaining -= volume_.clusterSize;
        cluster = volume_.NextHeapCluster(cluster);
        if (remaining <= 0) break;
    }
    return true;
}

bool CExFatQuickSearch::ReadContiguous(uint32_t start, int64_t remaining) {
    if (!volume_.IsHeapCluster(start)) return true;
    // At least the first cluster, as for a chained folder of length 0; never past the heap.
    uint64_t count = remaining > 0 ? (static_cast<uint64_t>(remaining) + volume_.clusterSize - 1) >> clusterShift_ : 1;
    if (count > volume_.ClusterLimit() - start) count = volume_.ClusterLimit() - start;
    uint64_t cluster = start;
    const uint64_t end = start + count;
    while (cluster < end) {
        // The clusters of this read: as many as fit, up to the first one read before.
        uint32_t n = 0;
        while (n < bufferClusters_ && cluster + n < end && !visited_.count(static_cast<uint32_t>(cluster + n))) ++n;
        if (n == 0) break;
        const uint64_t first = volume_.ClusterSector(static_cast<uint32_t>(cluster));
        if (!device_->ReadSectors(buffer_.get(), first, static_cast<uint64_t>(n) * volume_.sectorsPerCluster))
            return false;
        for (uint32_t k = 0; k < n; ++k, ++cluster) {
            visited_.insert(static_cast<uint32_t>(cluster));
            if (!parser_.ParseDirectoryBuffer(buffer_.get() + static_cast<size_t>(k) * volume_.clusterSize,
                                              volume_.clusterSize,
                                              first + static_cast<uint64_t>(k) * volume_.sectorsPerCluster))
                return true;
        }
    }
    return true;
}

void CExFatQuickSearch::EmitFinished(CExFatFileNode* folder, uint32_t start) {
    const uint64_t folderSector = volume_.ClusterSector(start);
    const bool parentDeleted = folder && folder->IsDeleted();
    for (ExFatEntryRecord& record : parser_.Finished()) {
        if (parentDeleted) record.inUse = 0;
        CExFatFileNode* node = MakeExFatFileNode(record, volume_);
        if (!node) continue;
        if (volume_.IsHeapCluster(record.firstCluster))
            node->SetFirstLocation(volume_.ClusterSector(record.firstCluster));
        node->SetSecondLocation(folderSector);
        // Linked before it is handed over: a refused node unlinks itself when it is released.
        if (folder) folder->LinkChild(node);
        if (!builder_->AddNode(node, SEARCHER_EXFAT)) {
            node->Release();
            continue;
        }
        if (record.IsDirectory()) (node->IsDeleted() ? deletedFolders_ : liveFolders_).push_back(node);
    }
    parser_.Finished().clear();
}
