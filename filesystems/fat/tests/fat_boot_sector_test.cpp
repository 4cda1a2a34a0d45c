#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "filesystems/fat/FatBootSector.h"
#include "filesystems/fat/tests/FatTestSupport.h"

using namespace fattest;

namespace {

struct Layout {
    uint64_t clusterAreaStart = 0;
    uint64_t lastCluster = 0;
};

// The layout that fsstat reports for a fixture volume.
Layout FsstatLayout(const std::string& image) {
    std::string text = ReadFile(ImagePath(image) + ".fsstat");
    Layout l;
    auto numberAfter = [&](const std::string& label) -> uint64_t {
        size_t at = text.find(label);
        return at == std::string::npos ? 0 : std::stoull(text.substr(at + label.size()));
    };
    l.clusterAreaStart = numberAfter("Cluster Area: ");
    l.lastCluster = numberAfter("Total Cluster Range: 2 - ");
    return l;
}

std::vector<uint8_t> BootSector(const std::string& image) {
    std::vector<uint8_t> bytes(ImageSectorSize(image));
    std::ifstream in(ImagePath(image), std::ios::binary);
    in.read(reinterpret_cast<char*>(bytes.data()), bytes.size());
    return bytes;
}

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = v & 0xFF;
    b[at + 1] = v >> 8;
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
}

}  // namespace

TEST(FatBootSector, EachMadeVolumeIsRecognisedAsItsVariantAndItsLayoutMatchesFsstat) {
    struct Case {
        const char* image;
        uint32_t variant;
    } cases[] = {{"fat12.img", FAT_VARIANT_12},   {"fat16.img", FAT_VARIANT_16}, {"fat16_f0.img", FAT_VARIANT_16},
                 {"fat16_4k.img", FAT_VARIANT_16}, {"fat32.img", FAT_VARIANT_32}, {"fat32_4k.img", FAT_VARIANT_32}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image);
        std::vector<uint8_t> s = BootSector(c.image);
        const uint32_t ss = ImageSectorSize(c.image);
        EXPECT_EQ(DetectFatVariant(s.data(), ss), c.variant);
        EXPECT_EQ(IsFat12BootSector(s.data(), ss), c.variant == FAT_VARIANT_12);
        EXPECT_EQ(IsFat16BootSector(s.data(), ss), c.variant == FAT_VARIANT_16);
        EXPECT_EQ(IsFat32BootSector(s.data(), ss), c.variant == FAT_VARIANT_32);
        // The sector size must be the device's.
        EXPECT_EQ(DetectFatVariant(s.data(), ss == 512 ? 4096 : 512), FAT_VARIANT_NONE);

        CImageStorage device(ImagePath(c.image), ss);
        ASSERT_EQ(device.Open(), 1);
        FatGeometry g;
        ASSERT_TRUE(MakeFatCandidate(FatBootSector{s.data(), c.variant, ss}, 0, device.GetSectorCount(), false, &g));
        Layout l = FsstatLayout(c.image);
        EXPECT_EQ(g.dataStart, l.clusterAreaStart);
        EXPECT_EQ(g.clusterCount + 1, l.lastCluster);
        FatBootSector view{s.data(), c.variant, ss};
        EXPECT_EQ(g.volumeLength, std::min<uint64_t>(view.TotalSectors(), device.GetSectorCount()));
        EXPECT_EQ(g.variant, c.variant);
        EXPECT_EQ(g.flags, c.variant == FAT_VARIANT_12   ? FAT_SEEN_FAT12_BOOT
                           : c.variant == FAT_VARIANT_16 ? FAT_SEEN_FAT16_BOOT
                                                         : FAT_SEEN_FAT32_BOOT);
        if (c.variant == FAT_VARIANT_32) {
            EXPECT_EQ(g.root, 2u);
        } else {
            EXPECT_EQ(g.root, 512u * 32 / ss);  // mkfs gives hard-disk volumes 512 root entries
        }
    }
}

TEST(FatBootSector, TypeTextFatCountClusterSizeAndRootEntriesAreChecked) {
    std::vector<uint8_t> s = BootSector("fat16.img");
    ASSERT_TRUE(IsFat16BootSector(s.data(), 512));
    auto changed = [&](auto edit) {
        std::vector<uint8_t> copy = s;
        edit(copy);
        return IsFat16BootSector(copy.data(), 512);
    };
    EXPECT_TRUE(changed([](std::vector<uint8_t>& b) { std::memcpy(&b[54], "fat16   ", 8); }));
    EXPECT_FALSE(changed([](std::vector<uint8_t>& b) { std::memcpy(&b[54], "FAT16x  ", 8); }));
    EXPECT_FALSE(changed([](std::vector<uint8_t>& b) { b[16] = 1; }));
    EXPECT_FALSE(changed([](std::vector<uint8_t>& b) { b[13] = 3; }));
    EXPECT_FALSE(changed([](std::vector<uint8_t>& b) { Put16(b, 17, 223); }));
    EXPECT_FALSE(changed([](std::vector<uint8_t>& b) { Put16(b, 22, 0); }));
    EXPECT_FALSE(changed([](std::vector<uint8_t>& b) { b[511] = 0; }));

    // 224 root entries fill 7168 bytes: whole sectors of 512, not of 4096.
    std::vector<uint8_t> big = BootSector("fat16_4k.img");
    Put16(big, 17, 224);
    EXPECT_FALSE(IsFat16BootSector(big.data(), 4096));
    Put16(big, 17, 256);
    EXPECT_TRUE(IsFat16BootSector(big.data(), 4096));

    std::vector<uint8_t> f12 = BootSector("fat12.img");
    EXPECT_FALSE(IsFat16BootSector(f12.data(), 512));
    f12[13] = 6;
    EXPECT_FALSE(IsFat12BootSector(f12.data(), 512));
}

TEST(FatBootSector, ClusterCountRangesAndFatSizeBoundTheVariants) {
    // A FAT16 view over a synthetic boot sector (hand-made: no tool writes these counts).
    std::vector<uint8_t> s = BootSector("fat16.img");
    Put16(s, 22, 256);
    const FatBootSector view{s.data(), FAT_VARIANT_16, 512};
    const uint64_t before = view.SectorsBeforeData();
    const uint32_t spc = view.SectorsPerCluster();
    FatGeometry g;
    auto withClusters = [&](uint64_t clusters) {
        Put16(s, 19, static_cast<uint16_t>(0));
        Put32(s, 32, static_cast<uint32_t>(before + clusters * spc));
        Put16(s, 22, 256);
        return MakeFatCandidate(view, 0, 1ULL << 32, false, &g);
    };
    EXPECT_FALSE(withClusters(4084));
    EXPECT_TRUE(withClusters(4085));
    EXPECT_EQ(g.clusterCount, 4085u);
    EXPECT_TRUE(withClusters(65523));
    EXPECT_FALSE(withClusters(65524));
    // 20000 clusters need 79 sectors of FAT16.
    withClusters(20000);
    Put16(s, 22, 78);
    EXPECT_FALSE(MakeFatCandidate(FatBootSector{s.data(), FAT_VARIANT_16, 512}, 0, 1ULL << 32, false, &g));
}

TEST(FatBootSector, VolumeRunningPastTheDeviceIsClippedAndNothingStartsBeyondIt) {
    std::vector<uint8_t> s = BootSector("fat32.img");
    const FatBootSector view{s.data(), FAT_VARIANT_32, 512};
    FatGeometry whole, clipped;
    ASSERT_TRUE(MakeFatCandidate(view, 0, 1ULL << 40, false, &whole));
    const uint64_t device = view.TotalSectors() - 5000;
    ASSERT_TRUE(MakeFatCandidate(view, 0, device, false, &clipped));
    EXPECT_EQ(clipped.volumeLength, device);
    EXPECT_EQ(clipped.clusterCount, (device - view.SectorsBeforeData()) / view.SectorsPerCluster());
    EXPECT_LT(clipped.clusterCount, whole.clusterCount);
    // Cut to fewer clusters than its variant's least, a volume is still the one its boot sector gives.
    for (const char* image : {"fat32.img", "fat16.img"}) {
        SCOPED_TRACE(image);
        std::vector<uint8_t> b = BootSector(image);
        const FatBootSector v{b.data(), DetectFatVariant(b.data(), 512), 512};
        const uint64_t cut = v.SectorsBeforeData() + 1000ULL * v.SectorsPerCluster();
        ASSERT_TRUE(MakeFatCandidate(v, 0, cut, false, &clipped));
        EXPECT_EQ(clipped.variant, v.variant);
        EXPECT_EQ(clipped.clusterCount, 1000u);
        EXPECT_EQ(clipped.volumeLength, cut);
    }
    // A boot sector at the device's end gives nothing; a device that ends before the data area (cut
    // inside the FAT) gives the volume, with none of its clusters.
    EXPECT_FALSE(MakeFatCandidate(view, device, device, false, &clipped));
    ASSERT_TRUE(MakeFatCandidate(view, 0, view.SectorsBeforeData(), false, &clipped));
    EXPECT_EQ(clipped.clusterCount, 0u);
}

TEST(FatBootSector, Fat32RootMustBeADataClusterAndBackupReadingsAreFlagged) {
    std::vector<uint8_t> s = BootSector("fat32.img");
    FatGeometry g;
    const FatBootSector view{s.data(), FAT_VARIANT_32, 512};
    ASSERT_TRUE(MakeFatCandidate(view, 6, 1ULL << 40, true, &g));
    EXPECT_EQ(g.flags, static_cast<uint32_t>(FAT_SEEN_FAT32_BACKUP));
    EXPECT_EQ(g.volumeStart, 6u);
    EXPECT_EQ(g.dataStart, 6 + view.SectorsBeforeData());
    const uint32_t n = g.clusterCount;
    Put32(s, 44, n + 1);  // the last cluster of the volume
    EXPECT_TRUE(MakeFatCandidate(view, 0, 1ULL << 40, false, &g));
    Put32(s, 44, n + 2);
    EXPECT_FALSE(MakeFatCandidate(view, 0, 1ULL << 40, false, &g));
    Put32(s, 44, 1);
    EXPECT_FALSE(MakeFatCandidate(view, 0, 1ULL << 40, false, &g));
}

TEST(FatBootSector, AccessorsAnswerZeroForAnUnknownVariant) {
    std::vector<uint8_t> s = BootSector("fat16.img");
    FatBootSector none{s.data(), FAT_VARIANT_NONE, 512};
    EXPECT_EQ(none.SectorsPerFat(), 0u);
    EXPECT_EQ(none.ReservedSectors(), 0u);
    EXPECT_EQ(none.SectorsPerCluster(), 0u);
    EXPECT_EQ(none.TotalSectors(), 0u);
    FatGeometry g;
    EXPECT_FALSE(MakeFatCandidate(none, 0, 1 << 20, false, &g));
}
