#pragma once
#include <string>
#include <vector>

#include "media_recovery/IArchiveDataRecovery.h"
#include "platform/CriticalSection.h"
#include "platform/PageMemory.h"

class CFileNode;
class CFileReader;
class CSearchedPartitionInfo;

// The per-item reader and writer of found files, opened on the searcher that found them.
class CDataRecovery : public IArchiveDataRecovery {
public:
    static constexpr uint32_t kCopyBytes = 0x400000;
    static constexpr int kMaxSubstituteNames = 10000;

    CDataRecovery() = default;
    ~CDataRecovery() override;

    void Release() override { delete this; }
    // Takes the searcher's volumes (largest weight first). Fails with 5 (null argument), 0xd01 (no
    // volume) or 9 (no memory).
    ResultCode Open(IFileSystemSearchController* searcher, IStorageDevice* device) override;
    IArchiveFileReader* OpenFile(IFileNode* node) override;
    // Fails with 5 (no destination or sink), 0xf (nothing could be created, or a write failed),
    // 0xd02 (no file open and acceptNoData 0), 9, or 0x405 when the file was written only as far
    // as its extents, or the sectors the device could give, reach.
    ResultCode RecoverTo(const char* destination, IProgress* sink, int acceptNoData) override;

    size_t PartitionCount() const { return partitions_.size(); }
    const CSearchedPartitionInfo* Partition(size_t i) const { return partitions_[i]; }
    // The volume a node is read from: by index, else by position, else the first.
    const CSearchedPartitionInfo* FindPartition(CFileNode* node) const;

private:
    void ClearPartitions();

    platform::PageBuffer copyBuffer_;
    CFileReader* current_ = nullptr;
    std::vector<CSearchedPartitionInfo*> partitions_;
    IStorageDevice* device_ = nullptr;
    CRITICAL_SECTION lock_;
};

// Whether the node's size per cluster fits the partition's sectors per cluster.
bool ClusterSizeFits(const CSearchedPartitionInfo& partition, CFileNode* node);
// The first free substitute name in folder: "rename_file<ext>", then "rename_file_0001<ext>", ...
// (ext gets a leading '.' unless it has one). Empty when all are taken or folder is null.
std::string MakeUniqueFileName(const char* folder, const std::string& extension, int first = 0);
