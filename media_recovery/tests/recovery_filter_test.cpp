#include <gtest/gtest.h>

#include "media_recovery/CRecoveryFilter.h"
#include "testing/TestNodes.h"

namespace {

bool Accepts(CRecoveryFilter& filter, const char* name, bool directory = false) {
    CTestNode node(name, 1, directory);
    return filter.Accept(&node);
}

int Category(CRecoveryFilter& filter, const char* name) {
    CTestNode node(name);
    return filter.GetExtensionCategory(&node);
}

int Flag(CRecoveryFilter& filter, const char* name) {
    CTestNode node(name);
    return filter.GetCategoryFlag(&node);
}

TEST(RecoveryFilter, DefaultSelectionIsPicturesAudioVideoDocuments) {
    CRecoveryFilter filter;
    EXPECT_EQ(filter.GetCategories(), 46);
    EXPECT_FALSE(filter.IsEnabled());
    for (const char* name : {"a.JPG", "b.mp3", "c.mp4", "d.pdf"}) EXPECT_TRUE(Accepts(filter, name)) << name;
    for (const char* name : {"e.zip", "f.vcf", "g.xyz", "noext"}) EXPECT_FALSE(Accepts(filter, name)) << name;
    EXPECT_TRUE(Accepts(filter, "folder.zip", true));
    EXPECT_FALSE(filter.Accept(nullptr));
}

TEST(RecoveryFilter, CategoriesAndFlags) {
    CRecoveryFilter filter;
    EXPECT_EQ(Category(filter, "photo.JPEG"), CATEGORY_PICTURE);
    EXPECT_EQ(Flag(filter, "photo.JPEG"), 2);
    EXPECT_EQ(Category(filter, "track.MP3"), CATEGORY_AUDIO);
    EXPECT_EQ(Flag(filter, "track.MP3"), 4);
    EXPECT_EQ(Flag(filter, "clip.3gp"), 8);
    EXPECT_EQ(Flag(filter, "font.ttf"), 16);
    EXPECT_EQ(Flag(filter, "sheet.xlsx"), 32);
    EXPECT_EQ(Flag(filter, "card.vcf"), 1);
    for (const char* name : {"ends.", "nodot", "odd.xyz"}) {
        EXPECT_EQ(Category(filter, name), CATEGORY_OTHER) << name;
        EXPECT_EQ(Flag(filter, name), 64) << name;
    }
    EXPECT_EQ(Category(filter, "archive.tar.zip"), CATEGORY_ARCHIVE);
    EXPECT_EQ(filter.GetCategoryFlag(nullptr), 64);
}

// The filter remembers the last extension it looked up: runs of one extension, changes of case,
// longer and shorter extensions sharing a start, and ones too long to remember all get the table's answer.
TEST(RecoveryFilter, RepeatedAndNeighbouringExtensions) {
    CRecoveryFilter filter;
    const struct {
        const char* name;
        int category;
    } cases[] = {
        {"a.jpg", CATEGORY_PICTURE},     {"b.JPG", CATEGORY_PICTURE},   {"c.jpgx", CATEGORY_OTHER},
        {"d.jp", CATEGORY_OTHER},        {"e.Jpg", CATEGORY_PICTURE},   {"f.", CATEGORY_OTHER},
        {"g.mp3", CATEGORY_AUDIO},       {"h.mp3", CATEGORY_AUDIO},     {"i.mp3.zip", CATEGORY_ARCHIVE},
        {"j.abcdefghijklmno", CATEGORY_OTHER}, {"k.abcdefghijklmnopqrs.mp4", CATEGORY_VIDEO},
        {"l.mp4abcdefghijklmnopq", CATEGORY_OTHER}, {"m.MP4", CATEGORY_VIDEO}, {"nodot", CATEGORY_OTHER},
        {"o.jpg", CATEGORY_PICTURE},
    };
    for (int round = 0; round < 2; ++round)
        for (const auto& c : cases) EXPECT_EQ(Category(filter, c.name), c.category) << c.name;
}

TEST(RecoveryFilter, SelectionMasks) {
    CRecoveryFilter filter;
    filter.SetCategories(127);
    EXPECT_TRUE(Accepts(filter, "e.zip"));
    EXPECT_TRUE(Accepts(filter, "g.xyz"));
    filter.SetCategories(0);
    EXPECT_TRUE(Accepts(filter, "e.zip"));
    EXPECT_TRUE(Accepts(filter, "noext"));
    filter.SetCategories(0x40);
    EXPECT_TRUE(Accepts(filter, "g.xyz"));
    EXPECT_TRUE(Accepts(filter, "noext"));
    EXPECT_FALSE(Accepts(filter, "a.jpg"));
    EXPECT_FALSE(Accepts(filter, "e.zip"));
    EXPECT_TRUE(Accepts(filter, "DCIM", true));
    filter.SetCategories(0x10 | 0x01);
    EXPECT_TRUE(Accepts(filter, "e.zip"));
    EXPECT_TRUE(Accepts(filter, "f.vcf"));
    EXPECT_FALSE(Accepts(filter, "d.pdf"));
}

TEST(ExtensionHashTable, CaseBlindHashesAndDuplicates) {
    ExtensionHash hash;
    for (int type = 0; type < 3; ++type) EXPECT_EQ(hash.HashString("JpG", type), hash.HashString("jpg", type));
    EXPECT_EQ(hash.HashString("", 0), 0x7FED7FEDu);
    EXPECT_EQ(hash.HashString("", 2), 0x7FED7FEDu);
    InitExtensionGroups(hash);
    // 48 + 26 + 26 + 7 + 12 + 6 pieces, svg and aif twice each.
    EXPECT_EQ(hash.UsedSlots(), 125);
    int svg = hash.Find("SVG");
    ASSERT_GE(svg, 0);
    EXPECT_EQ(hash.At(svg).category, CATEGORY_PICTURE);
    EXPECT_EQ(hash.At(hash.Find("aif")).category, CATEGORY_AUDIO);
    EXPECT_EQ(hash.Find("xyz"), -1);
    EXPECT_EQ(hash.Find(nullptr), -1);
}

TEST(ExtensionHashTable, FullTableDropsAndStillFinds) {
    ExtensionHash hash;
    for (int i = 0; i < ExtensionHash::kSlots + 10; ++i) hash.Insert(("e" + std::to_string(i)).c_str(), 3);
    EXPECT_EQ(hash.UsedSlots(), ExtensionHash::kSlots);
    EXPECT_GE(hash.Find("e5"), 0);
    EXPECT_EQ(hash.Find("absent"), -1);  // probes every slot once and stops
}

TEST(RecoveryFilter, ProcessWideInstance) {
    ASSERT_NE(GetRecoveryFilter(), nullptr);
    EXPECT_EQ(GetRecoveryFilter(), GetRecoveryFilter());
}

}  // namespace
