#pragma once
#include <cstdint>
#include <memory>

#include "media_recovery/file_model/CFileNode.h"
#include "media_recovery/file_model/IFileProperties.h"

struct ExFatEntryRecord;
struct ExFatVolume;
class CDataRunList;

// A file or folder found on an exFAT volume, live or deleted. It holds its values itself; its
// extents are clusters counted from cluster 2. The searches link it to the folder that holds it;
// its second location is that folder's first sector.
class CExFatFileNode : public CFileNode {
public:
    static constexpr uint32_t kDeletedBit = 0x80000000u;

    CExFatFileNode() = default;
    ~CExFatFileNode() override = default;

    const char* GetName() override { return name_ ? name_.get() : ""; }
    uint64_t GetSize() override { return size_; }
    uint16_t GetAttributes() override { return static_cast<uint16_t>(attributes_); }
    uint64_t* GetCreationTime(uint64_t* out) override { return Put(out, creationTime_); }
    uint64_t* GetModificationTime(uint64_t* out) override { return Put(out, modificationTime_); }
    uint64_t* GetAccessTime(uint64_t* out) override { return Put(out, accessTime_); }
    bool IsDirectory() override { return (attributes_ & 0x10) != 0; }
    bool IsDeleted() override { return (attributes_ & kDeletedBit) != 0; }
    IFileNode* Clone() override;
    void MarkDeleted() override { attributes_ |= kDeletedBit; }
    void TrimName() override;

    // A heap copy of name; null leaves the name as it is.
    void SetName(const char* name);
    // The record's FirstCluster; 0xFFFFFFFF when unknown. A search walks a folder from here.
    uint32_t FirstCluster() const { return firstCluster_; }
    // The record's NoFatChain flag: the data (or a folder's entries) lie in one stretch.
    bool NoFatChain() const { return noFatChain_; }
    // FILE_FLAG_DELETED, and FILE_FLAG_SIZE_CUT when the extents hold less than the size says (a
    // chain that ends early, no FAT to follow it, the heap's end); the size stays the entry's.
    uint8_t GetFlags() const;
    bool IsSizeCut() override { return (GetFlags() & FILE_FLAG_SIZE_CUT) != 0; }
    // Keeps the first clusters of its extents (in file order), and is cut.
    void KeepOnly(uint64_t clusters);

private:
    friend CExFatFileNode* MakeExFatFileNode(const ExFatEntryRecord& record, ExFatVolume& volume);
    friend CExFatFileNode* MakeExFatLostFolder(uint32_t firstCluster, const ExFatVolume& volume);
    friend CExFatFileNode* MakeExFatHeldClusters(CDataRunList* runs, const ExFatVolume& volume);
    static uint64_t* Put(uint64_t* out, uint64_t value) {
        if (out) *out = value;
        return out;
    }

    std::unique_ptr<char[]> name_;
    uint64_t size_ = 0;
    uint32_t attributes_ = 0;  // bits 0-15 FileAttributes, bit 31 deleted
    uint64_t creationTime_ = 0;
    uint64_t modificationTime_ = 0;
    uint64_t accessTime_ = 0;
    uint32_t firstCluster_ = 0xFFFFFFFF;
    bool noFatChain_ = false;
    bool sizeCut_ = false;
};

// A node from a finished entry set of the volume: name, size, attributes, times, the entry's sector
// as its locator location, deleted when the set is not in use, and its extents. A file's size is the
// part of its length that was written (ExFatReadableLength). Null when memory runs out.
CExFatFileNode* MakeExFatFileNode(const ExFatEntryRecord& record, ExFatVolume& volume);
// A folder whose own entry is gone, standing in for it: "DIR" and its first cluster, in decimal.
CExFatFileNode* MakeExFatLostFolder(uint32_t firstCluster, const ExFatVolume& volume);
// A live folder that stands for no entry: it holds the clusters of runs (counted from cluster 2),
// which the volume's live files and folders hold past what their entries give, so that no deleted
// entry is taken to hold them. Its name is "$InUse". Takes runs; null when memory runs out.
CExFatFileNode* MakeExFatHeldClusters(CDataRunList* runs, const ExFatVolume& volume);
// The extents of a record's data (a folder's: its entries) in clusters from cluster 2, empty for
// one without data; null only when memory runs out. A NoFatChain extent is one run, a chain is followed through
// the FAT up to the data length. A deleted chained file whose first FAT entry was freed is taken as
// contiguous. Runs never leave the heap.
CDataRunList* BuildExFatExtents(const ExFatEntryRecord& record, ExFatVolume& volume);
// What of a record's data is there to read: a folder's DataLength; a file's DataLength, or its
// ValidDataLength when that is smaller (the bytes past it were never written to it). Two lengths that
// disagree tell of damage as well: the smaller is the one that holds none of another file's bytes.
uint64_t ExFatReadableLength(const ExFatEntryRecord& record);
// The clusters of the chain from first, at most most of them: up to its end, and short of the first
// cluster it would take twice when it loops.
uint64_t ExFatChainClusters(ExFatVolume& volume, uint32_t first, uint64_t most);
