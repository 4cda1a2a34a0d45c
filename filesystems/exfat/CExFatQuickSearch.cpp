#include "filesystems/exfat/CExFatQuickSearch.h"
#include "filesystems/frame/ReadInPart.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <new>

#include "filesystems/frame/CSearchedPartitionInfo.h"
#include "filesystems/FileSystemSearchers.h"
#include "filesystems/exfat/CExFatFileNode.h"
#include "filesystems/exfat/ExFatAllocationBitmap.h"
#include "filesystems/exfat/ExFatDirectoryEntry.h"
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
    SayWhatTheDeviceLacks();

    bufferClusters_ = volume_.clusterSize >= kReadBytes ? 1 : kReadBytes / volume_.clusterSize;
    buffer_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(bufferClusters_) * volume_.clusterSize]);
    if (!buffer_) return false;
    ReadSystemEntries();
    parser_.SetUpcaseTable(&upcase_);
    const uint64_t root = volume_.ClusterSector(volume_.rootCluster);
    return builder_->BeginSearch(SEARCHER_EXFAT, static_cast<int>(root), static_cast<int>(root >> 32)) != 0;
}

void CExFatQuickSearch::ReadSystemEntries() {
    using namespace exfat;
    if (!volume_.IsHeapCluster(volume_.rootCluster) ||
        !device_->ReadSectors(buffer_.get(), volume_.ClusterSector(volume_.rootCluster), volume_.sectorsPerCluster))
        return;
    uint32_t upcaseChecksum = 0;
    for (uint32_t i = 0; i < volume_.clusterSize / kEntrySize; ++i) {
        const uint8_t* e = buffer_.get() + static_cast<size_t>(i) * kEntrySize;
        if (e[0] == kTypeEndOfDirectory) break;
        if (e[0] == kTypeBitmap && !bitmapFirst_) {
            bitmapFirst_ = LoadLE32(e + kSystemFirstCluster);
            bitmapLength_ = LoadLE64(e + kSystemDataLength);
        } else if (e[0] == kTypeUpcase && !upcaseFirst_) {
            upcaseFirst_ = LoadLE32(e + kSystemFirstCluster);
            upcaseLength_ = LoadLE64(e + kSystemDataLength);
            upcaseChecksum = LoadLE32(e + kUpcaseTableChecksum);
        }
    }
    // Without the table, names of units past 0x7F are not checked.
    if (upcaseFirst_ && !upcase_.Read(volume_, device_, upcaseFirst_, upcaseLength_, upcaseChecksum))
        RK_LOG("[exFAT] the up-case table at cluster %u cannot be read whole or does not add up to its checksum: "
               "names are checked only where their characters are below 0x80",
               upcaseFirst_);
}

void CExFatQuickSearch::SayWhatTheDeviceLacks() {
    const uint64_t heapEnd = volume_.heapStart + uint64_t{volume_.clusterCount} * volume_.sectorsPerCluster;
    const uint64_t end = std::max(volume_.volumeLength, heapEnd);
    if (end > deviceSectors_)
        SayReadInPart("exFAT volume: it runs past the end of its device: %llu of its %llu sectors are there (its heap "
               "from sector %llu); its files and folders past the end are lost or short",
               static_cast<unsigned long long>(deviceSectors_), static_cast<unsigned long long>(end),
               static_cast<unsigned long long>(volume_.heapStart));
    if (!volume_.fat.IsOpen())
        SayReadInPart("exFAT volume: its FAT (%u sectors from sector %llu) cannot be read: its files and folders in "
               "cluster chains keep only their first cluster",
               volume_.fatLength, static_cast<unsigned long long>(volume_.fatOffset));
}

std::string CExFatQuickSearch::PathOf(IFileNode* folder, const char* name) {
    std::string path = name ? std::string("/") + name : std::string();
    size_t depth = 0;
    for (IFileNode* at = folder; at && depth < 256; at = at->GetParent(), ++depth)
        path = "/" + std::string(at->GetName() ? at->GetName() : "") + path;
    return path.empty() ? "/" : path;
}

void CExFatQuickSearch::SayFolder(const char* what, unsigned long long a, unsigned long long b) {
    if (walkingDeleted_) return;
    const std::string path = PathOf(walking_, nullptr);
    char text[256];
    std::snprintf(text, sizeof text, what, a, b);
    SayReadInPart("exFAT folder \"%s\": %s", path.c_str(), text);
}

void CExFatQuickSearch::Walk() {
    if (!sink_) return;
    const int64_t wholeHeap = static_cast<int64_t>(volume_.clusterSize) * volume_.clusterCount;
    WalkDirectory(nullptr, volume_.rootCluster, wholeHeap, false);
    uint64_t processed = 0, lastPercent = 0;
    while ((!liveFolders_.empty() || !deletedFolders_.empty()) && sink_->ShouldContinue()) {
        // Live folders first: a deleted folder whose cluster a live one took over must not claim it.
        std::deque<CExFatFileNode*>& queue = liveFolders_.empty() ? deletedFolders_ : liveFolders_;
        CExFatFileNode* folder = queue.front();
        queue.pop_front();
        if (!WalkDirectory(folder, folder->FirstCluster(), static_cast<int64_t>(folder->GetSize()),
                           folder->NoFatChain()))
            RK_LOG("[exFAT] folder \"%s\" at cluster %u could not be read whole; the walk goes on",
                   PathOf(folder, nullptr).c_str(), folder->FirstCluster());
        ++processed;
        const uint64_t total = processed + liveFolders_.size() + deletedFolders_.size();
        const uint64_t percent = processed * 100 / total;
        if (percent > lastPercent) {
            lastPercent = percent;
            Report(PROGRESS_STATE_RUNNING, total, processed);
        }
    }
    SettleClaims();
    builder_->EndSearch(SEARCHER_EXFAT);
    Report(PROGRESS_STATE_FINISHED, 1, 1);
    liveFolders_.clear();
    deletedFolders_.clear();
}

bool CExFatQuickSearch::WalkDirectory(CExFatFileNode* folder, uint32_t start, int64_t remaining, bool contiguous) {
    if (!device_ || !builder_) return false;
    // A set never runs from one folder into another.
    parser_.Reset();
    walking_ = folder;
    walkingDeleted_ = folder && folder->IsDeleted();
    if (!volume_.IsHeapCluster(start))
        SayFolder("its first cluster %llu lies outside the volume's heap: its entries are lost", start, 0);
    const bool read = contiguous ? ReadContiguous(start, remaining) : ReadChain(start, remaining);
    parser_.EndFolder();
    EmitFinished(folder, start);
    return read;
}

uint64_t CExFatQuickSearch::ReadClusters(uint8_t* into, uint32_t cluster, uint64_t count) {
    const uint64_t spc = volume_.sectorsPerCluster;
    if (device_->ReadSectors(into, volume_.ClusterSector(cluster), count * spc)) return count;
    // The clusters before the one that fails are read one by one: a folder is read as far as it goes.
    uint64_t k = 0;
    while (k + 1 < count && device_->ReadSectors(into + k * volume_.clusterSize, volume_.ClusterSector(cluster) + k * spc, spc))
        ++k;
    const uint64_t failed = volume_.ClusterSector(static_cast<uint32_t>(cluster + k));
    if (failed + spc > deviceSectors_)
        SayFolder("its cluster %llu (sector %llu) lies past the end of the device: its entries from there on are lost",
                  cluster + k, failed);
    else
        SayFolder("its cluster %llu (sector %llu) cannot be read: its entries from there on are lost", cluster + k,
                  failed);
    return k;
}

bool CExFatQuickSearch::HoldsFolderEntries(const uint8_t* bytes, uint32_t cluster, bool first) {
    // The root's first cluster is the boot sector's word.
    if ((!walking_ && first) || IsBelievableFolderEntry(bytes)) {
        if (!walkingDeleted_) liveFolderClusters_.push_back(cluster);
        return true;
    }
    if (first)
        SayFolder("its first cluster %llu holds no folder entries (a damaged first cluster?): its entries are lost",
                  cluster, 0);
    else
        SayFolder("its cluster %llu holds no folder entries: its entries from there on are lost", cluster, 0);
    return false;
}

bool CExFatQuickSearch::ReadChain(uint32_t start, int64_t remaining) {
    uint32_t cluster = start;
    uint64_t read = 0;
    while (volume_.IsHeapCluster(cluster)) {
        if (!visited_.insert(cluster).second) {
            SayFolder("its cluster chain comes to cluster %llu, which a folder already holds: its entries from "
                      "there on are lost", cluster, 0);
            break;
        }
        if (ReadClusters(buffer_.get(), cluster, 1) == 0) return false;
        ++read;
        if (!HoldsFolderEntries(buffer_.get(), cluster, read == 1)) break;
        if (!parser_.ParseDirectoryBuffer(buffer_.get(), volume_.clusterSize, volume_.ClusterSector(cluster))) break;
        remaining -= volume_.clusterSize;
        const uint32_t next = volume_.NextHeapCluster(cluster);
        if (remaining <= 0) break;
        // The root's length is not known: its chain ends where the FAT says.
        if (next == exfat::kNoCluster && walking_ && volume_.fat.IsOpen())
            SayFolder("its cluster chain ends after %llu clusters, short of its length (%llu more bytes): the "
                      "entries past are lost", read, static_cast<unsigned long long>(remaining));
        cluster = next;
    }
    return true;
}

void CExFatQuickSearch::SayCut(CExFatFileNode* node) {
    const std::string path = PathOf(node->GetParent(), node->GetName());
    const unsigned long long length = node->GetSize();
    const uint64_t clusters = (node->GetSize() + volume_.clusterSize - 1) / volume_.clusterSize;
    if (clusters > volume_.clusterCount) {
        SayReadInPart("exFAT file \"%s\": its length (%llu bytes) is larger than its volume's heap: it is written as far "
               "as the heap goes",
               path.c_str(), length);
    } else if (node->NoFatChain() || !volume_.fat.IsOpen()) {
        // No FAT is said once for the volume.
        if (node->NoFatChain())
            SayReadInPart("exFAT file \"%s\": its clusters run past the end of its volume's heap: it is written as far as "
                   "the heap goes",
                   path.c_str());
    } else {
        const uint64_t held = ExFatChainClusters(volume_, node->FirstCluster(), clusters);
        uint32_t last = node->FirstCluster();
        for (uint64_t k = 1; k < held; ++k) last = volume_.NextHeapCluster(last);
        const uint32_t next = volume_.fat.NextCluster(last);
        if (volume_.IsHeapCluster(next))
            SayReadInPart("exFAT file \"%s\": its cluster chain comes back to cluster %u after %llu of its %llu clusters: "
                   "it is cut before the cluster it would take twice",
                   path.c_str(), next, static_cast<unsigned long long>(held),
                   static_cast<unsigned long long>(clusters));
        else
            SayReadInPart("exFAT file \"%s\": its cluster chain ends at cluster %u (its FAT entry is %#x) after %llu of "
                   "its %llu clusters: it is cut there",
                   path.c_str(), last, next, static_cast<unsigned long long>(held),
                   static_cast<unsigned long long>(clusters));
    }
}

void CExFatQuickSearch::SayChanged(CExFatFileNode* folder, const ExFatEntryRecord& record) {
    const bool lengths = !record.IsDirectory() && record.validDataLength != record.dataLength;
    if (!record.changed && !lengths) return;
    const std::string path = PathOf(folder, record.name);
    const char* what = record.IsDirectory() ? "folder" : "file";
    if (record.changed & ExFatEntryRecord::kNameDiffers)
        SayReadInPart("exFAT %s \"%s\": its name is not the one its entry set's name hash was made from: the name is "
                      "damaged, and the %s is listed under it",
                      what, path.c_str(), what);
    else if (record.changed & ExFatEntryRecord::kChecksumDiffers)
        SayReadInPart("exFAT %s \"%s\": its entry set does not add up to its checksum: it was changed since it was "
                      "written, and its length or clusters may not be the %s's",
                      what, path.c_str(), what);
    if (!lengths) return;
    const unsigned long long valid = record.validDataLength, length = record.dataLength;
    if (valid < length)
        SayReadInPart("exFAT file \"%s\": only %llu of its %llu bytes were written to it (its valid data length): it "
                      "is written as far as that",
                      path.c_str(), valid, length);
    else
        SayReadInPart("exFAT file \"%s\": its valid data length (%llu bytes) is larger than its length (%llu bytes): "
                      "one of them is damaged; it is written as far as its length goes",
                      path.c_str(), valid, length);
}

void CExFatQuickSearch::WeighFolderLength(CExFatFileNode* folder, ExFatEntryRecord& record) {
    const std::string path = PathOf(folder, record.name);
    const unsigned long long length = record.dataLength;
    // The walk of the folder is done: its read buffer is free.
    const bool holds = volume_.IsHeapCluster(record.firstCluster) &&
                       device_->ReadSectors(buffer_.get(), volume_.ClusterSector(record.firstCluster),
                                            volume_.sectorsPerCluster) &&
                       HoldsOnlyBelievableFolderEntries(buffer_.get(), volume_.clusterSize);
    if (holds) {
        SayReadInPart("exFAT folder \"%s\": its length (%llu bytes) is no whole number of clusters, as a folder's is: "
                      "it is damaged, and the folder is read as its clusters go",
                      path.c_str(), length);
        return;
    }
    record.attributes &= static_cast<uint16_t>(~exfat::kAttrDirectory);
    SayReadInPart("exFAT file \"%s\": its entry set marks it a folder, but its length (%llu bytes) is no whole number "
                  "of clusters and its first cluster holds no folder entries: it is taken for a file",
                  path.c_str(), length);
}

bool CExFatQuickSearch::BitmapAgrees(const ExFatAllocationBitmap& bitmap) const {
    for (uint32_t c : liveFolderClusters_)
        if (!bitmap.Marks(c)) return false;
    const uint64_t own = (bitmapLength_ + volume_.clusterSize - 1) / volume_.clusterSize;
    return bitmap.MarksAll(bitmapFirst_, own) && (!volume_.IsHeapCluster(upcaseFirst_) || bitmap.Marks(upcaseFirst_));
}

void CExFatQuickSearch::SettleClaims() {
    for (uint32_t c : liveFolderClusters_) claims_.AddHeld(c, 1);
    claims_.AddNamedFirst(volume_.rootCluster);
    // The volume's own tables: laid down with it, each in one stretch.
    for (const auto& table : {std::make_pair(bitmapFirst_, bitmapLength_), std::make_pair(upcaseFirst_, upcaseLength_)}) {
        if (!volume_.IsHeapCluster(table.first)) continue;
        claims_.AddHeld(table.first, (table.second + volume_.clusterSize - 1) / volume_.clusterSize);
        claims_.AddNamedFirst(table.first);
    }
    ExFatAllocationBitmap bitmap;
    const bool trusted = bitmap.Read(volume_, device_, bitmapFirst_, bitmapLength_) && BitmapAgrees(bitmap);
    const std::vector<ExFatLiveExtents::Cut> cuts = claims_.Settle(trusted ? &bitmap : nullptr);
    std::unordered_set<CExFatFileNode*> said;
    for (const ExFatLiveExtents::Cut& cut : cuts) {
        said.insert(cut.node);
        const std::string path = PathOf(cut.node->GetParent(), cut.node->GetName());
        const unsigned long long number = cut.position + 1, of = cut.needed;
        // An extent in one stretch keeps nothing: its first cluster is not trusted.
        const char* end = cut.kept || cut.position == 0 ? "it is cut before it"
                                                       : "its first cluster is not trusted, and none of it is kept";
        switch (cut.why) {
            case ExFatLiveExtents::Why::kHeld:
            case ExFatLiveExtents::Why::kOtherFile:
                // The other file is not named: its claim holds, and it is written whole.
                SayReadInPart("exFAT file \"%s\": its cluster %u (number %llu of its %llu) is %s: %s",
                              path.c_str(), cut.cluster, number, of,
                              cut.other ? "another live file's" : "a folder's or the volume's own tables'", end);
                break;
            case ExFatLiveExtents::Why::kFree:
                SayReadInPart("exFAT file \"%s\": its cluster %u (number %llu of its %llu) is free, as the allocation "
                              "bitmap marks it: %s",
                              path.c_str(), cut.cluster, number, of, end);
                break;
            case ExFatLiveExtents::Why::kJoined:
                SayReadInPart("exFAT file \"%s\": its cluster %u (number %llu of its %llu) is named by two links of the "
                              "FAT, and the chain from there is not the length it still needs: it is cut before it",
                              path.c_str(), cut.cluster, number, of);
                break;
            case ExFatLiveExtents::Why::kNoEnd:
                SayReadInPart("exFAT file \"%s\": its cluster chain stops at cluster %u (number %llu of its %llu), whose "
                              "FAT entry is no link and no end: it is cut before it",
                              path.c_str(), cut.cluster, number, of);
                break;
        }
    }
    for (CExFatFileNode* node : liveFiles_)
        if (node->IsSizeCut() && !said.count(node)) SayCut(node);
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
        if (n == 0) {
            SayFolder("its cluster %llu is held by a folder read before: its entries from there on are lost", cluster, 0);
            break;
        }
        const uint64_t first = volume_.ClusterSector(static_cast<uint32_t>(cluster));
        const uint64_t got = ReadClusters(buffer_.get(), static_cast<uint32_t>(cluster), n);
        for (uint32_t k = 0; k < got; ++k, ++cluster) {
            visited_.insert(static_cast<uint32_t>(cluster));
            if (!HoldsFolderEntries(buffer_.get() + static_cast<size_t>(k) * volume_.clusterSize,
                                    static_cast<uint32_t>(cluster), cluster == start))
                return true;
            if (!parser_.ParseDirectoryBuffer(buffer_.get() + static_cast<size_t>(k) * volume_.clusterSize,
                                              volume_.clusterSize,
                                              first + static_cast<uint64_t>(k) * volume_.sectorsPerCluster))
                return true;
        }
        if (got < n) return false;
    }
    return true;
}

void CExFatQuickSearch::EmitFinished(CExFatFileNode* folder, uint32_t start) {
    const uint64_t folderSector = volume_.ClusterSector(start);
    const bool parentDeleted = folder && folder->IsDeleted();
    if (!parentDeleted) {
        for (const ExFatRefusedSet& refused : parser_.Refused())
            SayReadInPart("exFAT folder \"%s\": the entry set at sector %llu%s%s%s is refused: %s; the file or folder "
                   "it stands for is lost",
                   PathOf(folder, nullptr).c_str(), static_cast<unsigned long long>(refused.sector),
                   refused.nameSoFar.empty() ? "" : " (\"", refused.nameSoFar.c_str(),
                   refused.nameSoFar.empty() ? "" : "\")", refused.why);
    }
    parser_.Refused().clear();
    for (ExFatEntryRecord& record : parser_.Finished()) {
        if (parentDeleted) record.inUse = 0;
        if (record.inUse) SayChanged(folder, record);
        if (record.inUse && record.IsDirectory() && (record.dataLength == 0 || record.dataLength % volume_.clusterSize))
            WeighFolderLength(folder, record);
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
        if (!record.inUse) continue;
        if (record.IsDirectory()) {
            claims_.AddNamedFirst(record.firstCluster);
            continue;
        }
        try {
            liveFiles_.push_back(node);
        } catch (const std::bad_alloc&) {
            continue;
        }
        claims_.AddFile(node, record.changed != 0);
    }
    parser_.Finished().clear();
}
