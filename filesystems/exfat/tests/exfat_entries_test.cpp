// Boot-sector test, entry validators, checksum, entry-set parser, FAT windows and file node, on
// bytes made here.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <vector>

#include "filesystems/FileSystemSearchers.h"
#include "filesystems/exfat/CExFatFileNode.h"
#include "filesystems/exfat/ExFatDirectoryEntry.h"
#include "filesystems/exfat/ExFatEntrySetParser.h"
#include "filesystems/exfat/ExFatVolume.h"
#include "media_recovery/file_model/CDataRunList.h"
#include "media_recovery/file_model/IFileProperties.h"
#include "filesystems/exfat/tests/ExFatEntryBuilders.h"
#include "sqlite_recovery/framework/IStorageDevice.h"

using namespace exfattest;

namespace {

TEST(ExFatBootSector, TheTestsInTheirOrder) {
    // Heap 2048, 8 sectors a cluster, 1000 clusters: the last test counts 999 of them.
    auto boot = [](std::function<void(uint8_t*)> edit, uint32_t sectorSize = 512) {
        std::vector<uint8_t> s(4096);
        std::memcpy(&s[3], "EXFAT   ", 8);
        Put64(&s[72], 10040), Put32(&s[80], 24), Put32(&s[84], 1000), Put32(&s[88], 2048);
        Put32(&s[92], 1000), Put32(&s[96], 2);
        s[108] = 9, s[109] = 3, s[110] = 1, s[510] = 0x55, s[511] = 0xAA;
        edit(s.data());
        return IsExFatBootSector(s.data(), sectorSize);
    };
    EXPECT_TRUE(boot([](uint8_t*) {}));
    EXPECT_FALSE(boot([](uint8_t* s) { Put64(&s[72], 10039); }));
    EXPECT_FALSE(boot([](uint8_t* s) { s[40] = 1; }));
    EXPECT_FALSE(boot([](uint8_t* s) { s[108] = 12; }));
    EXPECT_TRUE(boot([](uint8_t* s) { s[108] = 12, s[109] = 0, Put32(&s[88], 1024), Put64(&s[72], 4000); }, 4096));
    EXPECT_TRUE(boot([](uint8_t* s) { s[109] = 16, Put32(&s[92], 1), Put64(&s[72], 2048); }));
    EXPECT_FALSE(boot([](uint8_t* s) { s[109] = 17, Put32(&s[92], 1), Put64(&s[72], 2048); }));
    EXPECT_FALSE(boot([](uint8_t* s) { s[110] = 0; }));
    EXPECT_FALSE(boot([](uint8_t* s) { s[110] = 3; }));
    EXPECT_FALSE(boot([](uint8_t* s) { Put32(&s[96], 1); }));
    // One FAT length is checked, whatever the number of FATs.
    EXPECT_TRUE(boot([](uint8_t* s) { s[110] = 2, Put32(&s[88], 1024); }));
    EXPECT_FALSE(boot([](uint8_t* s) { s[110] = 2, Put32(&s[88], 1024), Put32(&s[84], 1001); }));
    EXPECT_FALSE(boot([](uint8_t* s) { s[511] = 0; }));
    EXPECT_FALSE(IsExFatBootSector(nullptr, 512));
}

TEST(ExFatEntries, Validators) {
    const uint32_t dayZero = kTime & ~(31u << 16), monthZero = kTime & ~(15u << 21);
    for (uint32_t bad : {dayZero, monthZero, (kTime & ~(31u << 11)) | (24u << 11), (kTime & ~(63u << 5)) | (60u << 5),
                         (kTime & ~31u) | 30u})
        EXPECT_FALSE(IsValidExFatTimestamp(bad)) << std::hex << bad;
    EXPECT_TRUE(IsValidExFatTimestamp(kTime));

    struct Case {
        const char* what;
        Entry entry;
        bool valid;
    };
    auto with = [](Entry e, size_t at, uint8_t v) { return e[at] = v, e; };
    const Entry file = FileEntry(0x85, 2), stream = StreamEntry(0xC0, 5, 1000, true);
    const Entry name = NameEntry(0xC1, u"photo.jpg");
    Entry label(32);
    label[0] = 0x83, label[1] = 3, label[2] = 'S', label[4] = 'D', label[6] = '1';
    const Case cases[] = {
        {"file", file, true},
        {"file 18 secondaries", with(file, 1, 18), true},
        {"file 1 secondary", with(file, 1, 1), false},
        {"file 19 secondaries", with(file, 1, 19), false},
        {"file 10 ms 200", with(file, 21, 200), false},
        {"file reserved", with(file, 30, 1), false},
        {"stream", stream, true},
        {"stream cluster 1", StreamEntry(0xC0, 1, 10, false), false},
        {"stream cluster 0 NoFatChain", StreamEntry(0xC0, 0, 10, true), true},
        {"stream cluster 0xFFFFFFF7", StreamEntry(0xC0, 0xFFFFFFF7, 10, false), false},
        {"stream longer than the device", StreamEntry(0xC0, 5, 1ull << 40, false), false},
        {"stream extent into the marks", StreamEntry(0xC0, 0xFFFFFFF0, 0x10000, true), false},
        {"stream reserved", with(stream, 17, 1), false},
        {"name", name, true},
        {"name flags 1", with(name, 1, 1), false},
        {"name flags 2", with(name, 1, 2), false},
        {"name empty", NameEntry(0xC1, u""), false},
        {"name with *", NameEntry(0xC1, u"a*b"), false},
        {"name with 0x01", NameEntry(0xC1, u"a\x01"), false},
        {"name with 0x1A", NameEntry(0xC1, u"a\x1A"), true},
        {"name with 0x2A00", NameEntry(0xC1, u"a\x2A00"), true},
        {"label", label, true},
        {"label of 12", with(label, 1, 12), false},
        {"label byte after its text", with(label, 9, 1), false},
    };
    for (const Case& c : cases) {
        const uint8_t* e = c.entry.data();
        bool valid = false;
        switch (e[0]) {
            case 0x85: valid = IsValidFileEntry(e); break;
            case 0xC0: valid = IsValidStreamEntry(e, 9, 12, 1u << 20); break;
            case 0xC1: valid = IsValidNameEntry(e); break;
            case 0x83: valid = IsValidLabelEntry(e); break;
        }
        EXPECT_EQ(valid, c.valid) << c.what;
    }
    Entry bitmap(32);
    bitmap[0] = 0x81;
    Put32(&bitmap[20], 2), Put64(&bitmap[24], 4096);
    EXPECT_TRUE(IsValidBitmapEntry(bitmap.data(), 9, 12, 1u << 20));
    EXPECT_FALSE(IsValidBitmapEntry(with(bitmap, 10, 1).data(), 9, 12, 1u << 20));
    EXPECT_FALSE(IsValidUpcaseEntry(with(bitmap, 2, 1).data(), 9, 12, 1u << 20));
    EXPECT_TRUE(IsValidUpcaseEntry(with(bitmap, 5, 1).data(), 9, 12, 1u << 20));  // its checksum is not read

    // A cluster of a folder against a file's bytes that begin as a deleted label does.
    Entry folder = Set(true, u"photo.jpg", 5, 1000), data(4096);
    folder.resize(4096);
    uint32_t x = 1;
    for (uint8_t& b : data) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    data[0] = 0x03;
    EXPECT_TRUE(IsBelievableFolderEntry(data.data()));
    EXPECT_FALSE(HoldsOnlyBelievableFolderEntries(data.data(), data.size()));
    EXPECT_TRUE(HoldsOnlyBelievableFolderEntries(folder.data(), folder.size()));
    EXPECT_TRUE(HoldsOnlyBelievableFolderEntries(Entry(4096).data(), 4096));
}

TEST(ExFatEntries, ChecksumOfALiveAndOfADeletedSet) {
    Entry vendor(32);
    vendor[0] = 0xE1;
    Entry set = Set(true, u"A picture with a rather long name.jpg", 10, 5000, {vendor});
    const uint16_t sum = static_cast<uint16_t>(set[2] | set[3] << 8);
    EXPECT_TRUE(EntrySetChecksumMatches(set.data(), static_cast<uint32_t>(set.size()), sum));
    EXPECT_FALSE(EntrySetChecksumMatches(set.data(), static_cast<uint32_t>(set.size()), sum ^ 1));
    // Deleting clears bit 7 of every type byte; the sum made while live still matches.
    for (size_t i = 0; i < set.size(); i += 32) set[i] &= 0x7F;
    EXPECT_TRUE(EntrySetChecksumMatches(set.data(), static_cast<uint32_t>(set.size()), sum));
}

std::vector<ExFatEntryRecord> Parse(const std::vector<Entry>& pieces, bool* ended = nullptr) {
    ExFatEntrySetParser parser;
    ExFatVolumeParameters p;
    p.sectorShift = 9, p.clusterShift = 12, p.deviceSectors = 1u << 20;
    parser.SetVolumeParameters(p);
    bool all = true;
    uint64_t sector = 1000;
    for (const Entry& bytes : pieces) {
        all = parser.ParseDirectoryBuffer(bytes.data(), static_cast<uint32_t>(bytes.size()), sector) && all;
        sector += bytes.size() / 512 + 1;
    }
    if (ended) *ended = !all;
    return parser.Finished();
}

Entry Join(std::vector<Entry> parts) {
    Entry out;
    for (Entry& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(ExFatEntrySetParser, SetsLiveDeletedBrokenAndBenign) {
    const Entry a = Set(true, u"IMG_0001.JPG", 7, 3000), b = Set(false, u"gone.mp3", 9, 100);
    Entry vendor(32), guid(32), end(32);
    vendor[0] = 0xE0, guid[0] = 0xA0;
    bool ended = false;
    // Ten volume GUID entries (benign primaries) put the last set in the buffer's second sector.
    Entry guids;
    for (int i = 0; i < 10; ++i) guids.insert(guids.end(), guid.begin(), guid.end());
    auto r = Parse({Join({a, b, guids, a})}, &ended);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_FALSE(ended);
    EXPECT_STREQ(r[0].name, "IMG_0001.JPG");
    EXPECT_EQ(r[0].inUse, 1);
    EXPECT_EQ(r[0].firstCluster, 7u);
    EXPECT_EQ(r[0].dataLength, 3000u);
    EXPECT_EQ(r[0].noFatChain, 1);
    EXPECT_EQ(r[0].sector, 1000u);
    EXPECT_EQ(r[2].sector, 1001u);  // the third set begins in the buffer's second sector
    EXPECT_STREQ(r[1].name, "gone.mp3");
    EXPECT_EQ(r[1].inUse, 0);

    // A set whose entries disagree on being in use gives nothing; the next one still counts.
    Entry mixed = a;
    mixed[32] = 0x40;
    EXPECT_EQ(Parse({Join({mixed, b})}).size(), 1u);
    // 0x00 ends the buffer; an unknown critical entry (a damaged type byte) costs only itself, and
    // a vendor entry inside a set and a GUID entry between sets cost nothing.
    Entry critical(32);
    critical[0] = 0x84;
    EXPECT_EQ(Parse({Join({a, end, a})}, &ended).size(), 1u);
    EXPECT_TRUE(ended);
    EXPECT_EQ(Parse({Join({a, critical, a})}, &ended).size(), 2u);
    EXPECT_FALSE(ended);
    r = Parse({Join({guid, Set(true, u"camera.jpg", 3, 10, {vendor}), a})}, &ended);
    EXPECT_FALSE(ended);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_STREQ(r[0].name, "camera.jpg");
    // A deleted vendor entry in a deleted set.
    vendor[0] = 0x60;
    EXPECT_EQ(Parse({Set(false, u"old.jpg", 3, 10, {vendor})}).size(), 1u);
    // A refused set is passed over, not taken for the folder's end; a set whose only fault is a
    // time (all three 0xFF, an access time of 0) is a file with the times it has.
    Entry badFile = a, badStream = a, noTimes = b, noAccess = a;
    badFile[1] = 19;
    badStream[32 + 2] = 1;
    for (size_t i = 8; i < 20; ++i) noTimes[i] = 0xFF;
    for (size_t i = 16; i < 20; ++i) noAccess[i] = 0;
    r = Parse({Join({badFile, a, badStream, noTimes, noAccess})}, &ended);
    EXPECT_FALSE(ended);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_STREQ(r[1].name, "gone.mp3");
    EXPECT_EQ(r[1].modifyTimestamp, 0xFFFFFFFFu);
    EXPECT_EQ(ExFatTimestampToFileTime(r[1].modifyTimestamp), 0u);
    EXPECT_EQ(r[2].accessTimestamp, 0u);
    EXPECT_EQ(r[2].modifyTimestamp, r[0].modifyTimestamp);
}

TEST(ExFatEntrySetParser, WhatASetShowsWasChangedSinceItWasWritten) {
    // A byte of the set changed, its checksum redone or not: what the set's own checks can tell.
    const Entry sound = Set(true, u"IMG_0001.jpg", 7, 3000);
    struct {
        const char* what;
        size_t at;  // the byte changed
        uint8_t value;
        bool redone;  // the set checksum made again after
        uint8_t changed;
    } cases[] = {
        {"as written", 0, 0x85, false, 0},
        {"a time, checksum left", 9, 0x11, false, ExFatEntryRecord::kChecksumDiffers},
        {"a time, checksum redone", 9, 0x11, true, 0},
        {"a name unit, checksum redone", 64 + 2 + 2 * 9, 'x', true, ExFatEntryRecord::kNameDiffers},
        {"a name unit, checksum left", 64 + 2 + 2 * 9, 'x', false,
         ExFatEntryRecord::kNameDiffers | ExFatEntryRecord::kChecksumDiffers},
        {"a unit's case alone: the hash is of capitals", 64 + 2 + 2 * 9, 'J', true, 0},
        {"the name length, checksum redone: the name is whole", 32 + 3, 5, true, 0},
        {"the name hash, checksum redone", 32 + 4, 0x12, true, ExFatEntryRecord::kNameDiffers},
        {"a unit made NUL, checksum redone", 64 + 2 + 2 * 11, 0, true, ExFatEntryRecord::kNameDiffers},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Entry set = sound;
        set[c.at] = c.value;
        if (c.redone) PutSetChecksum(set);
        const auto r = Parse({set});
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].changed, c.changed);
    }
    // A name with units whose capitals are not known without the volume's table is checked by its
    // length alone.
    Entry accented = Set(true, u"caf\u00E9.jpg", 7, 3000);
    accented[32 + 4] ^= 1;
    PutSetChecksum(accented);
    EXPECT_EQ(Parse({accented})[0].changed, 0);
}

TEST(ExFatEntrySetParser, SetsAcrossBuffersNamesCutAndSurrogates) {
    const Entry a = Set(true, u"a name of more than fifteen units.pdf", 7, 3000);
    auto r = Parse({Entry(a.begin(), a.begin() + 96), Entry(a.begin() + 96, a.end())});
    ASSERT_EQ(r.size(), 1u);
    EXPECT_STREQ(r[0].name, "a name of more than fifteen units.pdf");

    // 255 two-byte characters: cut to 258 bytes, whole characters.
    r = Parse({Set(true, std::u16string(255, u'\u00E9'), 7, 10)});
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(std::strlen(r[0].name), 258u);
    // A surrogate pair split over two name entries is one character; a lone one becomes 0x01.
    r = Parse({Set(true, std::u16string(14, u'x') + u"\xD83D\xDE00" + u"\xDC00z", 7, 10)});
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(std::string(r[0].name), std::string(14, 'x') + "\xF0\x9F\x98\x80\x01z");
}

// A device whose FAT (from sector kFatStart) holds entries[c] for cluster c, 0 elsewhere.
class FatDevice : public IStorageDevice {
public:
    static constexpr uint64_t kFatStart = 100;
    int Open() override { return 1; }
    int Close() override { return 1; }
    int ReadSectors(void* buffer, uint64_t first, uint64_t count) override {
        reads.push_back(first);
        auto* out = static_cast<uint8_t*>(buffer);
        std::memset(out, 0, count * 512);
        for (uint64_t i = 0; i < count * 128; ++i) {
            const uint64_t c = (first - kFatStart) * 128 + i;
            auto it = entries.find(c);
            uint32_t v = it != entries.end() ? it->second : (generated ? static_cast<uint32_t>(c + 1) : 0);
            Put32(out + 4 * i, v);
        }
        return 1;
    }
    uint32_t GetSectorSize() override { return 512; }
    uint64_t GetSectorCount() override { return sectors; }
    uint64_t GetReserved() override { return 0; }
    std::map<uint64_t, uint32_t> entries;
    std::vector<uint64_t> reads;
    bool generated = false;
    uint64_t sectors = 1ull << 32;
};

TEST(ExFatFatReader, WindowsEvictionAndLimits) {
    FatDevice device;
    device.generated = true;
    ExFatFatReader fat;
    EXPECT_EQ(fat.NextCluster(5), 0xFFFFFFFFu);
    fat.Open(&device, FatDevice::kFatStart, 12 * 2048);  // 12 windows of 512-byte sectors
    ASSERT_TRUE(fat.IsOpen());
    EXPECT_EQ(fat.NextCluster(5), 6u);
    EXPECT_EQ(fat.NextCluster(262143), 262144u);
    EXPECT_EQ(device.reads.size(), 1u);
    EXPECT_EQ(fat.NextCluster(262144), 262145u);
    EXPECT_EQ(device.reads.size(), 2u);
    for (uint32_t w = 2; w < 10; ++w) fat.NextCluster(w * 262144);
    EXPECT_EQ(fat.WindowCount(), 9u);  // the tenth window took the place of the first
    const size_t before = device.reads.size();
    fat.NextCluster(262144);  // still held
    EXPECT_EQ(device.reads.size(), before);
    fat.NextCluster(7);  // dropped: read again
    EXPECT_EQ(device.reads.size(), before + 1);
    EXPECT_EQ(device.reads.back(), FatDevice::kFatStart);
    // Past the FAT's end (4 x cluster overflows 32 bits here) the chain ends.
    EXPECT_EQ(fat.NextCluster(12 * 262144), 0xFFFFFFFFu);
    EXPECT_EQ(fat.NextCluster(0x40000001), 0xFFFFFFFFu);
    fat.Close();
    EXPECT_EQ(fat.NextCluster(5), 0xFFFFFFFFu);
    // A FAT that reaches the device's last sector is not opened.
    device.sectors = FatDevice::kFatStart + 100;
    fat.Open(&device, FatDevice::kFatStart, 100);
    EXPECT_FALSE(fat.IsOpen());
    fat.Open(&device, FatDevice::kFatStart, 99);
    EXPECT_TRUE(fat.IsOpen());
}

struct NodeCase {
    const char* what;
    ExFatEntryRecord record;
    std::vector<DataRun> runs;
    bool cut;             // the runs hold less than the length: FILE_FLAG_SIZE_CUT
    bool noFat = false;   // the volume's FAT could not be placed
    uint64_t size = ~uint64_t{0};  // the node's size when not the record's length
};

ExFatEntryRecord Record(uint32_t first, uint64_t length, bool noFatChain, bool inUse = true, uint16_t attr = 0x20) {
    ExFatEntryRecord r;
    r.firstCluster = first, r.dataLength = length, r.noFatChain = noFatChain, r.inUse = inUse, r.attributes = attr;
    r.validDataLength = length;
    r.createTimestamp = r.modifyTimestamp = r.accessTimestamp = kTime;
    std::strcpy(r.name, "..  .hidden.jpg");
    return r;
}

ExFatEntryRecord Valid(ExFatEntryRecord r, uint64_t validLength) {
    r.validDataLength = validLength;
    return r;
}

TEST(ExFatFileNode, ExtentsFromRecords) {
    // 4096-byte clusters, 1000 of them (2 .. 1001).
    FatDevice device;
    device.entries = {{10, 11}, {11, 12}, {12, 0xFFFFFFFF}, {20, 30}, {30, 21}, {21, 0xFFFFFFFF},
                      {1000, 1001}, {1001, 0xFFFFFFFF}, {40, 41}, {41, 40}, {50, 50},
                      {70, 71}, {71, 72}, {72, 73}, {73, 71}};
    ExFatVolume volume;
    volume.sectorsPerCluster = 8, volume.clusterSize = 4096, volume.clusterCount = 1000;
    volume.fat.Open(&device, FatDevice::kFatStart, 8);
    ExFatVolume noFat;
    noFat.sectorsPerCluster = 8, noFat.clusterSize = 4096, noFat.clusterCount = 1000;
    const NodeCase cases[] = {
        {"folder: the clusters of its entries", Record(10, 8192, false, true, 0x10), {{8, 2}}, false},
        {"empty file", Record(10, 0, false), {}, false},
        {"cluster 0", Record(0, 10, false), {}, true},
        {"cluster 1", Record(1, 10, false), {}, true},
        {"cluster 0xFFFFFFF6", Record(0xFFFFFFF6, 10, true), {}, true},
        {"above the heap", Record(1002, 10, true), {}, true},
        {"one byte", Record(7, 1, true), {{5, 1}}, false},
        {"4097 bytes", Record(7, 4097, true), {{5, 2}}, false},
        {"contiguous past the heap's end", Record(999, 5 * 4096, true), {{997, 3}}, true},
        {"chain in one stretch", Record(10, 3 * 4096, false), {{8, 3}}, false},
        {"chain cut at its length", Record(10, 4096 + 1, false), {{8, 2}}, false},
        {"fragmented chain", Record(20, 3 * 4096, false), {{18, 1}, {28, 1}, {19, 1}}, false},
        {"chain through the heap's last clusters", Record(1000, 2 * 4096, false), {{998, 2}}, false},
        {"live chain whose entry is free", Record(60, 3 * 4096, false), {{58, 1}}, true},
        {"deleted chain whose entry is free", Record(60, 3 * 4096, false, false), {{58, 3}}, false},
        {"deleted chain that survived", Record(20, 3 * 4096, false, false), {{18, 1}, {28, 1}, {19, 1}}, false},
        // A loop ends the chain before the first cluster it would take twice.
        {"chain looping over two", Record(40, 1000 * 4096, false), {{38, 2}}, true},
        {"chain looping back mid-way", Record(70, 1000 * 4096, false), {{68, 4}}, true},
        {"chain looping on itself", Record(50, 1000 * 4096, false), {{48, 1}}, true},
        // Without a FAT a chain keeps its first cluster, and says it is cut; the size stays.
        {"chain without a FAT", Record(20, 3 * 4096, false), {{18, 1}}, true, true},
        {"deleted chain without a FAT", Record(20, 3 * 4096, false, false), {{18, 1}}, true, true},
        {"one-cluster chain without a FAT", Record(20, 4096, false), {{18, 1}}, false, true},
        {"contiguous without a FAT", Record(20, 3 * 4096, true), {{18, 3}}, false, true},
        // Of two lengths that disagree the smaller is read: the bytes written to it, or its length
        // when the valid one is past it.
        {"valid length short of the length", Valid(Record(10, 3 * 4096, false), 4097), {{8, 2}}, false, false, 4097},
        {"valid length past the length", Valid(Record(7, 4097, true), 1ull << 40), {{5, 2}}, false, false, 4097},
        {"a folder reads its length", Valid(Record(10, 8192, false, true, 0x10), 0), {{8, 2}}, false, false, 8192},
    };
    for (const NodeCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<CExFatFileNode> node(MakeExFatFileNode(c.record, c.noFat ? noFat : volume));
        ASSERT_NE(node, nullptr);
        EXPECT_EQ((node->GetFlags() & FILE_FLAG_SIZE_CUT) != 0, c.cut);
        EXPECT_EQ((node->GetFlags() & FILE_FLAG_DELETED) != 0, !c.record.inUse);
        EXPECT_EQ(node->GetSize(), c.size == ~uint64_t{0} ? c.record.dataLength : c.size);
        std::vector<DataRun> runs;
        for (DataRun* r = node->GetDataRuns()->First(); r; r = node->GetDataRuns()->Next()) runs.push_back(*r);
        ASSERT_EQ(runs.size(), c.runs.size());
        for (size_t i = 0; i < runs.size(); ++i) {
            EXPECT_EQ(runs[i].start, c.runs[i].start);
            EXPECT_EQ(runs[i].length, c.runs[i].length);
        }
    }
}

TEST(ExFatFileNode, ValuesCloneAndName) {
    ExFatVolume volume;
    volume.clusterCount = 100, volume.sectorsPerCluster = 4, volume.clusterSize = 2048;
    ExFatEntryRecord r = Record(5, 4097, true, false);
    r.sector = 1234;
    std::unique_ptr<CExFatFileNode> node(MakeExFatFileNode(r, volume));
    EXPECT_TRUE(node->IsDeleted());
    EXPECT_EQ(node->GetAttributes(), 0x20);
    EXPECT_EQ(node->GetSize(), 4097u);
    EXPECT_EQ(node->FirstCluster(), 5u);
    EXPECT_EQ(node->GetLocatorLocation(), 1234);
    uint64_t t = 0;
    // 2024-05-17 13:45:58 UTC as a FILETIME.
    EXPECT_EQ(*node->GetModificationTime(&t), (1715953558ull) * 10000000 + 116444736000000000ull);
    std::unique_ptr<IFileNode> copy(node->Clone());
    auto* c = static_cast<CExFatFileNode*>(copy.get());
    EXPECT_TRUE(c->IsDeleted());
    EXPECT_EQ(c->FirstCluster(), 0xFFFFFFFFu);
    EXPECT_STREQ(c->GetName(), "..  .hidden.jpg");
    EXPECT_EQ(c->GetDataRuns()->First()->length, 3u);
    node->TrimName();
    EXPECT_STREQ(node->GetName(), "hidden.jpg");
    r.modifyTimestamp = (kTime & ~(15u << 21)) | (13u << 21);  // month 13
    std::unique_ptr<CExFatFileNode> bad(MakeExFatFileNode(r, volume));
    EXPECT_EQ(*bad->GetModificationTime(&t), 0u);
    std::strcpy(r.name, ". . ");
    std::unique_ptr<CExFatFileNode> dots(MakeExFatFileNode(r, volume));
    dots->TrimName();
    EXPECT_STREQ(dots->GetName(), "");
    // A folder whose entry is gone is named for its first cluster.
    volume.heapStart = 100;
    std::unique_ptr<CExFatFileNode> lost(MakeExFatLostFolder(77, volume));
    EXPECT_STREQ(lost->GetName(), "DIR77");
    EXPECT_TRUE(lost->IsDirectory());
    EXPECT_FALSE(lost->IsDeleted());
    EXPECT_EQ(lost->FirstCluster(), 77u);
    EXPECT_EQ(lost->GetLocation(), 100u + 75 * 4);
}

}  // namespace
