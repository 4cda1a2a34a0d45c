#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "filesystems/FileSystemSearchers.h"

namespace {

std::vector<uint8_t> Sector0(const std::string& image, uint32_t size) {
    const char* root = std::getenv("RK_TESTDATA");
    std::ifstream in(std::string(root ? root : ".") + "/media_fixtures/" + image, std::ios::binary);
    std::vector<uint8_t> sector(size);
    in.read(reinterpret_cast<char*>(sector.data()), size);
    EXPECT_TRUE(in.good()) << image;
    return sector;
}

TEST(BootSectorChecks, VolumesMadeByMkfs) {
    auto fat16 = Sector0("fat16.img", 512);
    auto fat32 = Sector0("fat32.img", 512);
    auto exfat = Sector0("exfat.img", 512);
    auto ext4 = Sector0("ext4.img", 512);
    auto fat16k = Sector0("fat16.4k.img", 4096);
    EXPECT_TRUE(IsFat16BootSector(fat16.data(), 512));
    EXPECT_FALSE(IsFat32BootSector(fat16.data(), 512));
    EXPECT_TRUE(IsFat32BootSector(fat32.data(), 512));
    EXPECT_FALSE(IsFat16BootSector(fat32.data(), 512));
    EXPECT_TRUE(IsExFatBootSector(exfat.data(), 512));
    EXPECT_FALSE(IsExFatBootSector(exfat.data(), 4096));
    for (auto* s : {&ext4, &exfat}) {
        EXPECT_FALSE(IsFat16BootSector(s->data(), 512));
        EXPECT_FALSE(IsFat32BootSector(s->data(), 512));
    }
    EXPECT_FALSE(IsExFatBootSector(fat16.data(), 512));
    EXPECT_TRUE(IsFat16BootSector(fat16k.data(), 4096));
    EXPECT_FALSE(IsFat16BootSector(fat16k.data(), 512));  // bytes per sector must be the device's
}

TEST(BootSectorChecks, FieldByField) {
    auto base = Sector0("fat16.img", 512);
    auto edit = [&](size_t at, uint8_t v) {
        auto s = base;
        s[at] = v;
        return IsFat16BootSector(s.data(), 512);
    };
    EXPECT_TRUE(edit(0x36, 'f'));  // the type text is compared without regard to case
    EXPECT_FALSE(edit(0x3B, 'X'));
    EXPECT_FALSE(edit(0x10, 1));   // one FAT
    EXPECT_FALSE(edit(0x0D, 3));   // sectors per cluster not a power of two
    EXPECT_FALSE(edit(0x1FF, 0));
    EXPECT_FALSE(IsFat16BootSector(nullptr, 512));
    // 224 root entries are 7168 bytes: no multiple of a 4096-byte sector.
    auto k = Sector0("fat16.4k.img", 4096);
    k[0x11] = 224;
    k[0x12] = 0;
    EXPECT_FALSE(IsFat16BootSector(k.data(), 4096));

    auto ex = Sector0("exfat.img", 512);
    auto exEdit = [&](size_t at, uint8_t v) {
        auto s = ex;
        s[at] = v;
        return IsExFatBootSector(s.data(), 512);
    };
    EXPECT_FALSE(exEdit(20, 1));    // bytes 11..63 must be zero
    EXPECT_FALSE(exEdit(0x6E, 3));  // one or two FATs
    EXPECT_FALSE(exEdit(0x6D, 17)); // cluster shift + sector shift above 25
    EXPECT_FALSE(exEdit(0x60, 1));  // root cluster below 2
}

TEST(EmptySearchers, FindNothing) {
    std::unique_ptr<IQuickFileSystemSearchController> fatQuick(CreateFATQuickSearcher());
    ASSERT_NE(fatQuick, nullptr);
    EXPECT_EQ(fatQuick->GetPartitions(nullptr, 0), 0);
    // The exFAT and Ext quick searchers always describe their one volume (their defaults before a
    // search), and write nothing without room.
    for (auto make : {CreateExFatQuickSearch, CreateExt2QuickSearch}) {
        std::unique_ptr<IQuickFileSystemSearchController> q(make());
        ASSERT_NE(q, nullptr);
        EXPECT_EQ(q->GetPartitions(nullptr, 0), 1);
    }
    std::unique_ptr<ICompleteFileSystemSearchController> fat(CreateFATCompleteSearcher());
    std::unique_ptr<ICompleteFileSystemSearchController> exfat(CreateExFatCompleteSearch());
    ASSERT_NE(fat, nullptr);
    ASSERT_NE(exfat, nullptr);
    EXPECT_EQ(fat->GetPartitions(nullptr, 0), 0);
}

}  // namespace
