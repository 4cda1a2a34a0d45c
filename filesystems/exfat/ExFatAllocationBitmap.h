#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class CDataRunList;
class IStorageDevice;
struct ExFatVolume;

// A volume's allocation bitmap (the root folder's 0x81 entry names its first cluster and length):
// bit n is set while cluster n + 2 belongs to a live file or folder, or to the volume's own tables.
// It is read once, as one stretch from its first cluster (it is laid down with the volume and never
// moves), without the FAT: it stands in where no FAT can be trusted.
class ExFatAllocationBitmap {
public:
    // Larger bitmaps are not read (4 G clusters at most make 512 MiB).
    static constexpr uint64_t kMostBytes = 64ull << 20;

    // False when the bitmap does not lie whole in the heap and on the device, is shorter than the
    // volume's cluster count needs, is larger than kMostBytes, or cannot be read.
    bool Read(const ExFatVolume& volume, IStorageDevice* device, uint32_t firstCluster, uint64_t length);
    bool IsRead() const { return !bits_.empty(); }
    // Whether it marks cluster in use (false for a cluster it does not cover).
    bool Marks(uint64_t cluster) const {
        const uint64_t n = cluster - 2;
        return cluster >= 2 && n < clusters_ && (bits_[static_cast<size_t>(n >> 3)] >> (n & 7)) & 1;
    }
    // Whether it marks every cluster of [first, first + count).
    bool MarksAll(uint64_t first, uint64_t count) const;
    // Whether it marks no cluster of [first, first + count).
    bool MarksNone(uint64_t first, uint64_t count) const;
    // The clusters it marks in use as runs counted from cluster 2; null when memory runs out.
    CDataRunList* RunsInUse() const;

private:
    std::vector<uint8_t> bits_;
    uint64_t clusters_ = 0;  // the clusters it covers
};
