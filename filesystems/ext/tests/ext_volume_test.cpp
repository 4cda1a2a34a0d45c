#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <stdexcept>

#include "filesystems/ext/CExt2FileSystem.h"
#include "filesystems/ext/ExtChecksums.h"
#include "filesystems/ext/ExtErrors.h"
#include "filesystems/ext/tests/ExtTestSupport.h"
#include "outside/device/CImageStorage.h"

using namespace exttest;
using namespace ext;

namespace {

ExtSuperBlock SuperBlockOf(const std::string& image) {
    ExtSuperBlock sb;
    std::vector<uint8_t> head = LoadImage(image, 2048);
    std::memcpy(sb.raw, head.data() + 1024, sizeof sb.raw);
    return sb;
}

// The superblock of image after edit, parsed and normalised.
ExtSuperBlock Edited(const std::string& image, const std::function<void(uint8_t*)>& edit) {
    ExtSuperBlock sb = SuperBlockOf(image);
    edit(sb.raw);
    sb.Parse();
    sb.Normalise();
    return sb;
}

TEST(ExtSuperBlock, TestsInTheirOrder) {
    const struct {
        const char* what;
        const char* image;
        std::function<void(uint8_t*)> edit;
        bool valid;
    } cases[] = {
        {"as made", "ext4_4k.img", [](uint8_t*) {}, true},
        {"as made, revision 0", "ext2_r0.img", [](uint8_t*) {}, true},
        {"bad magic", "ext4_4k.img", [](uint8_t* r) { Put16(r + SB_MAGIC, 0xEF54); }, false},
        {"no inodes per group", "ext4_4k.img", [](uint8_t* r) { Put32(r + SB_INODES_PER_GROUP, 0); }, false},
        {"no blocks per group", "ext4_4k.img", [](uint8_t* r) { Put32(r + SB_BLOCKS_PER_GROUP, 0); }, false},
        {"copy of a group past the end", "ext4_1k.img", [](uint8_t* r) { Put16(r + SB_BLOCK_GROUP_NR, 9); }, false},
        {"revision 0 with inode size 0", "ext2_r0.img", [](uint8_t* r) { Put16(r + SB_INODE_SIZE, 0); }, false},
        {"inode size below 128", "ext4_4k.img", [](uint8_t* r) { Put16(r + SB_INODE_SIZE, 64); }, false},
        {"inode size above the block", "ext4_1k.img", [](uint8_t* r) { Put16(r + SB_INODE_SIZE, 2048); }, false},
        {"inode size no power of two", "ext4_4k.img", [](uint8_t* r) { Put16(r + SB_INODE_SIZE, 384); }, false},
        {"block size 128 KiB", "ext4_4k.img", [](uint8_t* r) { Put32(r + SB_LOG_BLOCK_SIZE, 7); }, false},
        {"64-bit descriptors of 48 bytes", "ext4_4k.img", [](uint8_t* r) { Put16(r + SB_DESC_SIZE, 48); }, false},
        {"64-bit descriptors of 2 KiB", "ext4_4k.img", [](uint8_t* r) { Put16(r + SB_DESC_SIZE, 2048); }, false},
        {"small descriptors of 64 bytes", "ext3_4k.img", [](uint8_t* r) { Put16(r + SB_DESC_SIZE, 64); }, false},
        // A group spans at most the blocks one bitmap block marks: 8 x 4096 here.
        {"blocks per group 8 x block size", "ext4_sparse_1g.img", [](uint8_t*) {}, true},
        {"blocks per group above 8 x block size", "ext4_sparse_1g.img",
         [](uint8_t* r) { Put32(r + SB_BLOCKS_PER_GROUP, 32768 + 8); }, false},
        {"more inodes than blocks", "ext4_4k.img", [](uint8_t* r) { Put32(r + SB_BLOCKS_COUNT_LO, 16000); }, false},
        {"inode tables larger than the volume", "ext4_4k.img", [](uint8_t* r) { Put32(r + SB_BLOCKS_COUNT_LO, 1024); }, false},
        // The high half of the block count is no field without 64-bit block numbers.
        {"garbage high block count, 32-bit volume", "ext3_4k.img",
         [](uint8_t* r) { Put32(r + SB_BLOCKS_COUNT_HI, 0xFFFFFFFF); }, true},
        {"first data block 0 with 1 KiB blocks", "ext2_1k.img", [](uint8_t* r) { Put32(r + SB_FIRST_DATA_BLOCK, 0); }, true},
        // 64 KiB blocks: one group of 1024 blocks; the bytes per group do not wrap.
        {"64 KiB blocks", "ext4_4k.img",
         [](uint8_t* r) {
             Put32(r + SB_LOG_BLOCK_SIZE, 6);
             Put32(r + SB_BLOCKS_COUNT_LO, 1024);
             Put32(r + SB_BLOCKS_PER_GROUP, 8 * 65536);
             Put32(r + SB_INODES_PER_GROUP, 1024);
             Put32(r + SB_INODES_COUNT, 1024);
         },
         true},
    };
    for (const auto& c : cases) {
        ExtSuperBlock sb = Edited(c.image, c.edit);
        EXPECT_EQ(sb.IsValid(), c.valid) << c.what;
    }
    // Normalisation: 1 KiB blocks start at block 1; an inode count that does not fit its groups
    // becomes groups x inodes per group.
    ExtSuperBlock first = Edited("ext2_1k.img", [](uint8_t* r) { Put32(r + SB_FIRST_DATA_BLOCK, 0); });
    EXPECT_EQ(first.firstDataBlock, 1u);
    ExtSuperBlock count = Edited("ext4_1k.img", [](uint8_t* r) { Put32(r + SB_INODES_COUNT, 5); });
    EXPECT_EQ(count.inodesCount, count.GroupCount() * count.inodesPerGroup);
    EXPECT_EQ(Edited("ext3_4k.img", [](uint8_t* r) { Put32(r + SB_BLOCKS_COUNT_HI, 7); }).BlockCount(), 16384u);
}

TEST(ExtFileSystem, OpensWhatFitsAndRefusesTheRest) {
    {
        MemoryDevice device(LoadImage("ext4_4k.img"), 4096);
        CExt2FileSystem fs(&device, 2);
        EXPECT_EQ(fs.BlockSize(), 4096u);
        EXPECT_EQ(fs.PartitionStartSector(), 0u);
        EXPECT_EQ(fs.PrimarySuperBlockSector(), 2u);
        EXPECT_TRUE(fs.TrustsUnusedInodes());
    }
    // A file system larger than its device is read as far as the device goes: its blocks past
    // the end cannot be read, and the groups whose descriptors lie past it are left out
    // (ext4_size: 24 groups of 1 KiB blocks, their descriptors in blocks 2 and 3).
    const struct {
        std::string image;
        size_t bytes;
        uint64_t readable, groups;
    } shorter[] = {{"ext4_cut.img", 0, 8192, 1},
                   {SizeImage("ext4_size.img"), 24 * 1024 * 1024 - 1024, 24575, 24},
                   {SizeImage("ext4_size.img"), 3 * 1024, 3, 16}};
    for (const auto& c : shorter) {
        MemoryDevice cut(LoadImage(c.image, c.bytes), 512);
        CExt2FileSystem fs(&cut, 2);
        EXPECT_EQ(fs.ReadableBlocks(), c.readable) << c.image << " " << c.bytes;
        EXPECT_EQ(fs.GroupCount(), c.groups) << c.image << " " << c.bytes;
        std::vector<uint8_t> block(fs.BlockSize());
        EXPECT_NO_THROW(fs.ReadBlocks(block.data(), c.readable - 1, 1));
        EXPECT_THROW(fs.ReadBlocks(block.data(), c.readable, 1), std::range_error);
    }
    // Not one descriptor on the device: nothing to read the volume by.
    MemoryDevice noTable(LoadImage(SizeImage("ext4_size.img"), 2048), 512);
    EXPECT_THROW(CExt2FileSystem(&noTable, 2), CExt2BadGroupDescriptor);
    MemoryDevice magic(LoadImage("ext4_bad_magic.img", 1 << 20), 512);
    EXPECT_THROW(CExt2FileSystem(&magic, 2), CExt2BadSuperBlock);
    MemoryDevice r0(LoadImage("ext2_r0_no_inode_size.img"), 512);
    EXPECT_THROW(CExt2FileSystem(&r0, 2), CExt2BadSuperBlock);
    // 1 KiB blocks cannot be read as whole 4096-byte sectors.
    MemoryDevice small(LoadImage("ext4_1k.img"), 4096);
    EXPECT_THROW(CExt2FileSystem(&small, 2), CExt2BadSuperBlock);
    MemoryDevice unreadable(LoadImage("ext4_4k.img"), 512);
    unreadable.MarkBad(2);
    EXPECT_THROW(CExt2FileSystem(&unreadable, 2), CExt2ReadSectorError);
    // A backup superblock names where the volume starts: group 1 of ext4_1k lies at block 8193.
    MemoryDevice backup(LoadImage("ext4_1k.img"), 512);
    CExt2FileSystem fromBackup(&backup, 8193 * 2);
    EXPECT_EQ(fromBackup.PartitionStartSector(), 0u);
    EXPECT_EQ(fromBackup.PrimarySuperBlockSector(), 2u);
}

TEST(ExtFileSystem, DescriptorsFromThePrimaryOrABackupCopy) {
    for (const char* image : {"ext2_1k.img", "ext4_1k.img", "ext4_sparse_1g.img"}) {
        CImageStorage device(ImagePath(image), 512);
        ASSERT_EQ(device.Open(), 1);
        CExt2FileSystem fs(&device, 2);
        EXPECT_EQ(fs.DescriptorCopyGroup(), 0u) << image;
    }
    // Primary descriptors zeroed: the copies in groups 1 and 3 agree, group 3's is used, and its
    // never-used counts (as mkfs wrote them) are not trusted.
    for (const char* image : {"ext2_1k_no_gdt.img", "ext4_1k_no_gdt.img"}) {
        CImageStorage device(ImagePath(image), 512);
        ASSERT_EQ(device.Open(), 1);
        CExt2FileSystem fs(&device, 2);
        EXPECT_EQ(fs.DescriptorCopyGroup(), 3u) << image;
        EXPECT_FALSE(fs.TrustsUnusedInodes());
        CImageStorage intact(ImagePath(std::string(image).replace(std::string(image).find("_no_gdt"), 7, "")), 512);
        ASSERT_EQ(intact.Open(), 1);
        CExt2FileSystem reference(&intact, 2);
        ASSERT_EQ(fs.GroupCount(), reference.GroupCount());
        for (uint64_t g = 0; g < fs.GroupCount(); ++g) EXPECT_EQ(fs.Group(g).inodeTable, reference.Group(g).inodeTable);
    }
    // Every copy damaged: group 0's inode table is taken where mke2fs lays it out, for its root
    // folder is there; the other groups are lost. Without the root folder there, no table.
    std::vector<uint8_t> bytes = LoadImage("ext2_1k_no_gdt.img");
    for (uint64_t g : {1, 3}) std::memset(bytes.data() + (g * 8192 + 2) * 1024, 0, 1024);
    CImageStorage intact(ImagePath("ext2_1k.img"), 512);
    ASSERT_EQ(intact.Open(), 1);
    const uint64_t table = CExt2FileSystem(&intact, 2).Group(0).inodeTable;
    MemoryDevice laidOut(bytes, 512);
    CExt2FileSystem fs(&laidOut, 2);
    EXPECT_EQ(fs.Group(0).inodeTable, table);
    for (uint64_t g = 1; g < fs.GroupCount(); ++g) EXPECT_FALSE(fs.Group(g).tableOk) << g;
    std::memset(bytes.data() + table * 1024 + fs.SuperBlock().InodeSize(), 0, fs.SuperBlock().InodeSize());
    MemoryDevice none(bytes, 512);
    EXPECT_THROW(CExt2FileSystem(&none, 2), CExt2BadGroupDescriptor);
}

TEST(ExtFileSystem, DescriptorChecksumsAsTheKernelComputesThem) {
    const struct {
        const char* image;
        bool sums;
    } cases[] = {{"ext4_4k.img", true},          // CRC32C, 64-byte descriptors
                 {"ext4_old_4k.img", true},      // CRC32C, 32-byte descriptors
                 {"ext4_nocsum_4k.img", true},   // CRC16
                 {"ext4_sparse_1g.img", true},
                 {"ext2_1k.img", false},
                 {"ext3_4k.img", false}};
    for (const auto& c : cases) {
        CImageStorage device(ImagePath(c.image), 512);
        ASSERT_EQ(device.Open(), 1);
        CExt2FileSystem fs(&device, 2);
        for (uint64_t g = 0; g < fs.GroupCount(); ++g) EXPECT_EQ(fs.Group(g).checksumOk, c.sums) << c.image << " group " << g;
    }
    // The check values of both algorithms.
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(ExtCrc32c(~0u, digits, 9) ^ ~0u, 0xE3069283u);
    EXPECT_EQ(ExtCrc16(0, digits, 9), 0xBB3Du);
}

TEST(ExtFileSystem, ReadBlocksOutsideTheDeviceOrOverABadSector) {
    MemoryDevice device(LoadImage("ext4_4k.img"), 512);
    CExt2FileSystem fs(&device, 2);
    std::vector<uint8_t> block(4096, 0xAA);
    try {
        fs.ReadBlocks(block.data(), fs.BlockCount(), 1);
        ADD_FAILURE() << "no range error";
    } catch (const std::range_error& e) {
        EXPECT_STREQ(e.what(), "CExt2FileSystem::ReadBlocks");
    }
    EXPECT_THROW(fs.ReadBlocks(block.data(), UINT64_MAX / 2, 1), std::range_error);
    device.MarkBad(100 * 8 + 3);
    EXPECT_THROW(fs.ReadBlocks(block.data(), 100, 1), CExt2ReadSectorError);
    EXPECT_EQ(block, std::vector<uint8_t>(4096, 0));
}

}  // namespace
