#include "filesystems/ext/ExtInode.h"
#include "filesystems/frame/ReadInPart.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "filesystems/ext/CExt2FileSystem.h"
#include "filesystems/ext/ExtChecksums.h"
#include "filesystems/ext/ExtErrors.h"
#include "sqlite_recovery/framework/Logger.h"

using namespace ext;

namespace {
constexpr uint32_t kPieceBytes = 256 * 1024;

// bytes holds the whole inode (the volume's inode size).
void CopyInode(const CExt2FileSystem& fs, const uint8_t* bytes, uint32_t ino, ExtInode* out) {
    const ExtSuperBlock& sb = fs.SuperBlock();
    const size_t size = std::min<size_t>(sb.InodeSize(), kInodeRecordBytes);
    if (size < sizeof out->raw) std::memset(out->raw + size, 0, sizeof out->raw - size);
    std::memcpy(out->raw, bytes, size);
    out->number = ino;
    // A live file's map is weighed by it (the volume's blocks that damage moved it to); the
    // processor's CRC instruction makes it cheap.
    out->checksumHolds = out->Mode() == 0 || ExtInodeChecksumHolds(sb, ino, bytes, sb.InodeSize());
}

bool PlausibleExtentRoot(const CExt2FileSystem& fs, const uint8_t* node) {
    if (LoadLE16(node + EH_MAGIC) != kExtentMagic) return false;
    const uint16_t entries = LoadLE16(node + EH_ENTRIES);
    const uint16_t max = LoadLE16(node + EH_MAX);
    const uint16_t depth = LoadLE16(node + EH_DEPTH);
    if (depth > kExtentMaxDepth || entries > max || max > (kInodeBlockBytes - kExtentHeaderBytes) / kExtentEntryBytes)
        return false;
    // A number past this volume's end is a stretch the volume lost (cut, or made smaller): the
    // file's runs end there and it is reported short. One no volume of this kind can hold is not
    // a block number.
    if (fs.SuperBlock().Is64Bit()) return true;
    for (uint16_t i = 0; i < entries; ++i) {
        const uint8_t* e = node + kExtentHeaderBytes + i * kExtentEntryBytes;
        if (LoadLE16(e + (depth == 0 ? EX_START_HI : EX_CHILD_HI)) != 0) return false;
    }
    return true;
}
}  // namespace

uint64_t WalkBlockCount(const CExt2FileSystem& fs, const ExtInode& inode) {
    if (inode.ReadsThroughHoles()) {
        const uint64_t size = inode.FileSize();
        return size / fs.BlockSize() + (size % fs.BlockSize() != 0);
    }
    if (inode.LooksSparse()) return inode.FileSize() / fs.BlockSize();
    return inode.BlocksLo() / (fs.BlockSize() / 512);
}

bool HasPlausibleBlocks(const CExt2FileSystem& fs, const ExtInode& inode) {
    if (inode.Mode() == 0) return false;
    if (inode.UsesExtents()) return PlausibleExtentRoot(fs, inode.BlockArea());
    const uint64_t n = std::min<uint64_t>(inode.FileSize() / fs.BlockSize(), kDirectPointers + 1);
    for (uint64_t i = 0; i < n; ++i)
        if (!fs.IsValidBlock(inode.BlockPointer(static_cast<size_t>(i)))) return false;
    return true;
}

namespace {
// The bytes of inode ino in block (one block of the volume), null for a number the volume has not.
const uint8_t* LoadInodeBlock(const CExt2FileSystem& fs, uint32_t ino, ExtBuffer* block) {
    const ExtSuperBlock& sb = fs.SuperBlock();
    if (ino < 1 || ino > sb.inodesCount) return nullptr;
    const uint64_t group = (ino - 1) / sb.inodesPerGroup;
    if (group >= fs.GroupCount() || !fs.Group(group).tableOk) return nullptr;
    const uint64_t offset = static_cast<uint64_t>((ino - 1) % sb.inodesPerGroup) * sb.InodeSize();
    uint8_t* data = block->Reserve(fs.BlockSize());
    fs.ReadBlocks(data, fs.Group(group).inodeTable + offset / fs.BlockSize(), 1);
    return data + offset % fs.BlockSize();
}
}  // namespace

bool ReadInode(const CExt2FileSystem& fs, uint32_t ino, ExtInode* out) {
    ExtBuffer block;
    const uint8_t* bytes = LoadInodeBlock(fs, ino, &block);
    if (!bytes) return false;
    CopyInode(fs, bytes, ino, out);
    return true;
}

bool InodeChecksumHolds(const CExt2FileSystem& fs, uint32_t ino) {
    ExtBuffer block;
    const uint8_t* bytes = LoadInodeBlock(fs, ino, &block);
    return !bytes || ExtInodeChecksumHolds(fs.SuperBlock(), ino, bytes, fs.SuperBlock().InodeSize());
}

uint32_t CExt2InodeTable::UsedInodes(uint64_t group) const {
    const ExtSuperBlock& sb = fs_.SuperBlock();
    const ExtGroupDescriptor& g = fs_.Group(group);
    if (!g.tableOk) return 0;  // lost with its descriptor (said)
    if (!fs_.TrustsUnusedInodes() || !g.checksumOk) return sb.inodesPerGroup;
    if (g.flags & kGroupInodeUninit) return 0;
    return sb.inodesPerGroup - std::min(g.itableUnused, sb.inodesPerGroup);
}

bool CExt2InodeTable::Load(uint64_t group, uint32_t index) {
    if (group != group_) {
        group_ = group;
        pieceLost_ = false;
        pieceCount_ = 0;
    }
    if (index >= pieceFirst_ && index - pieceFirst_ < pieceCount_) return !pieceLost_;
    const uint32_t bs = fs_.BlockSize();
    const uint32_t inodeSize = fs_.SuperBlock().InodeSize();
    const uint32_t perBlock = bs / inodeSize;
    const uint32_t pieceBlocks = std::max<uint32_t>(kPieceBytes / bs, 1);
    const uint32_t usedBlocks = static_cast<uint32_t>((static_cast<uint64_t>(UsedInodes(group)) + perBlock - 1) / perBlock);
    const uint32_t firstBlock = index / perBlock / pieceBlocks * pieceBlocks;
    uint32_t blocks = std::min(pieceBlocks, usedBlocks - firstBlock);
    // A table cut by the end of what the device holds is read as far as it goes; the walk has said
    // what lies past it.
    const uint64_t start = fs_.Group(group).inodeTable + firstBlock;
    const uint64_t readable = start < fs_.ReadableBlocks() ? fs_.ReadableBlocks() - start : 0;
    blocks = static_cast<uint32_t>(std::min<uint64_t>(blocks, readable));
    if (index / perBlock >= firstBlock + blocks) return false;
    pieceFirst_ = firstBlock * perBlock;
    pieceCount_ = blocks * perBlock;
    pieceLost_ = false;
    uint8_t* data = piece_.Reserve(static_cast<size_t>(pieceBlocks) * bs);
    try {
        fs_.ReadBlocks(data, start, blocks);
        return true;
    } catch (const CExt2ReadSectorError&) {
    } catch (const std::range_error&) {
    }
    const uint64_t base = group * fs_.SuperBlock().inodesPerGroup;
    ExtLostInodes lost;
    lost.first = static_cast<uint32_t>(base + pieceFirst_ + 1);
    lost.last = static_cast<uint32_t>(base + pieceFirst_ + pieceCount_);
    SayReadInPart("Ext inodes %u to %u cannot be read (the inode table of group %llu from its block %llu): they are lost",
           lost.first, lost.last, static_cast<unsigned long long>(group),
           static_cast<unsigned long long>(start));
    AddLost(lost);
    pieceLost_ = true;
    return false;
}

bool CExt2InodeTable::Read(uint32_t ino, ExtInode* out) {
    const ExtSuperBlock& sb = fs_.SuperBlock();
    if (ino < 1 || ino > sb.inodesCount) return false;
    // The walk asks in order: most inodes lie in the group asked for last, found without dividing.
    const uint64_t zeroBased = ino - 1;
    if (!(zeroBased >= lastBase_ && zeroBased - lastBase_ < sb.inodesPerGroup)) {
        lastGroup_ = zeroBased / sb.inodesPerGroup;
        lastBase_ = lastGroup_ * sb.inodesPerGroup;
        lastUsed_ = lastGroup_ < fs_.GroupCount() ? UsedInodes(lastGroup_) : 0;
    }
    const uint64_t group = lastGroup_;
    const uint32_t index = static_cast<uint32_t>(zeroBased - lastBase_);
    if (group >= fs_.GroupCount() || index >= lastUsed_ || !Load(group, index)) return false;
    CopyInode(fs_, piece_.Data() + static_cast<size_t>(index - pieceFirst_) * sb.InodeSize(), ino, out);
    return true;
}
