#include "filesystems/ext/ExtSuperBlock.h"

#include "filesystems/ext/ExtChecksums.h"

#include <cstring>
#include <initializer_list>

using namespace ext;

namespace {
bool IsPowerOfTwo(uint64_t v) { return v && !(v & (v - 1)); }

// a x b <= limit, without overflow.
bool ProductAtMost(uint64_t a, uint64_t b, uint64_t limit) { return b == 0 || a <= limit / b; }
}  // namespace

void ExtSuperBlock::Parse() {
    inodesCount = LoadLE32(raw + SB_INODES_COUNT);
    blocksCountLo = LoadLE32(raw + SB_BLOCKS_COUNT_LO);
    blocksCountHi = LoadLE32(raw + SB_BLOCKS_COUNT_HI);
    firstDataBlock = LoadLE32(raw + SB_FIRST_DATA_BLOCK);
    logBlockSize = LoadLE32(raw + SB_LOG_BLOCK_SIZE);
    blocksPerGroup = LoadLE32(raw + SB_BLOCKS_PER_GROUP);
    inodesPerGroup = LoadLE32(raw + SB_INODES_PER_GROUP);
    magic = LoadLE16(raw + SB_MAGIC);
    revLevel = LoadLE32(raw + SB_REV_LEVEL);
    firstIno = LoadLE32(raw + SB_FIRST_INO);
    inodeSize = LoadLE16(raw + SB_INODE_SIZE);
    blockGroupNr = LoadLE16(raw + SB_BLOCK_GROUP_NR);
    featureCompat = LoadLE32(raw + SB_FEATURE_COMPAT);
    featureIncompat = LoadLE32(raw + SB_FEATURE_INCOMPAT);
    featureRoCompat = LoadLE32(raw + SB_FEATURE_RO_COMPAT);
    descSize = LoadLE16(raw + SB_DESC_SIZE);
    reservedGdtBlocks = LoadLE16(raw + SB_RESERVED_GDT_BLOCKS);
    journalInum = LoadLE32(raw + SB_JOURNAL_INUM);
    checksumSeed = LoadLE32(raw + SB_CHECKSUM_SEED);
    metadataSeed = (featureIncompat & kIncompatCsumSeed) ? checksumSeed : ExtCrc32c(~0u, Uuid(), 16);
}

uint64_t ExtSuperBlock::GroupCount() const {
    const uint64_t blocks = BlockCount();
    if (blocksPerGroup == 0 || blocks <= firstDataBlock) return 0;
    return (blocks - firstDataBlock + blocksPerGroup - 1) / blocksPerGroup;
}

uint64_t ExtSuperBlock::InodeTableBlocks() const {
    const uint64_t bs = BlockSize();
    if (bs == 0) return 0;
    return (static_cast<uint64_t>(InodeSize()) * inodesPerGroup + bs - 1) / bs;
}

bool ExtSuperBlock::HasSuperBlockCopy(uint64_t g) const {
    if (g == 0) return true;
    if (featureCompat & kCompatSparseSuper2)
        return g == LoadLE32(raw + SB_BACKUP_BGS) || g == LoadLE32(raw + SB_BACKUP_BGS + 4);
    if (!(featureRoCompat & kRoCompatSparseSuper) || g == 1) return true;
    for (uint64_t base : {3, 5, 7}) {
        uint64_t p = base;
        while (p < g) p *= base;
        if (p == g) return true;
    }
    return false;
}

uint64_t ExtSuperBlock::DescriptorBlocks() const {
    const uint64_t bs = BlockSize();
    return bs ? (GroupCount() * DescriptorSize() + bs - 1) / bs : 0;
}

void ExtSuperBlock::Normalise() {
    firstDataBlock = BlockSize() == 1024 ? 1 : 0;
    if (blocksPerGroup == 0) return;
    const uint64_t groups = GroupCount();
    const uint64_t capacity = groups * inodesPerGroup;
    const bool fits = inodesCount > firstIno && groups > 0 &&
                      (groups - 1) * inodesPerGroup < inodesCount && inodesCount <= capacity;
    if (!fits) inodesCount = static_cast<uint32_t>(capacity > 0xFFFFFFFFu ? 0xFFFFFFFFu : capacity);
}

const char* ExtSuperBlock::Fault() const {
    const uint64_t blocks = BlockCount();
    const uint64_t groups = GroupCount();
    if (magic != kExtMagic) return "its magic is not 0xEF53";
    if (blocks == 0 || inodesCount == 0 || blocksPerGroup == 0 || inodesPerGroup == 0)
        return "it counts no blocks or inodes, or none a group";
    if (blockGroupNr > groups) return "its group number is past its groups";
    if (revLevel == 0 && inodeSize != kGoodOldInodeSize) return "its inode size is not its revision's";
    if (inodeSize < kGoodOldInodeSize) return "its inode size is below 128";
    if (revLevel != 0 && blocks < (uint64_t{1} << 32) && firstIno >= blocks) return "its first inode is past its blocks";
    if (logBlockSize > 6) return "its block size is more than 64 KiB";
    const uint64_t bs = BlockSize();
    // Inodes lie whole inside a block.
    if (!IsPowerOfTwo(InodeSize()) || InodeSize() > bs) return "its inode size is no power of two within a block";
    if (Is64Bit()) {
        if (descSize < 64 || descSize > 1024 || !IsPowerOfTwo(descSize)) return "its descriptor size is not one";
    } else if (descSize != 0 && descSize != 32) {
        return "its descriptor size is not one";
    }
    // The inode tables take less than the volume; all products below stay within 64 bits.
    if (!ProductAtMost(blocks, bs, UINT64_MAX)) return "its blocks are more than any volume holds";
    const unsigned __int128 inodeBytes =
        static_cast<unsigned __int128>(inodesPerGroup) * groups * InodeSize();
    if (static_cast<unsigned __int128>(blocks) * bs <= inodeBytes) return "its inode tables take the whole volume";
    // One group spans at most the blocks its bitmap block can mark.
    if (blocksPerGroup > 8 * bs) return "its blocks per group are more than a bitmap block marks";
    if (!(inodesCount > FirstInode() && inodesCount <= groups * inodesPerGroup)) return "its inode count is not its groups'";
    // mke2fs gives small volumes with 4 KiB blocks as many inodes as blocks.
    if (blocks < inodesCount) return "it has more inodes than blocks";
    // The descriptor table follows the superblock in group 0, and each inode table fits its group.
    if (static_cast<unsigned __int128>(groups) * DescriptorSize() > static_cast<unsigned __int128>(blocksPerGroup - 1) * bs)
        return "its descriptor table is larger than a group";
    if (InodeTableBlocks() >= blocksPerGroup) return "its inode table is larger than a group";
    return nullptr;
}

bool ExtSuperBlock::SameVolume(const ExtSuperBlock& o) const {
    return magic == o.magic && logBlockSize == o.logBlockSize && blocksCountLo == o.blocksCountLo &&
           inodesCount == o.inodesCount && blocksPerGroup == o.blocksPerGroup && inodesPerGroup == o.inodesPerGroup &&
           inodeSize == o.inodeSize && firstDataBlock == o.firstDataBlock && std::memcmp(Uuid(), o.Uuid(), 16) == 0;
}
