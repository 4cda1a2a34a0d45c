#include "filesystems/ext/CExt2DirEntry.h"

#include <cstring>
#include <stdexcept>

#include "filesystems/ext/CExt2FileSystem.h"
#include "filesystems/ext/ExtErrors.h"
#include "sqlite_recovery/framework/Logger.h"

using namespace ext;

CExt2DirEntry::CExt2DirEntry(const CExt2FileSystem& fs, const ExtInode& directory)
    : fs_(fs),
      folder_(directory.number),
      dataSize_(directory.DataSize()),
      blockCount_((dataSize_ + fs.BlockSize() - 1) / fs.BlockSize()),
      map_(fs, directory, blockCount_) {
    if (dataSize_ == 0 || !LoadNext() || !CurrentIsWhole()) end_ = true;
}

bool CExt2DirEntry::LoadNext() {
    const uint64_t next = haveWindow_ ? index_ + 1 : 0;
    if (next >= blockCount_) return false;
    const uint64_t block = map_.BlockOf(next);
    if (block == 0) return false;
    const size_t bs = fs_.BlockSize();
    uint8_t* window = window_.Reserve(2 * bs, true);
    uint8_t* target = window;
    if (next == 1) {
        target = window + bs;
    } else if (next > 1) {
        std::memmove(window, window + bs, bs);
        target = window + bs;
    }
    try {
        fs_.ReadBlocks(target, block, 1);
    } catch (const CExt2ReadSectorError&) {
        return false;
    } catch (const std::range_error&) {
        RK_LOG("[Dredgel] Ext folder %u: block %llu lies past the end of the volume, the entries from there on are lost",
               folder_, static_cast<unsigned long long>(block));
        return false;
    }
    haveWindow_ = true;
    index_ = next;
    windowStart_ = next > 1 ? (next - 1) * bs : 0;
    loadedEnd_ = std::min<uint64_t>((next + 1) * bs, dataSize_);
    return true;
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

bool CExt2DirEntry::CurrentIsWhole() const {
    if (position_ < windowStart_ || position_ + kDirEntryHeaderBytes > loadedEnd_) return false;
    const uint8_t* p = window_.Data() + (position_ - windowStart_);
    const uint32_t length = LoadLE16(p + 4);
    const uint32_t least = (kDirEntryHeaderBytes + p[6] + 3) & ~3u;
    return length % 4 == 0 && length >= least && length <= fs_.BlockSize() && position_ + length <= loadedEnd_;
}

void CExt2DirEntry::Advance() {
    if (end_) return;
    position_ += LoadLE16(window_.Data() + (position_ - windowStart_) + 4);
    if (position_ >= dataSize_) {
        end_ = true;
        return;
    }
    // An entry is at most 264 bytes and one record at most a block: one more block is enough.
    if (position_ + kLongestDirEntry > loadedEnd_ && loadedEnd_ < dataSize_ && !LoadNext()) {
        end_ = true;
        return;
    }
    if (!CurrentIsWhole()) end_ = true;
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
