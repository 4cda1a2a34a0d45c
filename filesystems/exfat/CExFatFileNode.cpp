#include "filesystems/exfat/CExFatFileNode.h"

#include <cstring>
#include <new>
#include <string>

#include "filesystems/exfat/ExFatDirectoryEntry.h"
#include "filesystems/exfat/ExFatEntryRecord.h"
#include "filesystems/exfat/ExFatVolume.h"
#include "media_recovery/file_model/CDataRunList.h"

namespace {

// Appends count clusters from first on, cut at the heap's end.
void AppendContiguous(CDataRunList* list, const ExFatVolume& volume, uint32_t first, uint64_t count) {
    const uint64_t available = volume.ClusterLimit() - first;
    if (count > available) count = available;
    if (count == 0) return;
    DataRun run(static_cast<int64_t>(first) - 2, count);
    list->AppendRun(&run);
}

}  // namespace

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
    if (IsDeleted()) copy->MarkDeleted();
    if (GetDataRuns()) copy->SetDataRuns(GetDataRuns()->Clone());
    SetNodePartitionIndex(copy, GetPartitionIndex());
    return copy;
}

CDataRunList* BuildExFatExtents(const ExFatEntryRecord& record, ExFatVolume& volume) {
    CDataRunList* list = CreateDataRunList();
    if (!list || record.IsDirectory()) return list;
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
    node->SetDataRuns(BuildExFatExtents(record, volume));
    return node;
}
