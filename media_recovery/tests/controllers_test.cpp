#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "media_recovery/CArchiveBuilder.h"
#include "media_recovery/CCompleteRecoveryController.h"
#include "media_recovery/CDeletedRecoveryController.h"
#include "outside/device/CImageStorage.h"
#include "media_recovery/CRecoveryFilter.h"
#include "media_recovery/MediaErrors.h"
#include "testing/MemoryDevice.h"
#include "media_recovery/SearcherFactories.h"
#include "testing/TestNodes.h"
#include "media_recovery/tests/TestSinks.h"
#include "media_recovery/tests/ManifestSearcher.h"

namespace {

TEST(ArchiveBuilder, RecordsFilesKeepsFoldersAndUnlistedFilesDropsExtDeleted) {
    CDataContainer<_ARCHIVE_INFOMATION> container;
    CRecoveryFilter filter;
    CRecordingSink sink;
    CArchiveBuilder builder(BUILDER_KIND_COMPLETE, 0x1234);
    EXPECT_FALSE(builder.Init(&container, &sink, nullptr));
    CTestNode early("early.jpg");
    EXPECT_FALSE(builder.AddNode(&early, SEARCHER_FAT));  // not initialised
    ASSERT_TRUE(builder.Init(&container, &sink, &filter));
    EXPECT_EQ(builder.BeginSearch(SEARCHER_RAW, 1, 0), 1);

    // A live FAT or exFAT folder, and a live file of theirs the filter refuses, are kept for the
    // clusters they hold: an unlisted record each, never a data change.
    CTestNode* dir = new CTestNode("DCIM", 0, true);
    CTestNode* other = new CTestNode("cache.dat", 10);
    EXPECT_TRUE(builder.AddNode(dir, SEARCHER_FAT));
    EXPECT_TRUE(builder.AddNode(other, SEARCHER_EXFAT));
    EXPECT_EQ(builder.DirectoryCount(), 1u);
    ASSERT_EQ(container.Count(), 2);
    for (auto it = container.Begin(); it != container.End(); ++it) {
        EXPECT_EQ(it->second.reserved, ARCHIVE_RECORD_UNLISTED);
        EXPECT_TRUE(it->second.node == dir || it->second.node == other);
    }
    EXPECT_TRUE(sink.changed.empty());
    EXPECT_TRUE(builder.AddNode(new CTestNode("Old", 0, true, true), SEARCHER_FAT));  // kept, not a record
    CTestNode refused("x.zip"), refusedExt("x.dat", 10), refusedDeleted("x.dat", 10, false, true);
    CTestNode extDeleted("y.jpg", 5, false, true);
    EXPECT_FALSE(builder.AddNode(&refused, SEARCHER_FAT));  // holds nothing
    EXPECT_FALSE(builder.AddNode(&refusedExt, SEARCHER_EXT));
    EXPECT_FALSE(builder.AddNode(&refusedDeleted, SEARCHER_FAT));
    EXPECT_FALSE(builder.AddNode(&extDeleted, SEARCHER_EXT));
    EXPECT_FALSE(builder.AddNode(nullptr, SEARCHER_FAT));
    EXPECT_EQ(container.Count(), 2);
    container.ClearFresh();

    uint32_t firstId = PeekItemId();
    const int codes[] = {SEARCHER_FAT, SEARCHER_EXFAT, SEARCHER_EXT, SEARCHER_RAW, 0x30};
    const uint32_t types[] = {17, 18, 19, 20, 0};
    for (int i = 0; i < 5; ++i) {
        auto* node = new CTestNode("f" + std::to_string(i) + ".jpg", 10, false, i == 0);
        dir->AddChild(node);
        ASSERT_TRUE(builder.AddNode(node, codes[i]));
        ASSERT_TRUE(container.Contains(firstId + i));
        const _ARCHIVE_INFOMATION& record = *container.At(firstId + i);
        EXPECT_EQ(record.type, types[i]);
        EXPECT_EQ(record.owner, 0x1234u);
        EXPECT_EQ(record.node, node);
        EXPECT_EQ(record.check, 0u);
    }
    EXPECT_EQ(container.FreshCount(), 5);
    EXPECT_EQ(sink.changed, std::vector<int>(5, DATA_KIND_FILES));
    EXPECT_EQ(CArchiveBuilder::RecordType(BUILDER_KIND_QUICK, SEARCHER_RAW), 16u);
    for (auto it = container.Begin(); it != container.End(); ++it)
        if (it->second.reserved != ARCHIVE_RECORD_UNLISTED) delete it->second.node;
}

// Searchers that find nothing.
class CNothingQuickSearcher : public IQuickFileSystemSearchController {
public:
    void SetBuilder(IDirecotryTreeBuilder*) override {}
    int GetPartitions(CSearchedPartitionInfo**, int) override { return 0; }
    ResultCode Search(IStorageDevice*, IProgress*) override { return RK_OK; }
};
class CNothingCompleteSearcher : public ICompleteFileSystemSearchController {
public:
    void SetBuilder(IDirecotryTreeBuilder*) override {}
    int GetPartitions(CSearchedPartitionInfo**, int) override { return 0; }
    void SetDevice(IStorageDevice*) override {}
    void SetChunkSectors(uint32_t) override {}
    int BeginSearch() override { return 1; }
    int EndSearch() override { return 1; }
    int ScanChunk(uint64_t, uint64_t, IProgress*) override { return 1; }
};

// Complete searchers that record what the controller asks of them.
using Pieces = std::vector<std::pair<uint64_t, uint64_t>>;
struct CallLog {
    std::vector<std::string> calls;
    std::map<int, Pieces> pieces;  // each searcher's ScanChunk calls
    std::vector<int> scanOrder;    // the searchers over the first piece, in order
    // The FAT searcher's pieces, each joined to those that follow it within a chunk of L sectors.
    Pieces Chunks(uint64_t L) const {
        Pieces joined;
        auto fat = pieces.find(SEARCHER_FAT);
        if (fat == pieces.end()) return joined;
        for (const auto& piece : fat->second) {
            if (!joined.empty() && joined.back().first / L == piece.first / L &&
                joined.back().first + joined.back().second == piece.first)
                joined.back().second += piece.second;
            else
                joined.push_back(piece);
        }
        return joined;
    }
};
CallLog g_log;

template <int Code>
class CRecordingSearcher : public CNothingCompleteSearcher {
public:
    int BeginSearch() override { g_log.calls.push_back("begin " + std::to_string(Code)); return 1; }
    int EndSearch() override { g_log.calls.push_back("end " + std::to_string(Code)); return 1; }
    void SetChunkSectors(uint32_t n) override { g_log.calls.push_back("chunk " + std::to_string(n)); }
    int ScanChunk(uint64_t first, uint64_t count, IProgress*) override {
        if (first == 0) g_log.scanOrder.push_back(Code);
        g_log.pieces[Code].emplace_back(first, count);
        return 1;
    }
    static ICompleteFileSystemSearchController* Make() { return new CRecordingSearcher<Code>; }
};

class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_log = CallLog{};
        SearcherFactories& f = GetSearcherFactories();
        f.exfatComplete = CRecordingSearcher<SEARCHER_EXFAT>::Make;
        f.fatComplete = CRecordingSearcher<SEARCHER_FAT>::Make;
        f.rawComplete = CRecordingSearcher<SEARCHER_RAW>::Make;
    }
    void TearDown() override { ResetSearcherFactories(); }
    CDataContainer<_ARCHIVE_INFOMATION> container_;
    CRecoveryFilter filter_;
    CRecordingSink sink_;
};

TEST_F(ControllerTest, ChunksOfFourMegabytesAndAShortLastOne) {
    const uint64_t L = 1024;  // 4 MiB of 4096-byte sectors
    MemoryDevice disk(PatternBytes(4096, 3 * L + 1), 4096);
    CCompleteRecoveryController controller;
    ASSERT_TRUE(controller.SetFilter(&filter_));
    EXPECT_FALSE(controller.SetFilter(nullptr));
    ASSERT_TRUE(Succeeded(controller.Run(&disk, &sink_, &container_)));
    // Each chunk goes to the searchers in slices, in order, every searcher over a slice before the
    // next (carving first, which brings it into the cache); all see the same slices.
    EXPECT_EQ(g_log.Chunks(L), (Pieces{{0, L}, {L, L}, {2 * L, L}, {3 * L, 1}}));
    const uint64_t slice = CCompleteRecoveryController::SliceSectorsFor(4096);
    EXPECT_EQ(slice, 32u);
    EXPECT_EQ(g_log.pieces[SEARCHER_FAT].size(), 3 * L / slice + 1);
    EXPECT_EQ(g_log.pieces[SEARCHER_EXFAT], g_log.pieces[SEARCHER_FAT]);
    EXPECT_EQ(g_log.pieces[SEARCHER_RAW], g_log.pieces[SEARCHER_FAT]);
    EXPECT_EQ(g_log.scanOrder, (std::vector<int>{SEARCHER_RAW, SEARCHER_EXFAT, SEARCHER_FAT}));
    EXPECT_EQ(g_log.calls, (std::vector<std::string>{"chunk 1024", "begin 33", "chunk 1024", "begin 32", "chunk 1024",
                                                      "begin 34", "end 33", "end 32", "end 34"}));
    // {2, 1, 0}, then the scan's first record with state 0 and total ceil(E / L) + 1, chunk records, {3, 1, 1}.
    ASSERT_GE(sink_.records.size(), 7u);
    EXPECT_EQ(sink_.records[0].state, 2u);
    EXPECT_EQ(sink_.records[1].state, 0u);
    EXPECT_EQ(uint64_t{sink_.records[1].total}, 4u);
    EXPECT_EQ(uint64_t{sink_.records[5].done}, 3u);  // floor(0.8 x 4)
    EXPECT_EQ(sink_.records.back().state, 3u);
    EXPECT_EQ(controller.CreateRecovery(SEARCHER_EXT), nullptr);
    EXPECT_EQ(controller.CreateRecovery(SEARCHER_FAT), nullptr);  // found nothing
    EXPECT_EQ(CCompleteRecoveryController::ChunkSectorsFor(0), 8192u);
    EXPECT_EQ(CCompleteRecoveryController::ChunkSectorsFor(512), 8192u);
    EXPECT_EQ(CCompleteRecoveryController::ChunkSectorsFor(0x800000), 0x2000u);
}

TEST_F(ControllerTest, StopDuringTheScanStillEndsTheFileSystemSearchers) {
    MemoryDevice disk(PatternBytes(512, 8192 * 3), 512);
    sink_.stopAfter = 3;
    CCompleteRecoveryController controller;
    controller.SetFilter(&filter_);
    ASSERT_TRUE(Succeeded(controller.Run(&disk, &sink_, &container_)));
    EXPECT_EQ(g_log.calls.back(), "end 32");
    EXPECT_LT(g_log.Chunks(8192).size(), 3u);
}

TEST_F(ControllerTest, UnreadableSectorsAreReportedAfterAFullScan) {
    MemoryDevice disk(PatternBytes(512, 8192 * 2), 512);
    disk.MarkBad(9000);
    CCompleteRecoveryController controller;
    controller.SetFilter(&filter_);
    EXPECT_EQ(ErrorNumber(controller.Run(&disk, &sink_, &container_)), MEDIA_E_UNREADABLE_SECTORS);
    EXPECT_EQ(g_log.Chunks(8192), (Pieces{{0, 8192}, {8192, 8192}}));
    MemoryDevice empty(PatternBytes(512, 0), 512);
    EXPECT_EQ(ErrorNumber(controller.Run(&empty, &sink_, &container_)), MEDIA_E_BAD_DEVICE);
    EXPECT_EQ(ErrorNumber(controller.Run(nullptr, &sink_, &container_)), MEDIA_E_BAD_DEVICE);
}

int g_quickMade[3];
template <int Family>
IQuickFileSystemSearchController* MakeQuick() {
    ++g_quickMade[Family];
    return new CNothingQuickSearcher;
}

TEST_F(ControllerTest, QuickSearcherChosenFromSectorZero) {
    SearcherFactories& f = GetSearcherFactories();
    f.fatQuick = MakeQuick<0>;
    f.exfatQuick = MakeQuick<1>;
    f.extQuick = MakeQuick<2>;
    struct Case {
        const char* image;
        uint32_t sector;
        int family;
    } cases[] = {{"fat16.img", 512, 0}, {"fat32.img", 512, 0}, {"fat16.4k.img", 4096, 0}, {"exfat.img", 512, 1},
                 {"ext4.img", 512, 2}, {"raw.img", 512, 2}};
    for (const Case& c : cases) {
        std::fill(std::begin(g_quickMade), std::end(g_quickMade), 0);
        CImageStorage volume(FixturePath(c.image), c.sector);
        ASSERT_EQ(volume.Open(), 1);
        CDeletedRecoveryController controller;
        controller.SetFilter(&filter_);
        ASSERT_TRUE(Succeeded(controller.Run(&volume, &sink_, &container_))) << c.image;
        EXPECT_EQ(g_quickMade[c.family], 1) << c.image;
        EXPECT_EQ(controller.CreateRecovery(0x24), nullptr);  // the empty searcher found no volume
    }
    // Sector sizes the readers cannot take: no searcher, the finished record, 0x401.
    for (uint32_t size : {0u, 1000u}) {
        MemoryDevice odd(PatternBytes(size, 16), size);
        CDeletedRecoveryController controller;
        controller.SetFilter(&filter_);
        sink_.records.clear();
        EXPECT_EQ(ErrorNumber(controller.Run(&odd, &sink_, &container_)), MEDIA_E_NO_QUICK_SEARCHER);
        EXPECT_EQ(sink_.records.back().state, 3u);
        EXPECT_EQ(DetectQuickSearcher(&odd), nullptr);
    }
    CDeletedRecoveryController controller;
    EXPECT_EQ(ErrorNumber(controller.Run(nullptr, &sink_, &container_)), RK_E_FAIL);
    MemoryDevice disk(PatternBytes(512, 16), 512);
    EXPECT_EQ(ErrorNumber(controller.Run(&disk, &sink_, &container_)), RK_E_FAIL);  // no filter
}

}  // namespace
