#pragma once
#include <cstddef>
#include <cstdint>

#include "sqlite_recovery/framework/ByteOrder.h"

// On-disk layout of Ext2/3/4 as this reader uses it. Every field is little-endian and read with
// LoadLE16/LoadLE32 from bytes whose range the caller has checked.
namespace ext {

// Superblock: 1024 bytes at byte 1024 of the volume (backup copies at the first block of some groups).
//   offset size  field                meaning
//   0      4     s_inodes_count       inodes of the volume
//   4      4     s_blocks_count_lo    blocks of the volume (low half)
//   20     4     s_first_data_block   1 with 1 KiB blocks, else 0
//   24     4     s_log_block_size     block size = 1024 << value
//   28     4     s_log_cluster_size   the same as the block size's without clusters (ro_compat 0x200)
//   32     4     s_blocks_per_group
//   36     4     s_clusters_per_group the same as blocks per group without clusters
//   40     4     s_inodes_per_group
//   56     2     s_magic              0xEF53
//   76     4     s_rev_level          0: first inode 11, inode size 128
//   84     4     s_first_ino          first inode that holds a file (revision 1)
//   88     2     s_inode_size         bytes per inode (revision 1)
//   90     2     s_block_group_nr     group holding this copy
//   92     4     s_feature_compat     0x4 a journal, 0x200 backups only in the groups s_backup_bgs names
//   96     4     s_feature_incompat   0x4 the journal needs replaying, 0x10 descriptor blocks spread over
//                                     the groups, 0x80 64-bit block numbers, 0x200 flexible groups,
//                                     0x2000 checksum seed
//   100    4     s_feature_ro_compat  0x1 backups only in groups 0, 1 and powers of 3, 5, 7; 0x8 i_blocks
//                                     may count blocks; 0x10 descriptor CRC16; 0x200 bitmaps count
//                                     clusters of blocks; 0x400 metadata CRC32C
//   104    16    s_uuid
//   206    2     s_reserved_gdt_blocks blocks kept after each descriptor table copy for growing it
//   224    4     s_journal_inum       the journal's inode (compat 0x4)
//   254    2     s_desc_size          descriptor bytes with 64-bit block numbers
//   336    4     s_blocks_count_hi    blocks of the volume (high half, 64-bit volumes only)
//   372    1     s_log_groups_per_flex  groups of a flexible group = 1 << value
//   588    8     s_backup_bgs         the two groups with backups (compat 0x200; 0: none)
//   624    4     s_checksum_seed      CRC32C seed when the incompat flag 0x2000 is set
constexpr uint64_t kSuperBlockByte = 1024;
constexpr size_t kSuperBlockBytes = 1024;
enum : size_t {
    SB_INODES_COUNT = 0,
    SB_BLOCKS_COUNT_LO = 4,
    SB_FIRST_DATA_BLOCK = 20,
    SB_LOG_BLOCK_SIZE = 24,
    SB_LOG_CLUSTER_SIZE = 28,
    SB_BLOCKS_PER_GROUP = 32,
    SB_CLUSTERS_PER_GROUP = 36,
    SB_INODES_PER_GROUP = 40,
    SB_MAGIC = 56,
    SB_REV_LEVEL = 76,
    SB_FIRST_INO = 84,
    SB_INODE_SIZE = 88,
    SB_BLOCK_GROUP_NR = 90,
    SB_FEATURE_COMPAT = 92,
    SB_FEATURE_INCOMPAT = 96,
    SB_FEATURE_RO_COMPAT = 100,
    SB_UUID = 104,
    SB_RESERVED_GDT_BLOCKS = 206,
    SB_JOURNAL_INUM = 224,
    SB_DESC_SIZE = 254,
    SB_BLOCKS_COUNT_HI = 336,
    SB_LOG_GROUPS_PER_FLEX = 372,
    SB_BACKUP_BGS = 588,
    SB_CHECKSUM_SEED = 624,
};
constexpr uint16_t kExtMagic = 0xEF53;
constexpr uint32_t kCompatHasJournal = 0x4;
constexpr uint32_t kCompatSparseSuper2 = 0x200;
constexpr uint32_t kIncompatFileType = 0x2;
constexpr uint32_t kIncompatRecover = 0x4;
constexpr uint32_t kIncompatMetaBg = 0x10;
constexpr uint32_t kIncompat64Bit = 0x80;
constexpr uint32_t kIncompatFlexBg = 0x200;
constexpr uint32_t kIncompatCsumSeed = 0x2000;
constexpr uint32_t kRoCompatSparseSuper = 0x1;
constexpr uint32_t kRoCompatHugeFile = 0x8;
constexpr uint32_t kRoCompatGdtCsum = 0x10;
constexpr uint32_t kRoCompatBigalloc = 0x200;
constexpr uint32_t kRoCompatMetadataCsum = 0x400;
constexpr uint32_t kGoodOldFirstInode = 11;
constexpr uint32_t kGoodOldInodeSize = 128;
constexpr uint32_t kRootInode = 2;

// Group descriptor: 32 bytes, or s_desc_size bytes with 64-bit block numbers.
//   offset size  field
//   0      4     bg_block_bitmap_lo
//   4      4     bg_inode_bitmap_lo
//   8      4     bg_inode_table_lo
//   18     2     bg_flags             0x1 inode table never used (INODE_UNINIT), 0x2 block bitmap
//                                     never written: every block but the group's metadata free
//   24     2     bg_block_bitmap_csum_lo  CRC32C of the block bitmap, low half (metadata checksums)
//   28     2     bg_itable_unused_lo  inodes at the end of the table never used
//   30     2     bg_checksum          CRC16 or the low half of a CRC32C (see ExtChecksums)
//   32     4     bg_block_bitmap_hi   (64-bit only, as the three below)
//   36     4     bg_inode_bitmap_hi
//   40     4     bg_inode_table_hi
//   50     2     bg_itable_unused_hi
//   56     2     bg_block_bitmap_csum_hi
enum : size_t {
    GD_BLOCK_BITMAP = 0,
    GD_INODE_BITMAP = 4,
    GD_INODE_TABLE = 8,
    GD_FLAGS = 18,
    GD_BLOCK_BITMAP_CSUM = 24,
    GD_ITABLE_UNUSED = 28,
    GD_CHECKSUM = 30,
    GD_BLOCK_BITMAP_HI = 32,
    GD_INODE_BITMAP_HI = 36,
    GD_INODE_TABLE_HI = 40,
    GD_ITABLE_UNUSED_HI = 50,
    GD_BLOCK_BITMAP_CSUM_HI = 56,
};
constexpr size_t kSmallDescriptorBytes = 32;
constexpr uint16_t kGroupInodeUninit = 0x1;
constexpr uint16_t kGroupBlockUninit = 0x2;

// Inode: the first 156 bytes are read.
//   offset size  field
//   0      2     i_mode          type in bits 12-15: 0x4 directory, 0x8 regular file; 0 unused
//   4      4     i_size_lo
//   8      4     i_atime         seconds since 1970, signed
//   12     4     i_ctime
//   16     4     i_mtime
//   20     4     i_dtime         non-zero with no links: deleted
//   26     2     i_links_count   folder entries that name it
//   28     4     i_blocks_lo     512-byte units held, mapping blocks included
//   32     4     i_flags         0x1000 a folder with a hash index; 0x40000 i_blocks counts blocks,
//                                not 512-byte units; 0x80000 the block map is an extent tree;
//                                0x10000000 the data is kept in the inode (i_block and beyond), no
//                                block map
//   40     60    i_block         15 block numbers (12 direct, single, double, triple indirect) or an
//                                extent tree's root node
//   100    4     i_generation    (in the inode checksum)
//   104    4     i_file_acl      the block of its extended attributes (0: none), in i_blocks
//   108    4     i_size_high     high half of a regular file's size
//   116    2     i_blocks_high   high bits of i_blocks (ro_compat 0x8)
//   124    2     i_checksum_lo   CRC32C of the inode, low half (metadata checksums)
//   128    2     i_extra_isize   bytes in use past the first 128
//   130    2     i_checksum_hi   high half, when the inode is larger than 128 bytes and
//                                i_extra_isize reaches past it
constexpr size_t kInodeRecordBytes = 156;
enum : size_t {
    IN_MODE = 0,
    IN_SIZE_LO = 4,
    IN_ATIME = 8,
    IN_CTIME = 12,
    IN_MTIME = 16,
    IN_DTIME = 20,
    IN_LINKS_COUNT = 26,
    IN_BLOCKS_LO = 28,
    IN_FLAGS = 32,
    IN_BLOCK = 40,
    IN_GENERATION = 100,
    IN_FILE_ACL = 104,
    IN_SIZE_HIGH = 108,
    IN_BLOCKS_HIGH = 116,
    IN_CHECKSUM_LO = 124,
    IN_EXTRA_ISIZE = 128,
    IN_CHECKSUM_HI = 130,
};
constexpr size_t kInodeBlockBytes = 60;
constexpr uint16_t kModeTypeMask = 0xF000;
constexpr uint16_t kModeDirectory = 0x4000;
constexpr uint16_t kModeRegular = 0x8000;
constexpr uint32_t kInodeFlagIndex = 0x1000;
constexpr uint32_t kInodeFlagHugeFile = 0x40000;
constexpr uint32_t kInodeFlagExtents = 0x80000;
constexpr uint32_t kInodeFlagInlineData = 0x10000000;
constexpr uint32_t kDirectPointers = 12;

// Extent tree node: a 12-byte header, then 12-byte entries.
//   header: 0 u16 magic 0xF30A, 2 u16 entries, 4 u16 max entries, 6 u16 depth (0 = leaf)
//   index:  0 u32 first logical block, 4 u32 child block low, 8 u16 child block high
//   leaf:   0 u32 first logical block, 4 u16 length (above 32768: unwritten, length - 32768 blocks),
//           6 u16 start block high, 8 u32 start block low
constexpr uint16_t kExtentMagic = 0xF30A;
constexpr size_t kExtentHeaderBytes = 12;
constexpr size_t kExtentEntryBytes = 12;
constexpr uint16_t kExtentMaxDepth = 5;
constexpr uint32_t kExtentInitMaxLength = 32768;
enum : size_t {
    EH_MAGIC = 0,
    EH_ENTRIES = 2,
    EH_MAX = 4,
    EH_DEPTH = 6,
    EX_LOGICAL = 0,
    EX_CHILD_LO = 4,
    EX_CHILD_HI = 8,
    EX_LENGTH = 4,
    EX_START_HI = 6,
    EX_START_LO = 8,
};

// Directory entry: 8-byte header and the name; entries never cross a block in a sound directory.
//   offset size  field
//   0      4     inode        0: an unused record (free space, checksum tail, hash index block)
//   4      2     rec_len      bytes to the next entry, a multiple of 4
//   6      1     name_len
//   7      1     file_type    1 file, 2 directory, 3 character device, 4 block device, 5 pipe,
//                             6 socket, 7 symbolic link (volumes with the file type feature)
//   8      n     name
constexpr size_t kDirEntryHeaderBytes = 8;
constexpr uint8_t kDirEntryTypeFolder = 2;  // an entry's file type byte for a folder
constexpr size_t kLongestDirEntry = 8 + 255 + 1;

}  // namespace ext
