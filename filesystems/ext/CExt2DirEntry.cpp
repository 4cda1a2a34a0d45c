#include "filesystems/ext/CExt2DirEntry.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "filesystems/ext/CExt2FileSystem.h"
#include "filesystems/ext/ExtBlockOwners.h"
#include "filesystems/ext/ExtChecksums.h"
#include "filesystems/ext/ExtErrors.h"
#include "sqlite_recovery/framework/Logger.h"

using namespace ext;

CExt2DirEntry::CExt2DirEntry(const CExt2FileSystem& fs, const ExtInode& directory, ExtBlockOwners* owners)
    : fs_(fs),
      folder_(directory.number),
      generation_(LoadLE32(directory.raw + IN_GENERATION)),
      indexed_(LoadLE32(directory.raw + IN_FLAGS) & kInodeFlagIndex),
      dataSize_(directory.DataSize()),
      // Its blocks are the volume's, each once: a size that claims more is damage.
      blockCount_(std::min<uint64_t>((dataSize_ + fs.BlockSize() - 1) / fs.BlockSize(), fs.BlockCount())),
      map_(fs, directory, blockCount_),
      owners_(owners) {
    // What lies past them is said as blocks the map leaves out.
    dataSize_ = std::min<uint64_t>(dataSize_, blockCount_ * fs.BlockSize());
    if (dataSize_ == 0 || !LoadFrom(0)) {
        end_ = true;
        return;
    }
    if (!CurrentIsWhole()) SkipToNextBlock();
}

void CExt2DirEntry::NoteDamage(const std::string& what) {
    if (damage_.empty()) damage_ = what;
    ++damaged_;
}

bool CExt2DirEntry::LoadBlock(uint64_t next) {
    const uint64_t block = map_.BlockOf(next);
    std::string lost;
    const size_t bs = fs_.BlockSize();
    uint8_t* fresh = scratch_.Reserve(bs);
    // Each block read is a block of the volume, and a folder holds each at most once: a map that
    // leads to more than the volume holds is not read on.
    if (block != 0 && ++tried_ > fs_.ReadableBlocks()) {
        if (!Lost(next))
            NoteDamage("its map names more blocks than the volume's " + std::to_string(fs_.ReadableBlocks()) +
                       " from its block " + std::to_string(next) + " on");
        lostFrom_ = next;
        lostUntil_ = blockCount_;
        return false;
    }
    if (block == 0) {
        lost = "its block " + std::to_string(next) + " names no block of the volume";
    } else {
        try {
            fs_.ReadBlocks(fresh, block, 1);
        } catch (const CExt2ReadSectorError&) {
            lost = "its block " + std::to_string(next) + " (volume block " + std::to_string(block) + ") cannot be read";
        } catch (const std::range_error&) {
            lost = "its block " + std::to_string(next) + " (volume block " + std::to_string(block) +
                   ") lies past the end of the volume";
        }
    }
    if (owners_) {
        for (; mappingClaimed_ < map_.MappingBlocks().size(); ++mappingClaimed_) {
            ExtBlockOwners::Claim c;
            c.start = map_.MappingBlocks()[mappingClaimed_].block;
            c.length = 1;
            c.logical = map_.MappingBlocks()[mappingClaimed_].logical;
            c.inode = folder_;
            c.kind = ExtBlockOwners::kMapping;
            c.extents = map_.UsesExtents();
            owners_->AddClaim(c);
        }
    }
    // A folder's first block begins with its own "." entry: any other is not this folder's.
    if (lost.empty() && next == 0 &&
        (LoadLE32(fresh) != folder_ || fresh[6] != 1 || fresh[kDirEntryHeaderBytes] != '.' || LoadLE16(fresh + 4) < 12))
        lost = "its block 0 (volume block " + std::to_string(block) + ") does not begin with its own \".\" entry";
    // The index blocks of a large folder (its first block, and blocks of one empty record) keep
    // their checksum elsewhere; what lies at their end is no tail.
    const bool index = (indexed_ && next == 0) || (LoadLE32(fresh) == 0 && LoadLE16(fresh + 4) + size_t{12} >= bs);
    const bool doubtful =
        lost.empty() && !index && !ExtFolderBlockChecksumHolds(fs_.SuperBlock(), folder_, generation_, fresh, bs);
    if (doubtful) {
        if (doubt_.empty())
            doubt_ = "its block " + std::to_string(next) + " (volume block " + std::to_string(block) + ") fails its checksum";
        ++doubted_;
    }
    if (lost.empty() && owners_) {
        ExtBlockOwners::Claim c;
        c.start = block;
        c.length = 1;
        c.logical = next;
        c.inode = folder_;
        c.kind = ExtBlockOwners::kFolder;
        owners_->AddClaim(c);
    }
    if (!lost.empty()) {
        // The window is left as it was: the entries before its end are still read. The blocks
        // after it that are not on the device go with it, passed over whole.
        const uint64_t until = map_.NextReadable(next + 1, blockCount_);
        if (until > next + 1)
            lost += " (nor do its blocks " + std::to_string(next + 1) + " to " + std::to_string(until - 1) +
                    " name one that can be read)";
        NoteDamage(lost);
        lostFrom_ = next;
        lostUntil_ = until;
        return false;
    }
    uint8_t* window = window_.Reserve(2 * bs, true);
    // The window holds the block before this one, then this one; after a gap, this one alone.
    const bool follows = haveWindow_ && next == index_ + 1;
    if (follows && !single_) {
        std::memmove(window, window + bs, bs);
        windowDoubt_[0] = windowDoubt_[1];
    }
    std::memcpy(follows ? window + bs : window, fresh, bs);
    windowDoubt_[follows ? 1 : 0] = doubtful;
    windowStart_ = follows ? (next - 1) * bs : next * bs;
    single_ = !follows;
    haveWindow_ = true;
    index_ = next;
    loadedEnd_ = std::min<uint64_t>((next + 1) * bs, dataSize_);
    return true;
}

bool CExt2DirEntry::LoadFrom(uint64_t next) {
    // A block that cannot be had costs its own entries: the next one is tried.
    while (next < blockCount_) {
        if (Lost(next)) {
            next = lostUntil_;
            continue;
        }
        if (LoadBlock(next)) {
            position_ = std::max<uint64_t>(position_, next * fs_.BlockSize());
            return true;
        }
        next = std::max(next + 1, lostUntil_);
    }
    return false;
}

CExt2DirEntry::Entry CExt2DirEntry::Current() const {
    if (!haveWindow_ || end_) throw CBadDir();
    const uint8_t* p = window_.Data() + (position_ - windowStart_);
    Entry e;
    e.inode = LoadLE32(p);
    e.recordLength = LoadLE16(p + 4);
    e.nameLength = p[6];
    e.fileType = p[7];
    e.name = p + kDirEntryHeaderBytes;
    return e;
}

bool CExt2DirEntry::CurrentDoubted() const {
    return haveWindow_ && !end_ && windowDoubt_[(position_ - windowStart_) / fs_.BlockSize() ? 1 : 0];
}

bool CExt2DirEntry::CurrentIsWhole() const {
    if (position_ < windowStart_ || position_ + kDirEntryHeaderBytes > loadedEnd_) return false;
    const uint8_t* p = window_.Data() + (position_ - windowStart_);
    const uint32_t length = LoadLE16(p + 4);
    const uint32_t least = (kDirEntryHeaderBytes + p[6] + 3) & ~3u;
    return length % 4 == 0 && length >= least && length <= fs_.BlockSize() && position_ + length <= loadedEnd_;
}

bool CExt2DirEntry::LooksLikeEntry(uint64_t at) const {
    if (at < windowStart_ || at + kDirEntryHeaderBytes > loadedEnd_) return false;
    const uint8_t* p = window_.Data() + (at - windowStart_);
    const uint32_t ino = LoadLE32(p);
    const uint32_t length = LoadLE16(p + 4);
    const uint8_t nameLength = p[6];
    const uint64_t blockEnd = (at / fs_.BlockSize() + 1) * fs_.BlockSize();
    if (ino == 0 || ino > fs_.SuperBlock().inodesCount || nameLength == 0 || p[7] == 0 || p[7] > 7) return false;
    if (length % 4 != 0 || length < ((kDirEntryHeaderBytes + nameLength + 3) & ~3u) || at + length > blockEnd ||
        at + length > loadedEnd_)
        return false;
    for (uint8_t i = 0; i < nameLength; ++i)
        if (p[kDirEntryHeaderBytes + i] == 0 || p[kDirEntryHeaderBytes + i] == '/') return false;
    return true;
}

void CExt2DirEntry::SkipToNextBlock() {
    // Records never cross a block's end: a record that is not well formed costs itself, and the
    // records after it in its block are found again by their look; where none is, the block's rest.
    const uint64_t bs = fs_.BlockSize();
    for (;;) {
        const uint64_t block = position_ / bs;
        const uint64_t bad = position_;
        uint64_t at = (position_ + 4) & ~uint64_t{3};
        while (at < (block + 1) * bs && !LooksLikeEntry(at)) at += 4;
        if (at < (block + 1) * bs && at < dataSize_) {
            NoteDamage("its entry at byte " + std::to_string(bad) + " is not well formed (" + std::to_string(at - bad) +
                       " bytes passed over)");
            position_ = at;
            return;
        }
        NoteDamage("its entry at byte " + std::to_string(bad) + " is not well formed (the rest of its block " +
                   std::to_string(block) + " is left out)");
        position_ = (block + 1) * bs;
        if (position_ >= dataSize_) {
            end_ = true;
            return;
        }
        if (position_ + kDirEntryHeaderBytes > loadedEnd_ && !LoadFrom(block + 1)) {
            end_ = true;
            return;
        }
        if (position_ >= dataSize_) {
            end_ = true;
            return;
        }
        // The next block was loaded whole: a record there that runs past it is itself not well formed.
        if (CurrentIsWhole()) return;
    }
}

void CExt2DirEntry::Advance() {
    if (end_) return;
    position_ += LoadLE16(window_.Data() + (position_ - windowStart_) + 4);
    if (position_ >= dataSize_) {
        end_ = true;
        return;
    }
    // An entry is at most 264 bytes and one record at most a block: one more block is enough. When
    // it cannot be had, the entries before the window's end are still read.
    if (position_ + kLongestDirEntry > loadedEnd_ && loadedEnd_ < dataSize_ && index_ + 1 < blockCount_ &&
        !Lost(index_ + 1))
        LoadBlock(index_ + 1);
    if (position_ >= loadedEnd_) {
        // Into a block that could not be had: on from the first one after it that can.
        if (!LoadFrom(position_ / fs_.BlockSize() + 1)) {
            end_ = true;
            return;
        }
    }
    if (!CurrentIsWhole()) SkipToNextBlock();
}

std::string CExt2DirEntry::Name() const {
    Entry e = Current();
    return ExtEntryName(e.name, e.nameLength);
}

namespace {
// Length of the well-formed UTF-8 sequence at p (Unicode table 3-7), 0 when ill-formed, -1 when
// cut off by the end.
int SequenceLength(const uint8_t* p, size_t left) {
    const uint8_t b = p[0];
    if (b < 0x80) return 1;
    int n;
    uint8_t low = 0x80, high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) n = 2;
    else if (b == 0xE0) n = 3, low = 0xA0;
    else if (b == 0xED) n = 3, high = 0x9F;
    else if (b >= 0xE1 && b <= 0xEF) n = 3;
    else if (b == 0xF0) n = 4, low = 0x90;
    else if (b == 0xF4) n = 4, high = 0x8F;
    else if (b >= 0xF1 && b <= 0xF3) n = 4;
    else return 0;
    for (int i = 1; i < n; ++i) {
        if (static_cast<size_t>(i) >= left) return -1;
        const uint8_t c = p[i];
        if (i == 1 ? (c < low || c > high) : (c < 0x80 || c > 0xBF)) return 0;
    }
    return n;
}
}  // namespace

size_t ExtEntryNameLength(const uint8_t* bytes, size_t size) {
    if (size > 255) size = 255;
    // The common case, ASCII, eight bytes at a time.
    size_t at = 0;
    for (uint64_t word; at + 8 <= size; at += 8) {
        std::memcpy(&word, bytes + at, 8);
        if (word & UINT64_C(0x8080808080808080)) break;
    }
    while (at < size && bytes[at] < 0x80) ++at;
    while (at < size) {
        int n = SequenceLength(bytes + at, size - at);
        if (n == 0) return size;
        if (n < 0) break;
        at += static_cast<size_t>(n);
    }
    return at == 0 ? size : at;
}

std::string ExtEntryName(const uint8_t* bytes, size_t size) {
    return std::string(reinterpret_cast<const char*>(bytes), ExtEntryNameLength(bytes, size));
}
