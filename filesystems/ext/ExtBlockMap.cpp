#include "filesystems/ext/ExtBlockMap.h"

#include <algorithm>
#include <stdexcept>

#include "filesystems/ext/CExt2FileSystem.h"
#include "filesystems/ext/ExtChecksums.h"
#include "filesystems/ext/ExtErrors.h"
#include "media_recovery/file_model/CDataRunList.h"

using namespace ext;

namespace {
constexpr uint64_t kClassicCheckEvery = 1024;
constexpr uint64_t kNoBlock = ~uint64_t{0};  // never a block of a volume

// Adds a run; consecutive holes become one.
void AddRun(CExt2DataRunList* list, int64_t start, uint64_t length) {
    DataRun* last = list->Last();
    if (start < 0 && last && last->IsSparse()) {
        last->length += length;
        return;
    }
    list->AddBlockRun(DataRun(start, length));
}
}  // namespace

std::string DescribeMapStop(const ExtMapStop& stop, uint64_t volumeBlocks) {
    const std::string at = " (block " + std::to_string(stop.logical) + " of the file)";
    const std::string block = std::to_string(stop.block);
    switch (stop.kind) {
        case ExtMapStop::None: return std::string();
        case ExtMapStop::PastVolume:
            return "its block pointer " + block + at + " lies past the volume's " + std::to_string(volumeBlocks) +
                   " blocks";
        case ExtMapStop::PastDevice: return "its block " + block + at + " lies past the end of the image";
        case ExtMapStop::MappingPastVolume:
            return "the mapping block " + block + " that leads to its block " + std::to_string(stop.logical) +
                   " lies past the volume's " + std::to_string(volumeBlocks) + " blocks";
        case ExtMapStop::MappingUnreadable:
            return "the mapping block " + block + " that leads to its block " + std::to_string(stop.logical) +
                   " cannot be read";
        case ExtMapStop::PastReach: return "its size" + at + " is more than a block map can reach";
        case ExtMapStop::MoreThanHeld:
            return "its map names more blocks than the volume holds from its block " + std::to_string(stop.logical) +
                   " on";
        case ExtMapStop::TreeBroken:
            return "its extent tree is not well formed" + std::string(stop.logical ? " after its block " + std::to_string(stop.logical) : "");
    }
    return std::string();
}

ExtBlockMap::ExtBlockMap(const CExt2FileSystem& fs) : fs_(fs) {}

ExtBlockMap::ExtBlockMap(const CExt2FileSystem& fs, const ExtInode& inode, uint64_t limit) : fs_(fs) {
    Reset(inode, limit);
}

void ExtBlockMap::Reset(const ExtInode& inode, uint64_t limit) {
    inode_ = inode;
    limit_ = limit;
    extents_.clear();
    visited_.clear();
    mapping_.clear();
    treeChecksumsHold_ = true;
    treeBroken_ = false;
    stop_ = ExtMapStop();
    nodeBudget_ = limit + kExtentMaxDepth + 1;
    for (Level& level : levels_) level.loaded = false;
    // The root node lies in the inode.
    if (inode_.UsesExtents()) CollectExtents(inode_.BlockArea(), kInodeBlockBytes, -1);
}

void ExtBlockMap::CollectExtents(const uint8_t* node, size_t bytes, int depth) {
    if (treeBroken_) return;
    const uint16_t entries = LoadLE16(node + EH_ENTRIES);
    const uint16_t max = LoadLE16(node + EH_MAX);
    const uint16_t nodeDepth = LoadLE16(node + EH_DEPTH);
    const bool fits = entries <= max && max <= (bytes - kExtentHeaderBytes) / kExtentEntryBytes;
    if (LoadLE16(node + EH_MAGIC) != kExtentMagic || !fits || nodeDepth > kExtentMaxDepth ||
        (depth >= 0 && nodeDepth != depth)) {
        treeBroken_ = true;
        return;
    }
    for (uint16_t i = 0; i < entries && !treeBroken_; ++i) {
        const uint8_t* e = node + kExtentHeaderBytes + i * kExtentEntryBytes;
        const uint64_t logical = LoadLE32(e + EX_LOGICAL);
        if (logical >= limit_) return;
        // Entries run in logical order and do not overlap.
        const uint64_t done = extents_.empty() ? 0 : extents_.back().logical + extents_.back().length;
        if (logical < done) {
            treeBroken_ = true;
            return;
        }
        if (nodeDepth == 0) {
            uint32_t length = LoadLE16(e + EX_LENGTH);
            ExtExtent x;
            x.unwritten = length > kExtentInitMaxLength;
            x.length = x.unwritten ? length - kExtentInitMaxLength : length;
            x.logical = logical;
            x.start = (static_cast<uint64_t>(LoadLE16(e + EX_START_HI)) << 32) | LoadLE32(e + EX_START_LO);
            if (x.length) extents_.push_back(x);
            continue;
        }
        const uint64_t child = (static_cast<uint64_t>(LoadLE16(e + EX_CHILD_HI)) << 32) | LoadLE32(e + EX_CHILD_LO);
        if (!fs_.IsValidBlock(child) || !visited_.insert(child).second || nodeBudget_ == 0) {
            treeBroken_ = true;
            return;
        }
        --nodeBudget_;
        // The child is read into a buffer of its own level, so this node's bytes stay intact.
        ExtBuffer buffer;
        uint8_t* data = buffer.Reserve(fs_.BlockSize());
        try {
            fs_.ReadBlocks(data, child, 1);
        } catch (const CExt2ReadSectorError&) {
            treeBroken_ = true;
            return;
        } catch (const std::range_error&) {
            treeBroken_ = true;
            return;
        }
        mapping_.push_back({child, logical});
        if (!ExtExtentBlockChecksumHolds(fs_.SuperBlock(), inode_.number, LoadLE32(inode_.raw + IN_GENERATION), data,
                                         fs_.BlockSize())) treeChecksumsHold_ = false;
        CollectExtents(data, fs_.BlockSize(), nodeDepth - 1);
    }
}

uint64_t ExtBlockMap::BlockOf(uint64_t index) {
    if (!inode_.UsesExtents()) return ClassicBlockOf(index);
    auto it = std::upper_bound(extents_.begin(), extents_.end(), index,
                               [](uint64_t i, const ExtExtent& x) { return i < x.logical; });
    if (it == extents_.begin()) return 0;
    const ExtExtent& x = *(it - 1);
    if (index >= x.logical + x.length || x.unwritten) return 0;
    const uint64_t block = x.start + (index - x.logical);
    return fs_.IsValidBlock(block) ? block : 0;
}

uint64_t ExtBlockMap::NextReadable(uint64_t i, uint64_t limit) {
    if (!inode_.UsesExtents()) {
        while (i < limit) {
            uint64_t span = 1;
            const uint64_t block = ClassicPointer(i, &span);
            if (block != 0 && fs_.IsReadableBlock(block)) return i;
            i += std::max<uint64_t>(span, 1);
            if (i < span) return limit;  // wrapped: past what the map can reach
        }
        return limit;
    }
    auto it = std::upper_bound(extents_.begin(), extents_.end(), i,
                               [](uint64_t at, const ExtExtent& x) { return at < x.logical; });
    if (it != extents_.begin()) --it;
    for (; it != extents_.end() && it->logical < limit; ++it) {
        if (it->unwritten || it->logical + it->length <= i) continue;
        const uint64_t at = std::max(i, it->logical);
        // An extent's blocks rise: when its first wanted one is not on the device, none after is.
        if (fs_.IsReadableBlock(it->start + (at - it->logical))) return at;
    }
    return limit;
}

uint64_t ExtBlockMap::LevelEntry(int level, uint64_t block, uint64_t entry, uint64_t logical) {
    if (block == 0 || !fs_.IsValidBlock(block)) return 0;
    Level& l = levels_[level];
    uint8_t* data = l.buffer.Reserve(fs_.BlockSize());
    if (!l.loaded || l.block != block) {
        l.loaded = true;
        l.block = block;
        l.lost = false;
        mapping_.push_back({block, logical});
        try {
            fs_.ReadBlocks(data, block, 1);
        } catch (const CExt2ReadSectorError&) {
            l.lost = true;
        } catch (const std::range_error&) {
            l.lost = true;
        }
    }
    // What an unreadable mapping block maps is unknown, not a hole: the way there is broken.
    if (l.lost) return kNoBlock;
    return LoadLE32(data + entry * 4);
}

uint64_t ExtBlockMap::ClassicPointer(uint64_t i, uint64_t* span) {
    *span = 1;
    if (i < kDirectPointers) {
        const uint64_t pointer = inode_.BlockPointer(static_cast<size_t>(i));
        if (pointer == 0)
            while (i + *span < kDirectPointers && inode_.BlockPointer(static_cast<size_t>(i + *span)) == 0) ++*span;
        return pointer;
    }
    const uint64_t p = fs_.BlockSize() / 4;
    uint64_t j = i - kDirectPointers;
    // The single, double and triple indirect blocks reach p, p^2 and p^3 blocks.
    uint64_t reach = p;
    for (int top = 0; top < 3; ++top, reach *= p) {
        if (j >= reach) {
            j -= reach;
            continue;
        }
        uint64_t pointer = inode_.BlockPointer(kDirectPointers + top);
        uint64_t entry = 0;
        // Down one mapping block a level: levels_[0] holds the top one.
        for (int level = 0; level <= top; ++level) {
            if (pointer == 0) {
                *span = reach - j;
                return 0;
            }
            if (!fs_.IsValidBlock(pointer)) {
                stop_ = {ExtMapStop::MappingPastVolume, i, pointer};
                *span = reach - j;
                return kNoBlock;
            }
            const uint64_t mapping = pointer;
            reach /= p;  // what one entry of this block reaches
            entry = j / reach;
            pointer = LevelEntry(level, pointer, entry, i);
            if (pointer == kNoBlock) {
                stop_ = {ExtMapStop::MappingUnreadable, i, mapping};
                *span = reach * p - j;
                return kNoBlock;
            }
            j %= reach;
        }
        // The last block read maps data blocks: a hole there lasts as long as its zero entries.
        if (pointer == 0) {
            const uint8_t* leaf = levels_[top].buffer.Data();
            while (entry + *span < p && LoadLE32(leaf + (entry + *span) * 4) == 0) ++*span;
        }
        return pointer;
    }
    stop_ = {ExtMapStop::PastReach, i, 0};
    *span = UINT64_MAX - i;
    return kNoBlock;  // past what the map can reach
}

uint64_t ExtBlockMap::ClassicBlockOf(uint64_t i) {
    uint64_t span = 0;
    const uint64_t block = ClassicPointer(i, &span);
    return fs_.IsValidBlock(block) ? block : 0;
}

bool ExtBlockMap::AppendClassicRuns(CExt2DataRunList* list, uint64_t count, bool holes,
                                    const std::function<bool()>& keepGoing) {
    uint64_t sinceAsked = 0;
    uint64_t held = 0;  // data blocks so far
    for (uint64_t i = 0; i < count;) {
        uint64_t span = 1;
        const uint64_t block = ClassicPointer(i, &span);
        if (block == 0) {
            if (!holes) break;
            span = std::min(span, count - i);
            AddRun(list, kSparseRunStart, span);
        } else {
            // Past the volume's end, or past the device's: the file is cut there.
            if (!fs_.IsReadableBlock(block)) {
                if (block != kNoBlock)
                    stop_ = {fs_.IsValidBlock(block) ? ExtMapStop::PastDevice : ExtMapStop::PastVolume, i, block};
                break;
            }
            // A map of garbage can name the same blocks over and over, up to what it can reach.
            if (++held > fs_.ReadableBlocks()) {
                stop_ = {ExtMapStop::MoreThanHeld, i, block};
                break;
            }
            AddRun(list, static_cast<int64_t>(block), 1);
        }
        i += span;
        sinceAsked += span;
        if (sinceAsked >= kClassicCheckEvery) {
            sinceAsked = 0;
            if (!keepGoing()) return false;
        }
    }
    return keepGoing();
}

bool ExtBlockMap::AppendExtentRuns(CExt2DataRunList* list, uint64_t count, bool holes,
                                   const std::function<bool()>& keepGoing) {
    uint64_t next = 0;
    for (const ExtExtent& x : extents_) {
        if (next >= count) break;
        if (x.logical != next) {
            if (!holes) break;  // a hole in the map ends the walk
            const uint64_t gap = std::min(x.logical, count) - next;
            AddRun(list, kSparseRunStart, gap);
            next += gap;
            if (next >= count) break;
        }
        uint64_t length = std::min(x.length, count - next);
        if (x.unwritten) {
            AddRun(list, kSparseRunStart, length);
        } else {
            // A stretch past the volume's end, or past the device's, cuts the file there.
            if (!fs_.IsReadableBlock(x.start)) {
                stop_ = {fs_.IsValidBlock(x.start) ? ExtMapStop::PastDevice : ExtMapStop::PastVolume, next, x.start};
                return true;
            }
            const uint64_t valid = std::min(length, fs_.ReadableBlocks() - x.start);
            AddRun(list, static_cast<int64_t>(x.start), valid);
            if (valid < length) {
                const uint64_t block = x.start + valid;
                stop_ = {fs_.IsValidBlock(block) ? ExtMapStop::PastDevice : ExtMapStop::PastVolume, next + valid, block};
                return keepGoing();
            }
        }
        next += length;
        if (!keepGoing()) return false;
    }
    // The map's tail left out is a hole, unless the tree was not read whole.
    if (holes && !treeBroken_ && next < count) {
        AddRun(list, kSparseRunStart, count - next);
        return keepGoing();
    }
    if (treeBroken_ && next < count) stop_ = {ExtMapStop::TreeBroken, next, 0};
    return true;
}

bool ExtBlockMap::AppendRuns(CExt2DataRunList* list, uint64_t count, bool holes,
                             const std::function<bool()>& keepGoing) {
    if (inode_.UsesExtents()) return AppendExtentRuns(list, count, holes, keepGoing);
    return AppendClassicRuns(list, count, holes, keepGoing);
}
