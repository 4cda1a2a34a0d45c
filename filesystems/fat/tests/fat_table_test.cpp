#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "filesystems/fat/CDoubleFATTable.h"
#include "filesystems/fat/FatBootSector.h"
#include "filesystems/fat/tests/FatTestSupport.h"
#include "filesystems/fat/IFATTable.h"
#include "filesystems/fat/IRealFATTable.h"

using namespace fattest;

namespace {

// A FAT copy written by hand at sector 0 of a memory device (no tool writes broken tables).
struct Fat16Bytes {
    explicit Fat16Bytes(uint32_t sectors = 16, uint32_t sectorSize = 512) : bytes(sectors * sectorSize), ss(sectorSize) {
        Set(0, 0xFFF8);
        Set(1, 0xFFFF);
    }
    void Set(uint32_t c, uint16_t v) {
        bytes[c * 2] = v & 0xFF;
        bytes[c * 2 + 1] = v >> 8;
    }
    std::unique_ptr<IRealFATTable> Table() {
        device = std::make_unique<MemoryDevice>(bytes, ss);
        return std::unique_ptr<IRealFATTable>(
            CreateFATTable(FAT_VARIANT_16, static_cast<uint32_t>(bytes.size() / ss), 0, device.get()));
    }
    std::vector<uint8_t> bytes;
    uint32_t ss;
    std::unique_ptr<MemoryDevice> device;
};

}  // namespace

TEST(FatTable, Fat16MediaByteAndDirtyBitsAreAcceptedOtherFirstEntriesNot) {
    Fat16Bytes f;
    EXPECT_NE(f.Table(), nullptr);
    f.Set(0, 0xFFF0);  // media byte 0xF0
    EXPECT_NE(f.Table(), nullptr);
    f.Set(1, 0x7FFF);  // not cleanly unmounted
    EXPECT_NE(f.Table(), nullptr);
    f.Set(1, 0x3FFF);  // and a disk error was seen
    EXPECT_NE(f.Table(), nullptr);
    f.Set(1, 0xFFF0);
    EXPECT_EQ(f.Table(), nullptr);
    f.Set(1, 0xFFFF);
    f.Set(0, 0x00F8);
    EXPECT_EQ(f.Table(), nullptr);
}

TEST(FatTable, Fat16EntriesThatNameThemselvesOrOneOrJoinOrLoopAreRefused) {
    {
        Fat16Bytes f;
        f.Set(5, 5);
        EXPECT_EQ(f.Table(), nullptr);
    }
    {
        Fat16Bytes f;
        f.Set(7, 1);
        EXPECT_EQ(f.Table(), nullptr);
    }
    {
        Fat16Bytes f;  // 3 -> 9 and 4 -> 9
        f.Set(3, 9);
        f.Set(4, 9);
        f.Set(9, 0xFFFF);
        EXPECT_EQ(f.Table(), nullptr);
    }
    {
        Fat16Bytes f;  // 10 -> 11 -> 12 -> 10
        f.Set(10, 11);
        f.Set(11, 12);
        f.Set(12, 10);
        EXPECT_EQ(f.Table(), nullptr);
    }
    {
        Fat16Bytes f;  // 2 -> 20 -> 21 -> 20: a loop behind the head
        f.Set(2, 20);
        f.Set(20, 21);
        f.Set(21, 20);
        EXPECT_EQ(f.Table(), nullptr);
    }
    {
        Fat16Bytes f;  // an entry outside the table
        f.Set(6, 0x9000);
        EXPECT_EQ(f.Table(), nullptr);
    }
    {
        // Sound chains, heads after their tails, a bad cluster: accepted, and decoded.
        Fat16Bytes f;
        f.Set(30, 20);
        f.Set(20, 21);
        f.Set(21, 0xFFFF);
        f.Set(40, 0xFFF7);
        f.Set(41, 0xFFF8);
        auto t = f.Table();
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->NextCluster(30), 20u);
        EXPECT_EQ(t->NextCluster(21), static_cast<uint32_t>(FAT_CLUSTER_END));
        EXPECT_EQ(t->NextCluster(40), static_cast<uint32_t>(FAT_CLUSTER_BAD));
        EXPECT_EQ(t->NextCluster(41), static_cast<uint32_t>(FAT_CLUSTER_END));
        EXPECT_EQ(t->NextCluster(t->EntryCount()), 0u);
        EXPECT_EQ(t->NextCluster(0xFFFFFFFF), 0u);
    }
}

TEST(FatTable, ManyChainsWalkedBackwardsStayLinear) {
    // Every cluster points to the one before it: one chain whose head is last.
    Fat16Bytes f(256);
    const uint32_t n = 256 * 512 / 2;
    f.Set(2, 0xFFFF);
    for (uint32_t c = 3; c < n - 100; ++c) f.Set(c, static_cast<uint16_t>(c - 1));
    EXPECT_NE(f.Table(), nullptr);
}

TEST(FatTable, SizeBoundsScaleWithTheSectorSize) {
    Fat16Bytes f512(256, 512);
    EXPECT_NE(f512.Table(), nullptr);
    Fat16Bytes f4k32(32, 4096);
    EXPECT_NE(f4k32.Table(), nullptr);
    Fat16Bytes f4k33(33, 4096);
    EXPECT_EQ(f4k33.Table(), nullptr);
    Fat16Bytes f4k1(1, 4096);  // 12 / 8 = 1
    EXPECT_NE(f4k1.Table(), nullptr);
}

TEST(FatTable, AnUnreadableSectorEndsTheChainsThroughItAndTheOtherCopyGivesItBack) {
    // Two copies of 16 sectors; cluster 300's entry lies in sector 1 of each.
    Fat16Bytes f(32);
    f.Set(300, 301);
    f.Set(301, 0xFFFF);
    std::copy(f.bytes.begin(), f.bytes.begin() + 16 * 512, f.bytes.begin() + 16 * 512);
    MemoryDevice device(f.bytes, 512);
    device.MarkBad(1);
    std::unique_ptr<IRealFATTable> first(CreateFATTable(FAT_VARIANT_16, 16, 0, &device));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->MissedSectors(), 1u);
    EXPECT_EQ(first->NextCluster(300), FAT_CLUSTER_FREE);
    std::unique_ptr<CDoubleFATTable> pair(LoadFatPair(FAT_VARIANT_16, 16, 0, &device));
    EXPECT_EQ(pair->Used()->MissedSectors(), 0u);
    EXPECT_EQ(pair->NextCluster(300), 301u);
    device.MarkBad(17);  // lost in both copies
    pair.reset(LoadFatPair(FAT_VARIANT_16, 16, 0, &device));
    EXPECT_EQ(pair->Used()->MissedSectors(), 1u);
    EXPECT_EQ(pair->NextCluster(300), FAT_CLUSTER_FREE);
    // A copy whose first sector is lost is none: its stale bytes never reach the test.
    device.MarkBad(0);
    EXPECT_EQ(CreateFATTable(FAT_VARIANT_16, 16, 0, &device), nullptr);
    // A FAT12 table never reads past its 12 sectors.
    EXPECT_EQ(CreateFATTable(FAT_VARIANT_12, 13, 16, &device), nullptr);
    EXPECT_EQ(CreateFATTable(7, 16, 16, &device), nullptr);
}

TEST(FatTable, Fat12EntriesAreTwelveBitHalvesWithTheirOwnMarks) {
    // Entries 0..5: media F8, FFF, then 3, FFF (end), FF7 (bad), FF8 (end).
    std::vector<uint8_t> bytes(512);
    auto set = [&](uint32_t c, uint16_t v) {
        size_t o = c * 3 / 2;
        uint16_t w = static_cast<uint16_t>(bytes[o] | (bytes[o + 1] << 8));
        w = (c & 1) ? static_cast<uint16_t>((w & 0x000F) | (v << 4)) : static_cast<uint16_t>((w & 0xF000) | v);
        bytes[o] = w & 0xFF;
        bytes[o + 1] = w >> 8;
    };
    set(0, 0xFF8);
    set(1, 0xFFF);
    set(2, 3);
    set(3, 0xFFF);
    set(4, 0xFF7);
    set(5, 0xFF9);
    MemoryDevice device(bytes, 512);
    std::unique_ptr<IRealFATTable> t(CreateFATTable(FAT_VARIANT_12, 1, 0, &device));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->NextCluster(2), 3u);
    EXPECT_EQ(t->NextCluster(3), static_cast<uint32_t>(FAT12_CLUSTER_END_FFF));  // high 12 bits of the u16 at 4
    EXPECT_EQ(t->NextCluster(4), static_cast<uint32_t>(FAT12_CLUSTER_BAD));
    EXPECT_EQ(t->NextCluster(5), static_cast<uint32_t>(FAT_CLUSTER_END));
    EXPECT_EQ(t->NextCluster(340), 0u);  // the last whole pair of bytes ends at 511
    EXPECT_EQ(t->NextCluster(341), 0u);
    bytes[0] = 0x00;
    MemoryDevice wrongMedia(bytes, 512);
    EXPECT_EQ(CreateFATTable(FAT_VARIANT_12, 1, 0, &wrongMedia), nullptr);
}

TEST(FatTable, Fat32EntriesLoseTheirReservedTopBits) {
    std::vector<uint8_t> bytes(512 * 256);
    auto set = [&](uint32_t c, uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[c * 4 + i] = (v >> (8 * i)) & 0xFF;
    };
    set(0, 0x0FFFFFF8);
    set(1, 0xFFFFFFFF);
    set(2, 0xF0000003);
    set(3, 0x1FFFFFFF);
    set(4, 0xA0000000 | FAT_CLUSTER_BAD);
    MemoryDevice device(bytes, 512);
    std::unique_ptr<IRealFATTable> t(CreateFATTable(FAT_VARIANT_32, 256, 0, &device));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->NextCluster(2), 3u);
    EXPECT_EQ(t->NextCluster(3), 0x0FFFFFFFu);
    EXPECT_EQ(t->NextCluster(4), static_cast<uint32_t>(FAT_CLUSTER_BAD));
    EXPECT_EQ(CreateFATTable(FAT_VARIANT_32, 255, 0, &device), nullptr);  // below the FAT32 minimum
}

TEST(FatTable, DoubleTableUsesTheSecondCopyOnlyWhenTheFirstIsMissing) {
    Fat16Bytes a, b;
    a.Set(2, 0xFFFF);
    b.Set(2, 3);
    b.Set(3, 0xFFFF);
    auto ta = a.Table();
    auto tb = b.Table();
    CDoubleFATTable both(ta.release(), tb.release());
    EXPECT_EQ(both.NextCluster(2), static_cast<uint32_t>(FAT_CLUSTER_END));
    auto tb2 = b.Table();
    CDoubleFATTable secondOnly(nullptr, tb2.release());
    EXPECT_EQ(secondOnly.NextCluster(2), 3u);
    CDoubleFATTable none(nullptr, nullptr);
    EXPECT_EQ(none.NextCluster(2), 0u);
}

TEST(FatTable, EveryMadeVolumeHasTwoValidCopiesAndTheZeroedOneIsRefused) {
    const char* images[] = {"fat12.img", "fat16.img", "fat16_f0.img", "fat16_4k.img", "fat32.img", "fat32_4k.img"};
    for (const char* image : images) {
        SCOPED_TRACE(image);
        const uint32_t ss = ImageSectorSize(image);
        CImageStorage device(ImagePath(image), ss);
        ASSERT_EQ(device.Open(), 1);
        std::vector<uint8_t> boot(ss);
        ASSERT_TRUE(device.ReadSectors(boot.data(), 0, 1));
        uint32_t variant = DetectFatVariant(boot.data(), ss);
        FatBootSector view{boot.data(), variant, ss};
        std::unique_ptr<IRealFATTable> first(CreateFATTable(variant, view.SectorsPerFat(), view.ReservedSectors(), &device));
        std::unique_ptr<IRealFATTable> second(
            CreateFATTable(variant, view.SectorsPerFat(), view.ReservedSectors() + view.SectorsPerFat(), &device));
        EXPECT_NE(first, nullptr);
        EXPECT_NE(second, nullptr);
    }
    CImageStorage damaged(ImagePath("fat16_second_fat.img"), 512);
    ASSERT_EQ(damaged.Open(), 1);
    std::vector<uint8_t> boot(512);
    ASSERT_TRUE(damaged.ReadSectors(boot.data(), 0, 1));
    FatBootSector view{boot.data(), FAT_VARIANT_16, 512};
    EXPECT_EQ(CreateFATTable(FAT_VARIANT_16, view.SectorsPerFat(), view.ReservedSectors(), &damaged), nullptr);
}
