#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "filesystems/ext/ExtInode.h"
#include "filesystems/ext/ExtMemory.h"

class CExt2DataRunList;
class CExt2FileSystem;

// Why the last AppendRuns ended before the blocks it was asked for (kind None when it did not, or
// when it ended at a hole of a map read without holes): at the file's logical block, where block
// was the number met there.
struct ExtMapStop {
    enum Kind { None, PastVolume, PastDevice, MappingPastVolume, MappingUnreadable, PastReach, TreeBroken, MoreThanHeld };
    Kind kind = None;
    uint64_t logical = 0;
    uint64_t block = 0;
};
// The stop in words, for a line that names the file ("" for None).
std::string DescribeMapStop(const ExtMapStop& stop, uint64_t volumeBlocks);

// One leaf extent: logical blocks [logical, logical + length) at volume blocks from start.
struct ExtExtent {
    uint64_t logical = 0;
    uint64_t start = 0;
    uint64_t length = 0;
    bool unwritten = false;  // allocated but never written: reads as zeros
};

// Maps a file's logical blocks to volume blocks, through the classic block map (12 direct pointers,
// single, double and triple indirect blocks, each level cached) or the extent tree, whose leaves are
// collected once. Read errors of mapping blocks are swallowed: what they would map maps to nothing
// (BlockOf gives 0, the runs end there).
class ExtBlockMap {
public:
    // Only logical blocks below limit are ever asked for.
    ExtBlockMap(const CExt2FileSystem& fs, const ExtInode& inode, uint64_t limit);
    // Without an inode yet: Reset gives it one; the buffers are kept from file to file.
    explicit ExtBlockMap(const CExt2FileSystem& fs);
    ExtBlockMap(const ExtBlockMap&) = delete;
    ExtBlockMap& operator=(const ExtBlockMap&) = delete;

    // The volume block of logical block index; 0 for a hole, an unwritten stretch or a number that
    // is not a block of the volume.
    uint64_t BlockOf(uint64_t index);
    // The first logical block in [index, limit) that maps to a block on the device; limit when none
    // does. Holes and stretches past the volume or the device are passed over whole, so the cost is
    // what the map holds, not the size an inode claims.
    uint64_t NextReadable(uint64_t index, uint64_t limit);
    // Appends the runs of logical blocks [0, count) to list; unwritten stretches become holes. With
    // holes, blocks the map leaves out become holes too, up to count; without, the runs end at the
    // first of them. Either way they end at a number that is no block of the volume or lies past
    // the device's end, at a mapping block that cannot be read, after the last extent of a tree
    // that could not be read whole, and where the map has named more blocks than the device holds
    // (a file holds each block once). keepGoing is asked after every run (every 1024 blocks of a
    // classic map); false when it answered no.
    bool AppendRuns(CExt2DataRunList* list, uint64_t count, bool holes, const std::function<bool()>& keepGoing);

    void Reset(const ExtInode& inode, uint64_t limit);
    const ExtVector<ExtExtent>& Extents() const { return extents_; }
    const ExtMapStop& Stop() const { return stop_; }
    bool UsesExtents() const { return inode_.UsesExtents(); }
    // A block that maps others (an indirect block, an extent tree node below the inode's root) and
    // the first logical block of the file reached through it.
    struct Mapping {
        uint64_t block;
        uint64_t logical;
    };
    // The mapping blocks read so far for this inode, in the order they were read.
    const ExtVector<Mapping>& MappingBlocks() const { return mapping_; }
    // False when an extent tree node below the root fails its checksum (volumes that keep them).
    bool TreeChecksumsHold() const { return treeChecksumsHold_; }

private:
    void CollectExtents(const uint8_t* node, size_t bytes, int depth);
    uint64_t ClassicBlockOf(uint64_t index);
    // The number the classic map holds for logical block index: 0 for a hole, with the blocks from
    // index on that the same missing pointer leaves out in *span (a whole indirect block's reach
    // when that block is missing); a number past the volume when the way there is broken (*span
    // then the rest of the broken mapping block's reach).
    uint64_t ClassicPointer(uint64_t index, uint64_t* span);
    uint64_t LevelEntry(int level, uint64_t block, uint64_t entry, uint64_t logical);
    bool AppendClassicRuns(CExt2DataRunList* list, uint64_t count, bool holes, const std::function<bool()>& keepGoing);
    bool AppendExtentRuns(CExt2DataRunList* list, uint64_t count, bool holes, const std::function<bool()>& keepGoing);

    struct Level {
        ExtBuffer buffer;
        uint64_t block = 0;
        bool loaded = false;
        bool lost = false;  // the block could not be read
    };

    const CExt2FileSystem& fs_;
    ExtInode inode_;
    uint64_t limit_ = 0;
    ExtVector<ExtExtent> extents_;
    ExtSet<uint64_t> visited_;  // extent tree blocks read
    ExtVector<Mapping> mapping_;
    bool treeChecksumsHold_ = true;
    bool treeBroken_ = false;   // collection stopped at a bad node; later blocks map to nothing
    uint64_t nodeBudget_ = 0;
    ExtMapStop stop_;
    Level levels_[3];
};
