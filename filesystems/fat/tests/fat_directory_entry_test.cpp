#include <gtest/gtest.h>

#include <cstring>

#include "filesystems/fat/FatBootSector.h"
#include "filesystems/fat/FatDirectoryEntry.h"
#include "filesystems/fat/tests/FatTestSupport.h"
#include "platform/StringConversion.h"
#include "platform/TimeConversion.h"

using namespace fattest;

namespace {

// Entries built by hand to reach the cases no tool writes (broken checksums, bad dates).
struct Entry {
    uint8_t b[32] = {};
    explicit Entry(const char* name11, uint8_t attr = 0x20) {
        std::memcpy(b, name11, 11);
        b[11] = attr;
    }
    Entry& U16(int at, uint16_t v) {
        b[at] = v & 0xFF;
        b[at + 1] = v >> 8;
        return *this;
    }
    Entry& U32(int at, uint32_t v) {
        U16(at, v & 0xFFFF);
        return U16(at + 2, v >> 16);
    }
    Entry& Cluster(uint32_t c) { return U16(20, c >> 16).U16(26, c & 0xFFFF); }
};

// Long-name parts for name (UTF-8), nearest the short entry last in the returned order.
std::vector<Entry> LongNameParts(const std::string& name, uint8_t checksum) {
    std::u16string units = platform::Utf8ToUtf16(name);
    size_t parts = (units.size() + 12) / 13;
    std::vector<Entry> out;
    for (size_t p = parts; p-- > 0;) {
        Entry e("           ", 0x0F);
        e.b[0] = static_cast<uint8_t>((p + 1) | (p + 1 == parts ? 0x40 : 0));
        e.b[13] = checksum;
        static const int kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
        for (int i = 0; i < 13; ++i) {
            size_t k = p * 13 + i;
            uint16_t u = k < units.size() ? units[k] : (k == units.size() ? 0 : 0xFFFF);
            e.U16(kOffsets[i], u);
        }
        out.push_back(e);
    }
    return out;
}

std::string NameOf(const std::vector<Entry>& parts, const Entry& shortEntry) {
    std::vector<uint8_t> bytes;
    for (const Entry& e : parts) bytes.insert(bytes.end(), e.b, e.b + 32);
    bytes.insert(bytes.end(), shortEntry.b, shortEntry.b + 32);
    return FatEntryName(bytes.data(), parts.size());
}

}  // namespace

TEST(FatDirectoryEntry, ShortNamesTrimDeletedMarkAndLowerCaseFlags) {
    EXPECT_EQ(ShortNameToText(Entry("README  TXT").b), "README.TXT");
    EXPECT_EQ(ShortNameToText(Entry("MAKEFILE   ").b), "MAKEFILE");
    Entry deleted("\xE5" "EADME  TXT");
    EXPECT_EQ(ShortNameToText(deleted.b), "#EADME.TXT");
    Entry lower("A       TXT");
    lower.b[12] = 0x18;  // base and extension in lower case
    EXPECT_EQ(ShortNameToText(lower.b), "a.txt");
    lower.b[12] = 0x10;
    EXPECT_EQ(ShortNameToText(lower.b), "A.txt");
    // Bytes no name may hold never reach the text.
    EXPECT_EQ(ShortNameToText(Entry("A/B\x01\x90   X  ").b), "A_B__.X");
}

TEST(FatDirectoryEntry, PlausibilityOfDatesTimesAndAttributes) {
    Entry e("FILE    TXT");
    EXPECT_TRUE(IsPlausibleFatEntry(e.b, false));  // date 0 and time 0
    e.U16(22, (23 << 11) | (59 << 5) | 29).U16(24, (40 << 9) | (12 << 5) | 31);
    EXPECT_TRUE(IsPlausibleFatEntry(e.b, false));
    e.U16(22, 24 << 11);
    EXPECT_FALSE(IsPlausibleFatEntry(e.b, false));
    e.U16(22, 0).U16(16, (13 << 5) | 1);  // month 13
    EXPECT_FALSE(IsPlausibleFatEntry(e.b, false));
    e.U16(16, (3 << 5));  // day 0
    EXPECT_FALSE(IsPlausibleFatEntry(e.b, false));
    e.U16(16, 0).U16(14, 30);  // 60 seconds
    EXPECT_FALSE(IsPlausibleFatEntry(e.b, false));
    e.U16(14, 0);
    e.b[11] = 0x60;
    EXPECT_FALSE(IsPlausibleFatEntry(e.b, false));
    e.b[11] = 0x0F;  // long-name entries always pass
    e.U16(16, 0xFFFF);
    EXPECT_TRUE(IsPlausibleFatEntry(e.b, true));

    Entry f("FILE    TXT");
    f.Cluster(5);
    EXPECT_TRUE(IsPlausibleFatEntry(f.b, false));
    EXPECT_FALSE(IsPlausibleFatEntry(f.b, true));  // a cluster and no size
    f.U32(28, 100);
    EXPECT_TRUE(IsPlausibleFatEntry(f.b, true));
    Entry d("DIR        ", 0x10);
    d.Cluster(0x10005).U32(28, 10);
    EXPECT_FALSE(IsPlausibleFatEntry(d.b, true));
}

TEST(FatDirectoryEntry, DotEntries) {
    EXPECT_TRUE(IsDotEntry(Entry(".          ", 0x10).b));
    EXPECT_FALSE(IsDotEntry(Entry(".          ", 0x20).b));
    EXPECT_TRUE(IsDotDotEntry(Entry("..         ", 0x10).b));
    EXPECT_FALSE(IsDotDotEntry(Entry(".          ", 0x10).b));
}

TEST(FatDirectoryEntry, LongNamesNeedTheirChecksumOrderAllowedCharactersAndTheirShortName) {
    // The long name is taken when its checksum is the short name's and the short name could be made
    // from it (its extension, the first two letters of its base); with the checksum failing, when the
    // short name is at most a byte off it (that byte was changed).
    struct Case {
        const char* longName;
        const char* short11;
        bool checksumFits;
        const char* name;
    } cases[] = {
        {"A long file name, in two parts.jpg", "ALONGF~1JPG", true, "A long file name, in two parts.jpg"},
        {"\xC3\x9C" "BER caf\xC3\xA9.jpg", "\x9A" "BERCA~1JPG", true, "\xC3\x9C" "BER caf\xC3\xA9.jpg"},
        {"exactly13char", "EXACTL~1   ", true, "exactly13char"},
        {"a+b.tar.gz", "A_BTAR~1GZ ", true, "a+b.tar.gz"},
        {".profile", "PROFIL~1   ", true, ".profile"},
        {"Photo.jpg", "LONGFI~1JPG", false, "LONGFI~1.JPG"},   // another file's long name
        {"Photo.jpg", "PHOTO~2 JPG", false, "Photo.jpg"},      // its tail number changed
        {"Track 01.mp3", "TRACK0~1MQ3", false, "Track 01.mp3"},  // a byte of its extension changed
        {"Track 01.mp3", "TRACK0~1MQ4", false, "TRACK0~1.MQ4"},
        {"Track 01.mp\xE2\x89\x80\xE7\x85\xB6", "TRACK0~1MP3", true, "TRACK0~1.MP3"},  // units changed
        {"Track 01\xE8\xAD\x98mp3", "TRACK0~1MP3", true, "TRACK0~1.MP3"},  // its dot changed
        {"a:b.jpg", "A_B~1   JPG", true, "A_B~1.JPG"},
        {"..", "LONGFI~1JPG", true, "LONGFI~1.JPG"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.longName);
        Entry s(c.short11);
        const uint8_t sum = ShortNameChecksum(s.b);
        EXPECT_EQ(NameOf(LongNameParts(c.longName, c.checksumFits ? sum : sum ^ 1), s), c.name);
    }
    // A part whose end was overwritten (a unit where its 0 was, before the 0xFFFF pads): the short
    // name.
    Entry pic("PICTUR~5JPG");
    auto picParts = LongNameParts("Picture number 05.jpg", ShortNameChecksum(pic.b));
    EXPECT_EQ(NameOf(picParts, pic), "Picture number 05.jpg");
    picParts[0].U16(20, 0xBCF9);
    EXPECT_EQ(NameOf(picParts, pic), "PICTUR~5.JPG");
    // A part missing, parts swapped: the short name.
    Entry s("ALONGF~1JPG");
    auto parts = LongNameParts("A long file name, in two parts.jpg", ShortNameChecksum(s.b));
    ASSERT_EQ(parts.size(), 3u);
    auto missing = parts;
    missing.erase(missing.begin());
    EXPECT_EQ(NameOf(missing, s), "ALONGF~1.JPG");
    auto swapped = parts;
    std::swap(swapped[1], swapped[2]);
    EXPECT_EQ(NameOf(swapped, s), "ALONGF~1.JPG");
    // Parts of an older name in front of the current ones are not taken into it.
    Entry n("NEW     JPG");
    auto stale = LongNameParts("Old name of another file.jpg", 0x55);
    auto current = LongNameParts("New.jpg", ShortNameChecksum(n.b));
    stale.insert(stale.end(), current.begin(), current.end());
    EXPECT_EQ(NameOf(stale, n), "New.jpg");
}

TEST(FatDirectoryEntry, DeletedLongNamesAreCheckedWithTheirFirstLetterForTheLostByte) {
    Entry s("PHOTO~1 JPG");
    const uint8_t sum = ShortNameChecksum(s.b);
    auto parts = LongNameParts("photo of the sea.jpg", sum);
    for (Entry& p : parts) p.b[0] = 0xE5;
    s.b[0] = 0xE5;
    EXPECT_EQ(NameOf(parts, s), "photo of the sea.jpg");
    // A long name that does not begin with the short name's letter does not fit it.
    auto other = LongNameParts("xhoto of the sea.jpg", sum);
    for (Entry& p : other) p.b[0] = 0xE5;
    EXPECT_EQ(NameOf(other, s), "#HOTO~1.JPG");
    // A name made of non-ASCII letters begins with '_' in its short form.
    Entry u("_BER~1  JPG");
    auto uparts = LongNameParts("über.jpg", ShortNameChecksum(u.b));
    for (Entry& p : uparts) p.b[0] = 0xE5;
    u.b[0] = 0xE5;
    EXPECT_EQ(NameOf(uparts, u), "über.jpg");
}

TEST(FatDirectoryEntry, FieldsOfAnEntry) {
    Entry e("\xE5" "ILE    TXT");
    e.U16(14, (10 << 11) | (30 << 5) | 5).U16(16, (44 << 9) | (2 << 5) | 29);  // 2024-02-29 10:30:10
    e.U16(18, (44 << 9) | (3 << 5) | 1).U16(22, 0).U16(24, (44 << 9) | (13 << 5) | 1);  // a write date that is none
    e.Cluster(0x12345).U32(28, 4096);
    FatEntryFields f = DecodeFatEntry("x", e.b);
    uint64_t expected = 0;
    ASSERT_TRUE(platform::DosDateTimeToFileTime((44 << 9) | (2 << 5) | 29, (10 << 11) | (30 << 5) | 5, &expected));
    EXPECT_EQ(f.creationTime, expected);
    EXPECT_EQ(platform::FileTimeToUnixSeconds(f.accessTime), 1709251200);  // 2024-03-01
    EXPECT_EQ(f.writeTime, 0u);
    EXPECT_TRUE(f.deleted);
    EXPECT_EQ(f.firstCluster, 0x12345u);
    EXPECT_EQ(f.size, 4096u);
    EXPECT_EQ(f.attributes, 0x20);
}

TEST(FatDirectoryEntry, RootOfAMadeVolumeNamesItsFilesAsFlsDoes) {
    CImageStorage device(ImagePath("fat16.img"), 512);
    ASSERT_EQ(device.Open(), 1);
    std::vector<uint8_t> boot(512);
    ASSERT_TRUE(device.ReadSectors(boot.data(), 0, 1));
    FatBootSector view{boot.data(), FAT_VARIANT_16, 512};
    std::vector<uint8_t> root(view.RootDirectorySectors() * 512);
    ASSERT_TRUE(device.ReadSectors(root.data(), view.SectorsBeforeData() - view.RootDirectorySectors(),
                                   view.RootDirectorySectors()));
    std::vector<std::string> names;
    size_t lfnStart = SIZE_MAX;
    for (size_t off = 0; off < root.size() && root[off] != 0; off += 32) {
        const uint8_t* e = root.data() + off;
        if (e[11] == 0x0F) {
            if (lfnStart == SIZE_MAX) lfnStart = off;
            continue;
        }
        size_t start = lfnStart == SIZE_MAX ? off : lfnStart;
        names.push_back(FatEntryName(root.data() + start, (off - start) / 32));
        lfnStart = SIZE_MAX;
    }
    std::vector<std::string> expected = {"DCIM", "Music", "Documents", "Old", "a.txt", "Long File Name.jpg",
                                         "Ümlaut café.txt", "empty1.dat", "empty2.dat"};
    EXPECT_EQ(names, expected);
}
