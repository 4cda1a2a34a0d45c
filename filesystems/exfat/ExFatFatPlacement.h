#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class IStorageDevice;
struct ExFatEntryRecord;
struct ExFatVolume;

// Where a volume's boot sector does not say where its FAT lies (it is gone, or the FAT's first
// sector was not seen there), the FAT is looked for among the sectors at which the whole-device
// pass met a FAT's start (the media and end-of-chain entries). A start qualifies when it lies before
// the heap at a distance the volume allows: far enough for an entry of every cluster its files
// name, no farther than the FAT of every cluster the volume can hold and the alignment after it.
// Of those, the reader is opened on the one whose chains every one of the volume's live chained
// files agrees with (each chain holds just the clusters its length needs, then ends). A table that
// any of them disagrees with is not trusted, nor are two that agree alike but hold different
// entries (an older copy beside the one in use): a file's chain read through the wrong one would
// be another file's clusters. False, and the reader closed, when no table can be trusted.
class ExFatFatPlacement {
public:
    // The most that alignment leaves between a FAT's end and the heap.
    static constexpr uint64_t kMostAlignmentBytes = 32ull << 20;
    static constexpr size_t kMostStartsTried = 16;
    static constexpr size_t kMostFilesChecked = 256;
    static constexpr uint64_t kMostChainSteps = 4096;
    static constexpr uint64_t kCompareBytes = 1 << 20;

    ExFatFatPlacement(ExFatVolume& volume, IStorageDevice* device) : volume_(volume), device_(device) {}

    bool Place(const std::vector<uint64_t>& fatStarts, const std::vector<const ExFatEntryRecord*>& records);
    uint64_t PlacedAt() const { return placedAt_; }

private:
    struct Agreement {
        size_t agree = 0, disagree = 0;
        bool Sound() const { return agree > 0 && disagree == 0; }
    };
    Agreement Check(const std::vector<const ExFatEntryRecord*>& files);
    bool ChainFits(const ExFatEntryRecord& file);
    // Whether the tables at sectors a < b hold the same bytes over sectors sectors.
    bool SameEntries(uint64_t a, uint64_t b, uint64_t sectors);

    ExFatVolume& volume_;
    IStorageDevice* device_;
    uint64_t placedAt_ = 0;
};
