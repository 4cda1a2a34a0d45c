#include <gtest/gtest.h>

#include <memory>

#include "filesystems/frame/CFATSearchedPartitionInfo.h"

namespace {

TEST(SearchedPartitionInfo, SectorSizeAndDefaults) {
    EXPECT_EQ(CSearchedPartitionInfo(4096).sectorSize, 4096u);
    EXPECT_EQ(CSearchedPartitionInfo(1024).sectorSize, 1024u);
    for (uint32_t bad : {0u, 100u, 513u}) EXPECT_EQ(CSearchedPartitionInfo(bad).sectorSize, 512u) << bad;
    CSearchedPartitionInfo info(512);
    EXPECT_EQ(info.index, 0xFFFF);
    EXPECT_EQ(info.kind, 9u);
    EXPECT_EQ(info.sectorsPerCluster, 0u);
    EXPECT_EQ(info.volumeLength, 0u);
    EXPECT_EQ(info.score, 1u);
    EXPECT_EQ(info.weight, 0.0);
    EXPECT_EQ(info.GetTypeTag(), 4u);
}

TEST(SearchedPartitionInfo, FatCloneKeepsGeometryNotScore) {
    std::unique_ptr<CFATSearchedPartitionInfo> fat(CFATSearchedPartitionInfo::Create(4096));
    ASSERT_NE(fat, nullptr);
    EXPECT_EQ(fat->GetTypeTag(), 1u);
    EXPECT_EQ(fat->evidenceFlags, 0u);
    fat->index = 2;
    fat->kind = 1;
    fat->sectorsPerCluster = 4;
    fat->dataStart = 300;
    fat->volumeStart = 2048;
    fat->volumeLength = 99999;
    fat->reservedSectors = 4;
    fat->sectorsPerFat = 64;
    fat->clusterCount = 5000;
    fat->root = 32;
    fat->evidenceFlags = FAT_EVIDENCE_FAT16_BOOT | FAT_EVIDENCE_FAT1_SEEN;
    fat->score = 95;
    fat->weight = 3.5;
    fat->extra1 = 7;
    std::unique_ptr<CFATSearchedPartitionInfo> copy(fat->Clone());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->sectorSize, 4096u);
    EXPECT_EQ(copy->index, 2);
    EXPECT_EQ(copy->kind, 1u);
    EXPECT_EQ(copy->sectorsPerCluster, 4u);
    EXPECT_EQ(copy->dataStart, 300u);
    EXPECT_EQ(copy->volumeStart, 2048u);
    EXPECT_EQ(copy->volumeLength, 99999u);
    EXPECT_EQ(copy->reservedSectors, 4);
    EXPECT_EQ(copy->sectorsPerFat, 64u);
    EXPECT_EQ(copy->clusterCount, 5000u);
    EXPECT_EQ(copy->root, 32u);
    EXPECT_EQ(copy->evidenceFlags, fat->evidenceFlags);
    EXPECT_EQ(copy->score, 1u);
    EXPECT_EQ(copy->weight, 0.0);
    EXPECT_EQ(copy->extra1, 0u);
}

}  // namespace
