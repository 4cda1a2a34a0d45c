#include "filesystems/exfat/CExFatFileNode.h"

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

CDataRunList* BuildExFatExtents(const ExFatEntryRecord& record, ExFatVolume& volume) {
    CDataRunList* list = CreateDataRunList();
    if (!list) return list;
    const uint64_t clusterBytes = volume.clusterSize ? volume.clusterSize : 512;
    if (static_cast<int64_t>(record.dataLength) <= 0 || !volume.IsHeapCluster(record.firstCluster)) return list;
    const uint64_t clusters = (record.dataLength + clusterBytes - 1) / clusterBytes;
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
    // Follow the chain for as many clusters as the length needs. A chain that comes back on itself
    // is cut where that is seen (Brent's cycle test: no memory per cluster).
    uint32_t cluster = record.firstCluster, mark = cluster;
    uint64_t power = 1, sinceMark = 0;
    for (uint64_t taken = 0;;) {
        DataRun run(static_cast<int64_t>(cluster) - 2, 1);
        list->AppendRun(&run);
        if (++taken == clusters || !volume.IsHeapCluster(next) || next == mark) break;
        if (++sinceMark == power) {
            mark = next;
            power <<= 1;
            sinceMark = 0;
        }
        cluster = next;
        next = volume.fat.NextCluster(cluster);
    }
    return list;
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
    node->size_ = record.dataLength;
    node->SetLocation(record.sector);
    if (!record.inUse) node->MarkDeleted();
    CDataRunList* runs = BuildExFatExtents(record, volume);
    node->SetDataRuns(runs);
    if (!record.IsDirectory() && record.dataLength > 0) {
        const uint64_t clusterBytes = volume.clusterSize ? volume.clusterSize : 512;
        node->sizeCut_ = HeldClusters(runs) < (record.dataLength + clusterBytes - 1) / clusterBytes;
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
