// Type table, registry, shared readers and file names.
#include <gtest/gtest.h>

#include <cstring>
#include <typeinfo>

#include "media_recovery/raw/CustomFileAnalyser.h"
#include "testing/MemoryDevice.h"
#include "media_recovery/raw/RawAnalyserRegistry.h"
#include "media_recovery/raw/CRAWFileNode.h"
#include "media_recovery/raw/RawCarveScanner.h"
#include "media_recovery/raw/RawFileTypes.h"
#include "media_recovery/raw/RawReaders.h"
#include "media_recovery/raw/formats/FileICOAnalyser.h"
#include "media_recovery/raw/formats/FileTIFAnalyser.h"

namespace {

TEST(RawTypeTable, NamesAndBounds) {
    EXPECT_STREQ(GetRawTypeName(0), "Raw");
    EXPECT_STREQ(GetRawTypeName(33), "JPG");
    EXPECT_STREQ(GetRawTypeName(72), "ACCDB");
    EXPECT_STREQ(GetRawTypeName(73), "NEF");
    EXPECT_EQ(GetRawTypeName(74), nullptr);
    EXPECT_EQ(GetRawTypeName(1999), nullptr);
}

TEST(RawRegistry, CreateAppendsTheTableRows) {
    RawAnalyserList list;
    CreateRawAnalyser(list, 73);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_NE(dynamic_cast<FileTIFAnalyser*>(list[0]), nullptr);
    EXPECT_EQ(list[0]->GetTypeId(), 60);
    CreateRawAnalyser(list, 0);
    CreateRawAnalyser(list, 74);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_NE(dynamic_cast<CustomFileAnalyser*>(list[1]), nullptr);
    EXPECT_EQ(list[2]->GetTypeId(), -1);
    CreateRawAnalyser(list, 20);  // DLL
    CreateRawAnalyser(list, 26);  // EXE
    EXPECT_EQ(list.size(), 3u);
    CreateRawAnalyser(list, 18);  // CUR is served by the icon analyser
    ASSERT_EQ(list.size(), 4u);
    EXPECT_NE(dynamic_cast<FileICOAnalyser*>(list[3]), nullptr);
    EXPECT_EQ(list[3]->GetTypeId(), 32);
    ClearRawAnalyserList(list);
    EXPECT_TRUE(list.empty());
}

TEST(RawRegistry, SearchListFollowsTheIdsWithoutCustomOrExecutables) {
    MemoryDevice dev(std::vector<uint8_t>(4096), 512);
    RawCarveScanner scanner;
    ASSERT_TRUE(scanner.BeginSearch(&dev, 8));
    const RawAnalyserList& list = GetRawAnalyserList();
    ASSERT_FALSE(list.empty());
    for (IRawFileAnalyser* a : list) {
        EXPECT_EQ(dynamic_cast<CustomFileAnalyser*>(a), nullptr);
        EXPECT_GE(a->GetTypeId(), 1);
    }
    // Ids 18 (CUR) and 32 (ICO) each append an icon analyser: two in all.
    int icons = 0;
    for (IRawFileAnalyser* a : list) icons += dynamic_cast<FileICOAnalyser*>(a) != nullptr;
    EXPECT_EQ(icons, 2);
    const std::vector<int>& order = GetSearchTypeOrder();
    EXPECT_EQ(order.size(), 72u);
    EXPECT_EQ(order.front(), 1);
    EXPECT_EQ(order.back(), 72);
    auto pos = [&](int id) { return std::find(order.begin(), order.end(), id) - order.begin(); };
    EXPECT_LT(pos(42), pos(40));  // MP4 before MOV
    EXPECT_LT(pos(2), pos(40));   // 3GP before MOV
    scanner.EndSearch();
}

TEST(RawRegistry, FirstListEndsWithTheCustomAnalyser) {
    RawAnalyserList list;
    RegisterRawAnalysers(list);
    ASSERT_FALSE(list.empty());
    EXPECT_NE(dynamic_cast<CustomFileAnalyser*>(list.back()), nullptr);
    RawHit hit;
    std::vector<uint8_t> sector(512, 0xFF);
    EXPECT_FALSE(list.back()->IsHeader(sector.data(), hit));
    EXPECT_FALSE(list.back()->ComputeSize(hit, nullptr));
    ClearRawAnalyserList(list);
}

std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>((i * 131 + 7) >> 3);
    return v;
}

TEST(CandidateReaderTest, WindowsOverlapByOneSector) {
    MemoryDevice dev(Pattern(512 * 400), 512);
    CandidateReader r(&dev, 2);
    EXPECT_EQ(r.windowSectors, 128u);
    // The last byte of window 0 and a whole sector behind it come from one read.
    const uint8_t* p = ReadCandidateBytes(r, 128 * 512 - 1);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(0, std::memcmp(p, dev.Bytes().data() + 2 * 512 + 128 * 512 - 1, 513));
    uint64_t reads = dev.Reads();
    ReadCandidateBytes(r, 5);
    EXPECT_EQ(dev.Reads(), reads);  // same window
    p = ReadCandidateBytes(r, 128 * 512);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(*p, dev.Bytes()[2 * 512 + 128 * 512]);
}

TEST(CandidateReaderTest, ShortLastWindowAndDeviceEnd) {
    // 128 sectors exactly remain for the second window: one short read serves it, and nothing
    // beyond the device is handed out.
    MemoryDevice dev(Pattern(512 * 256), 512);
    CandidateReader r(&dev, 0);
    const uint8_t* p = ReadCandidateBytes(r, 128 * 512 + 100);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(*p, dev.Bytes()[128 * 512 + 100]);
    EXPECT_NE(ReadCandidateBytes(r, 256 * 512 - 1), nullptr);
    EXPECT_EQ(ReadCandidateBytes(r, 256 * 512), nullptr);
    EXPECT_EQ(ReadCandidateSpan(r, 256 * 512 - 2, 4), nullptr);
    // The zeros behind the device's last byte are zeros, not an older window's bytes.
    p = ReadCandidateBytes(r, 256 * 512 - 1);
    EXPECT_EQ(p[1], 0);
}

TEST(CandidateReaderTest, LargeSectorsAndUnreadable) {
    MemoryDevice big(Pattern(16384 * 40), 16384);
    CandidateReader r(&big, 1);
    EXPECT_GT(r.windowSectors, 0u);
    EXPECT_LE((r.windowSectors + 1) * 16384u, kRawWindowBytes);
    const uint8_t* p = ReadCandidateBytes(r, 16384 * 10 + 3);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(*p, big.Bytes()[16384 * 11 + 3]);

    MemoryDevice dev(Pattern(512 * 64), 512);
    dev.MarkBad(10);
    CandidateReader bad(&dev, 0);
    EXPECT_EQ(ReadCandidateBytes(bad, 0), nullptr);
    CandidateReader none(nullptr, 0);
    EXPECT_EQ(ReadCandidateBytes(none, 0), nullptr);
}

TEST(FooterScan, FindsStraddlingFooterIgnoringCase) {
    std::vector<uint8_t> bytes(512 * 300, 'x');
    std::memcpy(bytes.data() + 128 * 512 - 3, "%%eof", 5);
    MemoryDevice dev(bytes, 512);
    RawHit hit;
    ASSERT_TRUE(ScanForFooter(&dev, hit, FooterPattern("%%EOF", 5)));
    EXPECT_EQ(hit.size, 128u * 512 - 3 + 5);
}

TEST(FooterScan, AbsentFooterGivesLimitPlusOne) {
    MemoryDevice dev(std::vector<uint8_t>(512 * 40, 'x'), 512);
    RawHit hit;
    ASSERT_TRUE(ScanForFooter(&dev, hit, FooterPattern("END", 3, 4000)));
    EXPECT_EQ(hit.size, 4001u);
    // A device that ends before the limit is a read error.
    RawHit h2;
    EXPECT_FALSE(ScanForFooter(&dev, h2, FooterPattern("END", 3, 512 * 100)));
}

void PutBE32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    v[at] = x >> 24;
    v[at + 1] = x >> 16;
    v[at + 2] = x >> 8;
    v[at + 3] = x;
}

TEST(AtomWalk, StopsPastTheLimitAndRejectsZeroLength) {
    std::vector<uint8_t> v(4096);
    PutBE32(v, 0, 24);
    std::memcpy(v.data() + 4, "ftypisom", 8);
    PutBE32(v, 24, 8);
    std::memcpy(v.data() + 28, "free", 4);
    PutBE32(v, 32, 0x7FFFFF00);
    std::memcpy(v.data() + 36, "mdat", 4);
    MemoryDevice dev(v, 512);
    RawHit hit;
    ASSERT_TRUE(WalkAtoms(&dev, hit));
    EXPECT_EQ(hit.size, 32u + 0x7FFFFF00u);

    std::vector<uint8_t> z(1024);
    MemoryDevice zero(z, 512);
    RawHit h2;
    EXPECT_FALSE(WalkAtoms(&zero, h2));
}

TEST(OrderedReaders, FollowTheFlag) {
    const uint8_t b[4] = {0x12, 0x34, 0x56, 0x78};
    g_rawBigEndian = 1;
    EXPECT_EQ(ReadOrderedU16(b), 0x1234);
    EXPECT_EQ(ReadOrderedU32(b), 0x12345678u);
    g_rawBigEndian = 0;
    EXPECT_EQ(ReadOrderedU16(b), 0x3412);
    EXPECT_EQ(ReadOrderedU32(b), 0x78563412u);
}

TEST(RawNames, CountersPrefixesAndCleaning) {
    ResetNameCounters();
    EXPECT_EQ(CRAWFileNode::MakeName("", 33), "FILE000.JPG");
    EXPECT_EQ(CRAWFileNode::MakeName("", 33), "FILE001.JPG");
    EXPECT_EQ(CRAWFileNode::MakeName("NIKON D70", 33), "NIKON D70002.JPG");
    EXPECT_EQ(CRAWFileNode::MakeName("", 9), "FILE000.BMP");
    EXPECT_EQ(CRAWFileNode::MakeName("../a/b\\c:d\x01", 47), "_a_b_c_d_000.PNG");
    EXPECT_EQ(CRAWFileNode::MakeName("..", 47), "FILE001.PNG");
    EXPECT_EQ(CRAWFileNode::MakeName("x", 74), "");
    std::string longPrefix(300, 'A');
    std::string n = CRAWFileNode::MakeName(longPrefix, 72);
    EXPECT_LT(n.size(), 260u);
    EXPECT_EQ(n.substr(n.size() - 10), "A000.ACCDB");
    for (int i = 0; i < 1000; ++i) CRAWFileNode::MakeName("", 28);
    EXPECT_EQ(CRAWFileNode::MakeName("", 28), "FILE1000.GIF");
}

TEST(RawSizePolicy, CappedClippedAndChecked) {
    EXPECT_EQ(RawCarveScanner::ClipSize(300u << 20, 0, 1ull << 40, 512), 0x8000000u);
    EXPECT_EQ(RawCarveScanner::ClipSize(5000, 10, 16, 512), 3072u);
    EXPECT_EQ(RawCarveScanner::ClipSize(UINT64_MAX, 0, UINT64_MAX, 4096), 0x8000000u);
    EXPECT_EQ(RawCarveScanner::ClipSize(100, 16, 16, 512), 0u);
}

}  // namespace
