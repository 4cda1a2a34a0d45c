#include "filesystems/exfat/CExFatFileNode.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "filesystems/exfat/ExFatDirectoryEntry.h"
#include "filesystems/exfat/ExFatEntryRecord.h"
#include "filesystems/exfat/ExFatLayout.h"
#include "filesystems/exfat/ExFatVolume.h"
#include "media_recovery/file_model/CDataRunList.h"
#include "media_recovery/file_model/IFileProperties.h"

namespace {

// Appends count clusters from first on, cut at the heap's end.
void AppendContiguous(CDataRunList* list, const ExFatVolume& volume, uint32_t first, uint64_t count) {
    const uint64_t available = volume.ClusterLimit() - first;
    if (count > available) count = available;
    if (count == 0) return;
    DataRun run(static_cast<int64_t>(first) - 2, count);
    list->AppendRun(&run);
}

// The clusters a list's runs hold.
uint64_t HeldClusters(CDataRunList* list) {
    uint64_t held = 0;
    for (const DataRun* run = list ? list->First() : nullptr; run; run = list->Next()) held += run->length;
    return held;
}

}  // namespace

uint8_t CExFatFileNode::GetFlags() const {
    return static_cast<uint8_t>(((attributes_ & kDeletedBit) ? FILE_FLAG_DELETED : 0) |
                                (sizeCut_ ? FILE_FLAG_SIZE_CUT : 0));
}

void CExFatFileNode::SetName(const char* name) {
    if (!name) return;
    const size_t length = std::strlen(name);
    std::unique_ptr<char[]> copy(new (std::nothrow) char[length + 1]);
    if (!copy) return;
    std::memcpy(copy.get(), name, length + 1);
    name_ = std::move(copy);
}

void CExFatFileNode::TrimName() {
    if (!name_) return;
    SetName(TrimLeadingDots(name_.get()).c_str());
}

IFileNode* CExFatFileNode::Clone() {
    CExFatFileNode* copy = new (std::nothrow) CExFatFileNode;
    if (!copy) return nullptr;
    copy->attributes_ = attributes_ & 0xFFFF;
    copy->creationTime_ = creationTime_;
    copy->modificationTime_ = modificationTime_;
    copy->accessTime_ = accessTime_;
    if (name_) copy->SetName(name_.get());
    copy->size_ = size_;
    copy->sizeCut_ = sizeCut_;
    if (IsDeleted()) copy->MarkDeleted();
    if (GetDataRuns()) copy->SetDataRuns(GetDataRuns()->Clone());
    SetNodePartitionIndex(copy, GetPartitionIndex());
    return copy;
}

void CExFatFileNode::KeepOnly(uint64_t clusters) {
    sizeCut_ = true;
    IDataRunList* runs = GetDataRuns();
    CDataRunList* kept = CreateDataRunList();
    if (!runs || !kept) {
        if (kept) kept->Release();
        return;
    }
    for (const DataRun* run = runs->First(); run && clusters > 0; run = runs->Next()) {
        DataRun part(run->start, std::min<uint64_t>(run->length, clusters));
        kept->AppendRun(&part);
        clusters -= part.length;
    }
    SetDataRuns(kept);
}

uint64_t ExFatReadableLength(const ExFatEntryRecord& record) {
    if (record.IsDirectory()) return record.dataLength;
    return std::min(record.dataLength, record.validDataLength);
}

CDataRunList* BuildExFatExtents(const ExFatEntryRecord& record, ExFatVolume& volume) {
    CDataRunList* list = CreateDataRunList();
    if (!list) return list;
    const uint64_t clusterBytes = volume.clusterSize ? volume.clusterSize : 512;
    const uint64_t length = ExFatReadableLength(record);
    if (static_cast<int64_t>(length) <= 0 || !volume.IsHeapCluster(record.firstCluster)) return list;
    const uint64_t clusters = (length + clusterBytes - 1) / clusterBytes;
    if (record.noFatChain) {
        AppendContiguous(list, volume, record.firstCluster, clusters);
        return list;
    }
    uint32_t next = volume.fat.NextCluster(record.firstCluster);
    if (!record.inUse && next == 0) {
        // Deleting freed the chain: the data is taken to follow on from its first cluster.
        AppendContiguous(list, volume, record.firstCluster, clusters);
        return list;
    }
    // Follow the chain for as many clusters as the length needs, and no further than the first
    // cluster it comes back to: a loop is cut before any cluster is taken twice.
    const uint64_t distinct = ExFatChainClusters(volume, record.firstCluster, clusters);
    uint32_t cluster = record.firstCluster;
    for (uint64_t taken = 0; taken < distinct; ++taken) {
        DataRun run(static_cast<int64_t>(cluster) - 2, 1);
        list->AppendRun(&run);
        cluster = next;
        if (taken + 1 < distinct) next = volume.fat.NextCluster(cluster);
    }
    return list;
}

uint64_t ExFatChainClusters(ExFatVolume& volume, uint32_t first, uint64_t most) {
    if (!volume.IsHeapCluster(first) || most == 0) return 0;
    // Brent's cycle test finds the loop's length without memory per cluster; the walk again from the
    // start with one pointer that far ahead meets the other at the first repeated cluster. A loop
    // that begins within the first most clusters is seen within 3 x most steps.
    uint64_t length = 1, power = 1, walked = 1;
    uint32_t mark = first, at = volume.NextHeapCluster(first);
    for (;;) {
        if (at == exfat::kNoCluster || walked > 3 * most + 2) return std::min(walked, most);
        if (at == mark) break;
        if (length == power) {
            mark = at;
            power <<= 1;
            length = 0;
        }
        at = volume.NextHeapCluster(at);
        ++length;
        ++walked;
    }
    uint32_t slow = first, fast = first;
    for (uint64_t k = 0; k < length; ++k) fast = volume.NextHeapCluster(fast);
    uint64_t before = 0;  // clusters before the loop begins
    while (slow != fast) {
        slow = volume.NextHeapCluster(slow);
        fast = volume.NextHeapCluster(fast);
        ++before;
    }
    return std::min(before + length, most);
}

CExFatFileNode* MakeExFatFileNode(const ExFatEntryRecord& record, ExFatVolume& volume) {
    CExFatFileNode* node = new (std::nothrow) CExFatFileNode;
    if (!node) return nullptr;
    node->firstCluster_ = record.firstCluster;
    node->noFatChain_ = record.noFatChain != 0;
    node->attributes_ |= record.attributes;
    node->creationTime_ = ExFatTimestampToFileTime(record.createTimestamp);
    node->modificationTime_ = ExFatTimestampToFileTime(record.modifyTimestamp);
    node->accessTime_ = ExFatTimestampToFileTime(record.accessTimestamp);
    node->SetName(record.name);
    node->size_ = ExFatReadableLength(record);
    node->SetLocation(record.sector);
    if (!record.inUse) node->MarkDeleted();
    CDataRunList* runs = BuildExFatExtents(record, volume);
    node->SetDataRuns(runs);
    if (!record.IsDirectory() && node->size_ > 0) {
        const uint64_t clusterBytes = volume.clusterSize ? volume.clusterSize : 512;
        node->sizeCut_ = HeldClusters(runs) < (node->size_ + clusterBytes - 1) / clusterBytes;
    }
    return node;
}

CExFatFileNode* MakeExFatLostFolder(uint32_t firstCluster, const ExFatVolume& volume) {
    CExFatFileNode* node = new (std::nothrow) CExFatFileNode;
    if (!node) return nullptr;
    char name[16];
    std::snprintf(name, sizeof name, "DIR%u", firstCluster);
    node->SetName(name);
    node->attributes_ = exfat::kAttrDirectory;
    node->firstCluster_ = firstCluster;
    node->SetFirstLocation(volume.ClusterSector(firstCluster));
    node->SetDataRuns(CreateDataRunList());
    return node;
}

CExFatFileNode* MakeExFatHeldClusters(CDataRunList* runs, const ExFatVolume& volume) {
    CExFatFileNode* node = new (std::nothrow) CExFatFileNode;
    if (!node) {
        if (runs) runs->Release();
        return nullptr;
    }
    node->SetName("$InUse");
    node->attributes_ = exfat::kAttrDirectory;
    const DataRun* first = runs ? runs->First() : nullptr;
    if (first) node->SetFirstLocation(volume.ClusterSector(static_cast<uint32_t>(first->start + 2)));
    node->SetSecondLocation(~uint64_t{0});
    node->SetDataRuns(runs);
    return node;
}
