#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <memory>

#include "media_recovery/CArchiveBuilder.h"
#include "media_recovery/CDataRecovery.h"
#include "media_recovery/file_model/CDataRunList.h"
#include "media_recovery/CFileReader.h"
#include "outside/device/CImageStorage.h"
#include "media_recovery/CRecoveryFilter.h"
#include "media_recovery/tests/ManifestSearcher.h"
#include "media_recovery/MediaErrors.h"
#include "testing/MemoryDevice.h"
#include "testing/TestNodes.h"
#include "media_recovery/tests/TestSinks.h"

namespace {

long long platform_size(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

CTestNode* NodeWithRuns(uint64_t size, std::vector<DataRun> runs, uint16_t partition = 0) {
    auto* node = new CTestNode("file.jpg", size);
    CDataRunList* list = CreateDataRunList();
    for (const DataRun& r : runs) list->PushRun(r);
    node->SetDataRuns(list);
    node->SetPartitionIndex(partition);
    return node;
}

// The bytes the reader must give: units of clusterBytes from byte dataStart x sector size.
std::string Expected(MemoryDevice& disk, uint64_t originByte, uint64_t clusterBytes, std::vector<DataRun> runs,
                     uint64_t size) {
    std::string out;
    for (const DataRun& r : runs) {
        for (uint64_t u = 0; u < r.length && out.size() < size; ++u) {
            if (r.IsSparse()) {
                out.append(clusterBytes, '\0');
            } else {
                const char* at = reinterpret_cast<const char*>(disk.Bytes().data()) + originByte + (r.start + u) * clusterBytes;
                out.append(at, clusterBytes);
            }
        }
    }
    out.resize(std::min<uint64_t>(out.size(), size));
    return out;
}

std::string ReadAll(IArchiveFileReader* reader, uint32_t step) {
    std::string out;
    std::vector<char> buffer(step);
    for (uint64_t at = 0;;) {
        uint32_t n = reader->Read(at, buffer.data(), step);
        if (n == 0) break;
        out.append(buffer.data(), n);
        at += n;
    }
    return out;
}

struct Geometry {
    uint32_t deviceSector, partitionSector, spc;
    uint64_t dataStart;
};

TEST(FileReader, AddressesByDeviceSectorsForEveryGeometry) {
    const Geometry cases[] = {
        {512, 512, 4, 100},      // an ordinary FAT volume
        {4096, 4096, 1, 13},     // 4096-byte sectors
        {4096, 512, 1, 0},       // 512-byte units on a 4096-byte device
        {1536, 1536, 3, 7},      // a sector size that does not divide 4 MiB
        {512, 512, 16384, 64},   // 8 MiB clusters, larger than the read buffer
        {512, 512, 65536, 0},    // 32 MiB, the largest accepted
        {512, 512, 3, 5},        // 1536-byte clusters that do not divide 4 MiB
    };
    for (const Geometry& g : cases) {
        uint64_t clusterBytes = uint64_t{g.spc} * g.partitionSector;
        uint64_t deviceBytes = g.dataStart * g.deviceSector + 40 * clusterBytes + clusterBytes;
        MemoryDevice disk(PatternBytes(g.deviceSector, deviceBytes / g.deviceSector + 1), g.deviceSector);
        // Holes first, between and last: zeros, and never a read of the device.
        std::vector<DataRun> runs{DataRun(kSparseRunStart, 1), DataRun(3, 2), DataRun(kSparseRunStart, 1),
                                  DataRun(20, 1), DataRun(9, 3), DataRun(kSparseRunStart, 2)};
        uint64_t size = 9 * clusterBytes + clusterBytes / 3;
        std::unique_ptr<CTestNode> node(NodeWithRuns(size, runs));
        CSearchedPartitionInfo p = Volume(g.partitionSector, g.spc, g.dataStart);
        CFileReader reader;
        ASSERT_TRUE(reader.Bind(node.get(), &p, &disk)) << g.spc;
        std::string want = Expected(disk, g.dataStart * g.deviceSector, clusterBytes, runs, size);
        EXPECT_EQ(ReadAll(&reader, 0x400000), want) << g.deviceSector << "/" << g.spc;
        EXPECT_EQ(ReadAll(&reader, 777), want) << g.deviceSector << "/" << g.spc;  // odd steps, odd offsets
        std::vector<char> one(10);
        EXPECT_EQ(reader.Read(size, one.data(), 10), 0u);
        EXPECT_EQ(reader.Read(size - 3, one.data(), 10), 3u);
        EXPECT_FALSE(reader.GetUnreadableSector(nullptr, nullptr));
        EXPECT_FALSE(reader.GetFirstByte(nullptr, nullptr));  // a hole has no place on the device
    }
}

TEST(FileReader, BindRulesAndShortExtents) {
    MemoryDevice disk(PatternBytes(512, 1000), 512);
    CSearchedPartitionInfo p = Volume(512, 2, 10);
    std::unique_ptr<CTestNode> node(NodeWithRuns(5000, {DataRun(0, 2)}));  // covers 2048 of 5000 bytes
    CFileReader reader;
    EXPECT_FALSE(reader.Bind(nullptr, &p, &disk));
    EXPECT_FALSE(reader.Bind(node.get(), nullptr, &disk));
    CSearchedPartitionInfo huge = Volume(512, 0x20000, 0);  // 64 MiB clusters
    EXPECT_FALSE(reader.Bind(node.get(), &huge, &disk));
    CSearchedPartitionInfo none = Volume(512, 0, 0);
    EXPECT_FALSE(reader.Bind(node.get(), &none, &disk));
    CTestNode empty("e.jpg", 0);
    EXPECT_FALSE(reader.Bind(&empty, &p, &disk));
    CTestNode noRuns("n.jpg", 10);
    EXPECT_FALSE(reader.Bind(&noRuns, &p, &disk));
    ASSERT_TRUE(reader.Bind(node.get(), &p, &disk));
    EXPECT_EQ(reader.GetSize(), 5000u);
    EXPECT_EQ(reader.GetExtentBytes(), 2048u);
    EXPECT_EQ(ReadAll(&reader, 4096).size(), 2048u);
    std::unique_ptr<IArchiveFileReader, void (*)(IArchiveFileReader*)> copy(reader.Clone(),
                                                                             [](IArchiveFileReader* r) { r->Release(); });
    EXPECT_EQ(ReadAll(copy.get(), 100), ReadAll(&reader, 100));
    // A small file that ends inside a sector costs one read of the device, its binding none.
    std::unique_ptr<CTestNode> small(NodeWithRuns(3000, {DataRun(4, 3)}));
    disk.ClearReads();
    ASSERT_TRUE(reader.Bind(small.get(), &p, &disk));
    EXPECT_EQ(ReadAll(&reader, 0x100000), Expected(disk, 10 * 512, 1024, {DataRun(4, 3)}, 3000));
    EXPECT_EQ(disk.Reads(), 1u);
}

// A sector the device cannot give ends the file's bytes before it: a bad one inside the volume,
// or the rest of a file a cut image no longer holds. Nothing past it is made up, whatever the step.
TEST(FileReader, TheFirstSectorTheDeviceCannotGiveEndsTheRead) {
    struct Case {
        uint64_t badSector;   // 0: none
        uint64_t deviceSectors;
        uint64_t readable;    // bytes before the first sector that cannot be read
        uint64_t stopSector;
        bool pastEnd;
    } cases[] = {
        {12, 100, 2 * 512, 12, false},  // a bad sector inside the file
        {0, 13, 3 * 512, 13, true},     // the image ends inside the file
        {0, 10, 0, 10, true},           // it ends before the file begins
    };
    for (const Case& c : cases) {
        MemoryDevice disk(PatternBytes(512, c.deviceSectors), 512);
        if (c.badSector) disk.MarkBad(c.badSector);
        std::unique_ptr<CTestNode> node(NodeWithRuns(4 * 512 - 100, {DataRun(0, 4)}));
        CSearchedPartitionInfo p = Volume(512, 1, 10);
        for (uint32_t step : {4096u, 700u}) {
            CFileReader reader;
            ASSERT_TRUE(reader.Bind(node.get(), &p, &disk));
            std::string got = ReadAll(&reader, step);
            EXPECT_EQ(got.size(), c.readable) << c.stopSector << "/" << step;
            const std::vector<uint8_t> want = disk.Bytes(10, c.readable / 512);
            EXPECT_TRUE(got == std::string(want.begin(), want.end())) << c.stopSector << "/" << step;
            uint64_t sector = 0;
            bool pastEnd = false;
            ASSERT_TRUE(reader.GetUnreadableSector(&sector, &pastEnd));
            EXPECT_EQ(sector, c.stopSector);
            EXPECT_EQ(pastEnd, c.pastEnd);
        }
    }
}

TEST(DataRecovery, OpenAsksAgainWithRoomAndSortsByWeight) {
    MemoryDevice disk(PatternBytes(512, 100), 512);
    CDataRecovery recovery;
    CFixedSearcher searcher;
    EXPECT_EQ(ErrorNumber(recovery.Open(nullptr, &disk)), RK_E_INVALID_ARGUMENT);
    EXPECT_EQ(ErrorNumber(recovery.Open(&searcher, &disk)), MEDIA_E_NO_PARTITIONS);
    for (int i = 0; i < 300; ++i) searcher.volumes.push_back(Volume(512, 1, 0, static_cast<uint16_t>(i), i == 123 ? 5.0 : 0.0));
    searcher.asked = 0;
    ASSERT_TRUE(Succeeded(recovery.Open(&searcher, &disk)));
    EXPECT_EQ(searcher.asked, 2);
    ASSERT_EQ(recovery.PartitionCount(), 300u);
    EXPECT_EQ(recovery.Partition(0)->index, 123);
    EXPECT_EQ(recovery.Partition(1)->index, 0);  // equal weights keep their order
}

TEST(DataRecovery, PartitionLookupByIndexPositionOrWeight) {
    MemoryDevice disk(PatternBytes(512, 100), 512);
    CFixedSearcher searcher;
    CSearchedPartitionInfo a = Volume(512, 4, 100, 0, 1.0), b = Volume(512, 8, 5000, 1, 0.5);
    a.volumeStart = 0;
    a.volumeLength = 4000;
    b.volumeStart = 4096;
    b.volumeLength = 100000;
    searcher.volumes = {b, a};
    CDataRecovery recovery;
    ASSERT_TRUE(Succeeded(recovery.Open(&searcher, &disk)));
    std::unique_ptr<CTestNode> byIndex(NodeWithRuns(100, {DataRun(0, 1)}, 1));
    EXPECT_EQ(recovery.FindPartition(byIndex.get())->index, 1);
    // No index: by position (inside b, runs inside b, 8 sectors per cluster fit 40000 bytes in 10 units).
    std::unique_ptr<CTestNode> byPlace(NodeWithRuns(40000, {DataRun(10, 10)}, 0xFFFF));
    byPlace->SetLocation(5000);
    EXPECT_EQ(recovery.FindPartition(byPlace.get())->index, 1);
    // Nothing fits: the heaviest.
    std::unique_ptr<CTestNode> lost(NodeWithRuns(100, {DataRun(0, 1)}, 0xFFFF));
    EXPECT_EQ(recovery.FindPartition(lost.get())->index, 0);
    CSearchedPartitionInfo odd = Volume(512, 3, 0);
    EXPECT_FALSE(ClusterSizeFits(odd, byPlace.get()));
    CSearchedPartitionInfo four = Volume(512, 4, 0);
    EXPECT_FALSE(ClusterSizeFits(four, byPlace.get()));
}

class RecoverToTest : public ::testing::Test {
protected:
    void SetUp() override {
        searcher_.volumes = {Volume(512, 1, 0, 0, 1.0)};
        ASSERT_TRUE(Succeeded(recovery_.Open(&searcher_, &disk_)));
    }
    MemoryDevice disk_{PatternBytes(512, 40000), 512};
    CFixedSearcher searcher_;
    CDataRecovery recovery_;
    CRecordingSink sink_;
    TempFolder dir_;
};

TEST_F(RecoverToTest, SubstituteNamesNeverOverwrite) {
    std::unique_ptr<CTestNode> node(NodeWithRuns(1000, {DataRun(5, 2)}));
    IArchiveFileReader* reader = recovery_.OpenFile(node.get());
    ASSERT_NE(reader, nullptr);
    reader->Release();
    std::string dest = dir_ / "photo.jpg";
    std::ofstream(dest) << "keep me";
    ASSERT_TRUE(Succeeded(recovery_.RecoverTo(dest.c_str(), &sink_, 0)));
    EXPECT_EQ(ReadWhole(dest), "keep me");
    EXPECT_EQ(ReadWhole(dir_ / "rename_file.jpg").size(), 1000u);
    ASSERT_TRUE(Succeeded(recovery_.RecoverTo(dest.c_str(), &sink_, 0)));
    EXPECT_EQ(ReadWhole(dir_ / "rename_file_0001.jpg"), ReadWhole(dir_ / "rename_file.jpg"));
    // A symbolic link is never followed out of the folder.
    ASSERT_EQ(symlink("/tmp/rk_media_should_not_exist", (dir_ / "link.jpg").c_str()), 0);
    ASSERT_TRUE(Succeeded(recovery_.RecoverTo((dir_ / "link.jpg").c_str(), &sink_, 0)));
    struct stat st;
    EXPECT_NE(stat("/tmp/rk_media_should_not_exist", &st), 0);
    EXPECT_EQ(ReadWhole(dir_ / "rename_file_0002.jpg").size(), 1000u);
    // No extension: the candidate ends in a full stop.
    std::ofstream(dir_ / "noext") << "x";
    ASSERT_TRUE(Succeeded(recovery_.RecoverTo((dir_ / "noext").c_str(), &sink_, 0)));
    EXPECT_EQ(ReadWhole(dir_ / "rename_file.").size(), 1000u);
    // A folder that does not exist: nothing anywhere, error 0xf.
    EXPECT_EQ(ErrorNumber(recovery_.RecoverTo((dir_ / "missing/a.jpg").c_str(), &sink_, 0)), MEDIA_E_CANNOT_WRITE);
    EXPECT_EQ(ErrorNumber(recovery_.RecoverTo(nullptr, &sink_, 0)), RK_E_INVALID_ARGUMENT);
    EXPECT_EQ(ErrorNumber(recovery_.RecoverTo(dest.c_str(), nullptr, 0)), RK_E_INVALID_ARGUMENT);
    EXPECT_EQ(std::string(sink_.records.front().text), "photo.jpg");
}

TEST_F(RecoverToTest, NamesThatDeceiveAreWrittenAsTheyRead) {
    std::unique_ptr<CTestNode> node(NodeWithRuns(1000, {DataRun(5, 2)}));
    const std::pair<std::string, std::string> cases[] = {
        // Hostile: a right-to-left override makes "photo<RLO>gpj.exe" read as "photoexe.jpg".
        {"photo\xE2\x80\xAEgpj.exe", "photo_gpj.exe"},
        {"zero\xE2\x80\x8Bwidth\xEF\xBB\xBF.jpg", "zero_width_.jpg"},
        {std::string(300, 'n') + ".jpeg", std::string(195, 'n') + ".jpeg"},
        {"..", "unnamed"},
    };
    for (const auto& [given, written] : cases) {
        SCOPED_TRACE(written);
        recovery_.OpenFile(node.get())->Release();
        sink_.records.clear();
        ASSERT_TRUE(Succeeded(recovery_.RecoverTo((dir_ / given).c_str(), &sink_, 0)));
        EXPECT_EQ(ReadWhole(dir_ / written).size(), 1000u);
        EXPECT_EQ(std::string(sink_.records.front().text), written);
    }
}

TEST_F(RecoverToTest, SubstituteNamesAreBounded) {
    for (int n = 0; n < CDataRecovery::kMaxSubstituteNames; ++n) {
        char name[64];
        std::snprintf(name, sizeof name, n ? "rename_file_%04d.jpg" : "rename_file.jpg", n);
        std::ofstream(dir_ / name);
    }
    EXPECT_EQ(MakeUniqueFileName((dir_.Path() + "/").c_str(), "jpg"), "");
    EXPECT_EQ(MakeUniqueFileName(nullptr, "jpg"), "");
    std::unique_ptr<CTestNode> node(NodeWithRuns(10, {DataRun(5, 1)}));
    recovery_.OpenFile(node.get())->Release();
    std::ofstream(dir_ / "a.jpg");
    EXPECT_EQ(ErrorNumber(recovery_.RecoverTo((dir_ / "a.jpg").c_str(), &sink_, 0)), MEDIA_E_CANNOT_WRITE);
}

TEST_F(RecoverToTest, NoFileEmptyFileCancellationAndCappedOutput) {
    EXPECT_TRUE(Succeeded(recovery_.RecoverTo((dir_ / "a.jpg").c_str(), &sink_, 1)));
    EXPECT_EQ(ErrorNumber(recovery_.RecoverTo((dir_ / "b.jpg").c_str(), &sink_, 0)), MEDIA_E_NO_FILE_OPEN);
    EXPECT_EQ(platform_size(dir_ / "a.jpg"), 0);
    EXPECT_EQ(platform_size(dir_ / "b.jpg"), 0);

    // A node that is not a file of this library, or a folder: no reader.
    CTestNode folder("DCIM", 0, true);
    EXPECT_EQ(recovery_.OpenFile(&folder), nullptr);
    EXPECT_EQ(recovery_.OpenFile(nullptr), nullptr);

    // Runs that cover less than the size: the output stops where the extents end.
    std::unique_ptr<CTestNode> shortNode(NodeWithRuns(100000, {DataRun(10, 4), DataRun(kSparseRunStart, 2)}));
    recovery_.OpenFile(shortNode.get())->Release();
    sink_.records.clear();
    EXPECT_EQ(ErrorNumber(recovery_.RecoverTo((dir_ / "short.jpg").c_str(), &sink_, 0)), MEDIA_E_FILE_SHORT);
    std::string got = ReadWhole(dir_ / "short.jpg");
    ASSERT_EQ(got.size(), 6u * 512);
    EXPECT_EQ(got.substr(0, 2048), Expected(disk_, 0, 512, {DataRun(10, 4)}, 2048));
    EXPECT_EQ(got.substr(2048), std::string(1024, '\0'));
    EXPECT_EQ(uint64_t{sink_.records.back().done}, 6u * 512);

    // A file bigger than one copy step, cancelled before the first step: an empty file.
    std::unique_ptr<CTestNode> big(NodeWithRuns(9u << 20, {DataRun(0, 18432)}));
    recovery_.OpenFile(big.get())->Release();
    sink_.stopAfter = 0;
    ASSERT_TRUE(Succeeded(recovery_.RecoverTo((dir_ / "cancelled.jpg").c_str(), &sink_, 0)));
    EXPECT_EQ(platform_size(dir_ / "cancelled.jpg"), 0);
    sink_.stopAfter = -1;
    sink_.records.clear();
    ASSERT_TRUE(Succeeded(recovery_.RecoverTo((dir_ / "big.jpg").c_str(), &sink_, 0)));
    EXPECT_EQ(ReadWhole(dir_ / "big.jpg"), Expected(disk_, 0, 512, {DataRun(0, 18432)}, 9u << 20));
    ASSERT_EQ(sink_.records.size(), 4u);  // the name, then three steps of at most 4 MiB
    EXPECT_EQ(uint64_t{sink_.records[1].done}, 4u << 20);
    EXPECT_EQ(uint64_t{sink_.records[3].total}, 9u << 20);
}

// A fragmented file of a real FAT volume (mkfs.vfat, mtools), its extents as The Sleuth Kit lists
// them, written out and compared with the same sectors cut out by dd.
class FragmentedFileTest : public ::testing::TestWithParam<const char*> {};

TEST_P(FragmentedFileTest, WrittenOutByteIdenticalToDd) {
    std::string image = GetParam();
    bool k4 = image.find(".4k.") != std::string::npos;
    CImageStorage volume(FixturePath(image), k4 ? 4096 : 512);
    ASSERT_EQ(volume.Open(), 1);
    CManifestQuickSearcher searcher(FixturePath(image.substr(0, image.size() - 4) + ".manifest"));
    CArchiveBuilder builder(BUILDER_KIND_QUICK, 1);
    CDataContainer<_ARCHIVE_INFOMATION> container;
    CRecoveryFilter filter;
    CRecordingSink sink;
    ASSERT_TRUE(builder.Init(&container, &sink, &filter));
    searcher.SetBuilder(&builder);
    ASSERT_TRUE(Succeeded(searcher.Search(&volume, &sink)));
    IFileNode* big = nullptr;
    for (auto it = container.Begin(); it != container.End(); ++it)
        if (std::string(it->second.node->GetName()) == "big.mp4") big = it->second.node;
    ASSERT_NE(big, nullptr);
    EXPECT_GE(dynamic_cast<CFileNode*>(big)->GetDataRuns() ? 2u : 0u, 2u);
    CDataRecovery recovery;
    ASSERT_TRUE(Succeeded(recovery.Open(&searcher, &volume)));
    IArchiveFileReader* reader = recovery.OpenFile(big);
    ASSERT_NE(reader, nullptr);
    reader->Release();
    TempFolder dir;
    ASSERT_TRUE(Succeeded(recovery.RecoverTo((dir / "big.mp4").c_str(), &sink, 0)));
    std::string got = ReadWhole(dir / "big.mp4");
    EXPECT_EQ(got, ReadWhole(FixturePath(k4 ? "big.4k.ref" : "big.ref")));
    EXPECT_EQ(got, ReadWhole(FixturePath("src/big.mp4")));
    for (auto it = container.Begin(); it != container.End(); ++it)
        if (it->second.reserved != ARCHIVE_RECORD_UNLISTED) delete it->second.node;  // the builder's
}

INSTANTIATE_TEST_SUITE_P(Volumes, FragmentedFileTest, ::testing::Values("fat16.img", "fat16.4k.img"));

}  // namespace
