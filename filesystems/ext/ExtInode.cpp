#include "filesystems/ext/ExtInode.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "filesystems/ext/CExt2FileSystem.h"
#include "filesystems/ext/ExtErrors.h"
#include "sqlite_recovery/framework/Logger.h"

using namespace ext;

namespace {
void CopyInode(const CExt2FileSystem& fs, const uint8_t* bytes, uint32_t ino, ExtInode* out) {
    std::memset(out->raw, 0, sizeof out->raw);
    std::memcpy(out->raw, bytes, std::min<size_t>(fs.SuperBlock().InodeSize(), kInodeRecordBytes));
    out->number = ino;
}

bool PlausibleExtentRoot(const CExt2FileSystem& fs, const uint8_t* node) {
    if (Le16(node + EH_MAGIC) != kExtentMagic) return false;
    const uint16_t entries = Le16(node + EH_ENTRIES);
    const uint16_t max = Le16(node + EH_MAX);
    const uint16_t depth = Le16(node + EH_DEPTH);
    if (depth > kExtentMaxDepth || entries > max || max > (kInodeBlockBytes - kExtentHeaderBytes) / kExtentEntryBytes)
        return false;
    for (uint16_t i = 0; i < entries; ++i) {
        const uint8_t* e = node + kExtentHeaderBytes + i * kExtentEntryBytes;
        uint64_t block = depth == 0 ? (static_cast<uint64_t>(Le16(e + EX_START_HI)) << 32) | Le32(e + EX_START_LO)
                                    : (static_cast<uint64_t>(Le16(e + EX_CHILD_HI)) << 32) | Le32(e + EX_CHILD_LO);
        if (!fs.IsValidBlock(block)) return false;
    }
    return true;
}
}  // namespace

uint64_t WalkBlockCount(const CExt2FileSystem& fs, const ExtInode& inode) {
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

bool ReadInode(const CExt2FileSystem& fs, uint32_t ino, ExtInode* out) {
    const ExtSuperBlock& sb = fs.SuperBlock();
    if (ino < 1 || ino > sb.inodesCount) return false;
    const uint64_t group = (ino - 1) / sb.inodesPerGroup;
    if (group >= fs.GroupCount()) return false;
    const uint64_t offset = static_cast<uint64_t>((ino - 1) % sb.inodesPerGroup) * sb.InodeSize();
    ExtBuffer block;
    uint8_t* data = block.Reserve(fs.BlockSize());
    fs.ReadBlocks(data, fs.Group(group).inodeTable + offset / fs.BlockSize(), 1);
    CopyInode(fs, data + offset % fs.BlockSize(), ino, out);
    return true;
}

uint32_t CExt2InodeTable::UsedInodes(uint64_t group) const {
    const ExtSuperBlock& sb = fs_.SuperBlock();
    const ExtGroupDescriptor& g = fs_.Group(group);
    if (!fs_.TrustsUnusedInodes() || !g.checksumOk) return sb.inodesPerGroup;
    if (g.flags & kGroupInodeUninit) return 0;
    return sb.inodesPerGroup - std::min(g.itableUnused, sb.inodesPerGroup);
}

bool CExt2InodeTable::Load(uint64_t group) {
    if (group == group_) return readable_;
    group_ = group;
    readable_ = false;
    const uint64_t bytes = static_cast<uint64_t>(UsedInodes(group)) * fs_.SuperBlock().InodeSize();
    const uint32_t blocks = static_cast<uint32_t>((bytes + fs_.BlockSize() - 1) / fs_.BlockSize());
    if (blocks == 0) return false;
    uint8_t* data = table_.Reserve(static_cast<size_t>(blocks) * fs_.BlockSize());
    try {
        fs_.ReadBlocks(data, fs_.Group(group).inodeTable, blocks);
    } catch (const CExt2ReadSectorError&) {
        RK_LOG("[Dredgel] Ext inode table of group %llu unreadable, its inodes skipped",
               static_cast<unsigned long long>(group));
        return false;
    } catch (const std::range_error&) {
        RK_LOG("[Dredgel] Ext inode table of group %llu outside the device, its inodes skipped",
               static_cast<unsigned long long>(group));
        return false;
    }
    readable_ = true;
    return true;
}

bool CExt2InodeTable::Read(uint32_t ino, ExtInode* out) {
    const ExtSuperBlock& sb = fs_.SuperBlock();
    if (ino < 1 || ino > sb.inodesCount) return false;
    const uint64_t group = (ino - 1) / sb.inodesPerGroup;
    const uint32_t index = (ino - 1) % sb.inodesPerGroup;
    if (group >= fs_.GroupCount() || index >= UsedInodes(group) || !Load(group)) return false;
    CopyInode(fs_, table_.Data() + static_cast<size_t>(index) * sb.InodeSize(), ino, out);
    return true;
}
