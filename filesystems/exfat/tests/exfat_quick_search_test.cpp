// The quick search over volumes made by mkfs.exfat and exfat-fuse, against The Sleuth Kit.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "filesystems/frame/CSearchedPartitionInfo.h"
#include "filesystems/FileSystemSearchers.h"
#include "filesystems/exfat/CExFatQuickSearch.h"
#include "filesystems/exfat/tests/ExFatTestSupport.h"
#include "media_recovery/CDataRecovery.h"
#include "media_recovery/MediaErrors.h"
#include "media_recovery/CDeletedRecoveryController.h"
#include "media_recovery/file_model/IDataRunList.h"
#include "media_recovery/file_model/IFileProperties.h"
#include "platform/StringConversion.h"
#include "platform/TimeConversion.h"

using namespace exfattest;

namespace {

int64_t Seconds(uint64_t fileTime) { return fileTime == 0 ? 0 : platform::FileTimeToUnixSeconds(fileTime); }

struct SearchResult {
    explicit SearchResult(const std::string& image) : device(FixturePath(image), SectorSizeOf(image)) {}
    ~SearchResult() {
        if (!folder.empty()) std::system(("rm -rf '" + folder + "'").c_str());
    }
    // What per-item recovery writes for node.
    std::string Recovered(CExFatFileNode* node) {
        if (!recovery) {
            recovery = std::make_unique<CDataRecovery>();
            if (Failed(recovery->Open(&searcher, &device))) return "<no recovery>";
            char name[] = "/tmp/rk_exfat_recovered_XXXXXX";
            if (!mkdtemp(name)) return "<no folder>";
            folder = name;
        }
        if (IArchiveFileReader* reader = recovery->OpenFile(node)) reader->Release();
        const std::string target = folder + "/" + std::to_string(++written);
        RecordingSink quiet;
        // A file written short (what could be read of it) is written all the same.
        const ResultCode result = recovery->RecoverTo(target.c_str(), &quiet, 1);
        if (Failed(result) && ErrorNumber(result) != MEDIA_E_FILE_SHORT) return "<not written>";
        return ReadFile(target);
    }
    uint64_t RootSector() const { return searcher.Volume().ClusterSector(searcher.Volume().rootCluster); }
    // Path (through the folder links) -> node; a path found twice is reported.
    std::map<std::string, CExFatFileNode*> ByPath() {
        std::map<std::string, CExFatFileNode*> out;
        for (auto& [node, path] : TreePaths(builder.nodes))
            EXPECT_TRUE(out.emplace(path, node).second) << path << " found twice";
        return out;
    }

    FailingImage device;
    CExFatQuickSearch searcher;
    RecordingBuilder builder;
    RecordingSink sink;
    std::unique_ptr<CDataRecovery> recovery;
    std::string folder;
    int written = 0;
};

std::unique_ptr<SearchResult> Search(const std::string& image, std::vector<uint64_t> failing = {}) {
    auto r = std::make_unique<SearchResult>(image);
    EXPECT_EQ(r->device.Open(), 1) << image;
    r->device.failing = std::move(failing);
    r->searcher.SetBuilder(&r->builder);
    EXPECT_EQ(r->searcher.Search(&r->device, &r->sink), RK_OK);
    return r;
}

// Everything fls lists of oracleImage is found once on image with its name, size, times, deleted
// flag and, for files whose data is intact, icat's bytes; nothing is found that fls does not list.
// Not compared: what fls shows inside a deleted folder whose cluster a live folder took over (this
// reader reports that cluster's entries once, under the live folder), and deleted sets that run on
// past the clusters their folder still has, which fls shows with the name cut after a whole name
// entry (15 units) and this reader drops.
void ExpectAgreesWithSleuthKit(const std::string& image, const std::string& oracleImage) {
    SCOPED_TRACE(image);
    auto r = Search(image);
    std::map<std::string, FlsEntry> fls = ReadFls(oracleImage);
    ASSERT_GT(fls.size(), 100u);
    std::map<std::string, CExFatFileNode*> found = r->ByPath();

    std::set<std::string> takenOver;  // deleted folders whose cluster a live folder reads
    for (auto& [path, node] : found)
        for (auto& [other, live] : found)
            if (node->IsDirectory() && node->IsDeleted() && live->IsDirectory() && !live->IsDeleted() &&
                node->GetLocation() == live->GetLocation())
                takenOver.insert(path + "/");

    size_t intactDeleted = 0;
    for (auto& [path, e] : fls) {
        SCOPED_TRACE(path);
        auto it = found.find(path);
        if (it == found.end()) {
            const std::string& listed = path;  // a lambda may not capture a structured binding before C++20
            const std::u16string name = platform::Utf8ToUtf16(path.substr(path.rfind('/') + 1));
            const bool excused = std::any_of(takenOver.begin(), takenOver.end(),
                                             [&listed](const std::string& t) { return listed.rfind(t, 0) == 0; }) ||
                                 (e.deleted && name.size() % 15 == 0);
            EXPECT_TRUE(excused) << "listed by fls only";
            continue;
        }
        CExFatFileNode* node = it->second;
        EXPECT_EQ(node->IsDeleted(), e.deleted);
        EXPECT_EQ(node->IsDirectory(), e.directory);
        EXPECT_EQ(node->GetSize(), e.size);
        uint64_t t = 0;
        EXPECT_EQ(Seconds(*node->GetAccessTime(&t)), e.atime);
        // fls adds the 10 ms increments (up to 1.99 s), which these times leave out.
        EXPECT_NEAR(static_cast<double>(Seconds(*node->GetModificationTime(&t))), static_cast<double>(e.mtime), 2.0);
        EXPECT_NEAR(static_cast<double>(Seconds(*node->GetCreationTime(&t))), static_cast<double>(e.crtime), 2.0);
        if (e.directory) continue;
        const std::string expected = ReadFile(FixturePath(oracleImage) + ".icat/" + e.inode);
        const std::string actual = r->Recovered(node);
        if (e.deleted) {
            // Only deleted files whose clusters nothing took over are expected to come back whole.
            if (actual == expected) ++intactDeleted;
            continue;
        }
        EXPECT_TRUE(actual == expected) << "contents differ from icat";
        EXPECT_FALSE(node->GetFlags() & FILE_FLAG_SIZE_CUT);
    }
    for (auto& [path, node] : found) EXPECT_TRUE(fls.count(path)) << path << " not listed by fls";
    EXPECT_FALSE(takenOver.empty()) << "the reused folder cluster is not in this volume";
    EXPECT_GE(intactDeleted, 3u);
}

TEST(ExFatQuickSearch, EveryMadeVolumeAgreesWithTheSleuthKit) {
    EXFAT_NEED_VOLUMES();
    for (const char* image : {"exfat_512c.img", "exfat_4k.img", "exfat_32k.img", "exfat_8k.4k.img"})
        ExpectAgreesWithSleuthKit(image, image);
}

TEST(ExFatQuickSearch, VendorEntriesAndAVolumeGuidEndNothing) {
    EXFAT_NEED_VOLUMES();
    ExpectAgreesWithSleuthKit("exfat_4k_vendor.img", "exfat_4k.img");
    ExpectAgreesWithSleuthKit("exfat_4k_guid.img", "exfat_4k.img");
}

TEST(ExFatQuickSearch, AFolderChainThatLoopsIsReadOncePerCluster) {
    EXFAT_NEED_VOLUMES();
    ExpectAgreesWithSleuthKit("exfat_4k_fat_loop.img", "exfat_4k.img");
}

TEST(ExFatQuickSearch, DeletedFilesOfAVolumeWithoutLaterWritesComeBackWhole) {
    EXFAT_NEED_VOLUMES();
    auto r = Search("exfat_nowrites.img");
    std::map<std::string, CExFatFileNode*> found = r->ByPath();
    std::istringstream list(ReadFile(FixturePath("exfat_nowrites.img.deleted")));
    std::string line;
    size_t contiguous = 0;
    while (std::getline(list, line)) {
        // path|source|1 when the file lay in one stretch
        const size_t a = line.find('|'), b = line.rfind('|');
        const std::string path = line.substr(0, a), source = line.substr(a + 1, b - a - 1);
        SCOPED_TRACE(path);
        ASSERT_TRUE(found.count(path));
        CExFatFileNode* node = found[path];
        EXPECT_TRUE(node->IsDeleted());
        if (line.substr(b + 1) != "1") continue;
        ++contiguous;
        EXPECT_TRUE(r->Recovered(node) == ReadFile(FixturePath("src/" + source)));
    }
    EXPECT_GE(contiguous, 20u);
    // Everything below the deleted folder tree is deleted, folders too.
    for (auto& [path, node] : found) {
        if (path.rfind("/Old", 0) == 0) {
            EXPECT_TRUE(node->IsDeleted()) << path;
        }
    }
    EXPECT_TRUE(found.count("/Old/Sub/old2.txt"));
}

TEST(ExFatQuickSearch, AFolderInOneStretchIsReadWholeWithoutItsFat) {
    EXFAT_NEED_VOLUMES();
    auto r = Search("exfat_4k_zero_fat.img");
    std::map<std::string, CExFatFileNode*> found = r->ByPath();
    // The camera folder is NoFatChain and spans three clusters: all 60 photos are read.
    size_t photos = 0;
    for (auto& [path, node] : found)
        if (path.rfind("/DCIM/Camera/Photo number", 0) == 0) ++photos;
    EXPECT_EQ(photos, 60u);
    // The chained music folder keeps only its first cluster's songs.
    size_t songs = 0;
    for (auto& [path, node] : found)
        if (path.rfind("/Music/Song", 0) == 0) ++songs;
    EXPECT_GT(songs, 0u);
    EXPECT_LT(songs, 40u);
    // A chained file keeps its size and its first cluster, and says it is cut; one in one stretch is whole.
    for (const char* path : {"/Documents/B.mp4", "/Documents/big.mp4", "/Documents/a.pdf"}) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(found.count(path));
        CExFatFileNode* node = found[path];
        const bool chained = !node->NoFatChain();
        EXPECT_EQ((node->GetFlags() & FILE_FLAG_SIZE_CUT) != 0, chained);
        EXPECT_EQ(r->Recovered(node).size(), chained ? 4096u : node->GetSize());
    }
    EXPECT_TRUE(found["/Documents/a.pdf"]->NoFatChain());
    EXPECT_FALSE(found["/Documents/B.mp4"]->NoFatChain());
}

TEST(ExFatQuickSearch, AnUnreadableFolderIsSkippedAndTheWalkGoesOn) {
    EXFAT_NEED_VOLUMES();
    uint64_t camera = 0;
    {
        auto r = Search("exfat_4k.img");
        camera = r->ByPath().at("/DCIM/Camera")->GetLocation();
    }
    auto r = Search("exfat_4k.img", {camera});
    std::map<std::string, CExFatFileNode*> found = r->ByPath();
    EXPECT_TRUE(found.count("/DCIM/Camera"));
    EXPECT_FALSE(found.count("/DCIM/Camera/Photo number 01 with a long name.jpg"));
    EXPECT_TRUE(found.count("/Music/Song 40 with a long name.mp3"));
    EXPECT_TRUE(found.count("/Folder with a longer name/y.txt"));
    EXPECT_EQ(r->builder.calls, (std::vector<std::string>{"begin 33", "end 33"}));
    EXPECT_EQ(r->sink.records.back().state, 3u);

    // An unreadable root costs what it holds: nothing is found, and the search ends as any other.
    auto root = Search("exfat_4k.img", {r->RootSector()});
    EXPECT_TRUE(root->builder.nodes.empty());
    EXPECT_EQ(root->builder.calls, (std::vector<std::string>{"begin 33", "end 33"}));
    EXPECT_EQ(root->sink.records.back().state, 3u);
}

TEST(ExFatQuickSearch, ProgressRisesWithoutRepeatsAndTheVolumeRecord) {
    EXFAT_NEED_VOLUMES();
    auto r = Search("exfat_512c.img");
    ASSERT_GE(r->sink.records.size(), 3u);
    uint64_t lastPercent = 0;
    for (size_t i = 0; i + 1 < r->sink.records.size(); ++i) {
        const auto& rec = r->sink.records[i];
        EXPECT_EQ(rec.state, 2u);
        const uint64_t percent = rec.done * 100 / rec.total;
        EXPECT_GT(percent, lastPercent);
        lastPercent = percent;
    }
    EXPECT_EQ(r->sink.records.back().state, 3u);
    EXPECT_EQ(r->sink.records.back().total, 1u);
    EXPECT_TRUE(std::all_of(r->builder.codes.begin(), r->builder.codes.end(), [](int c) { return c == 0x21; }));

    CSearchedPartitionInfo* out[2] = {};
    ASSERT_EQ(r->searcher.GetPartitions(out, 2), 1);
    std::unique_ptr<CSearchedPartitionInfo> v(out[0]);
    EXPECT_EQ(v->kind, 7u);
    EXPECT_EQ(v->sectorsPerCluster, 1u);
    EXPECT_EQ(v->dataStart, r->searcher.Volume().heapStart);
    EXPECT_EQ(v->sectorSize, 512u);
    EXPECT_EQ(r->searcher.GetPartitions(nullptr, 1), 1);
    EXPECT_EQ(r->searcher.GetPartitions(out, 0), 1);
}

TEST(ExFatQuickSearch, RefusedFilesAreReleasedAndFoldersStillWalked) {
    EXFAT_NEED_VOLUMES();
    SearchResult r("exfat_4k.img");
    ASSERT_EQ(r.device.Open(), 1);
    r.builder.refuseFiles = true;
    r.searcher.SetBuilder(&r.builder);
    r.searcher.Search(&r.device, &r.sink);
    std::map<std::string, CExFatFileNode*> found = r.ByPath();
    EXPECT_TRUE(found.count("/Old/Sub"));
    EXPECT_TRUE(found.count("/DCIM/Camera"));
    EXPECT_GT(r.builder.codes.size(), 100u);
}

TEST(ExFatQuickSearch, TheControllerPicksItAndLargeSectorsAreRefused) {
    EXFAT_NEED_VOLUMES();
    for (const char* image : {"exfat_4k.img", "exfat_8k.4k.img"}) {
        CImageStorage device(FixturePath(image), SectorSizeOf(image));
        ASSERT_EQ(device.Open(), 1);
        std::unique_ptr<IQuickFileSystemSearchController> s(DetectQuickSearcher(&device));
        EXPECT_NE(dynamic_cast<CExFatQuickSearch*>(s.get()), nullptr) << image;
    }
    // A device of 8192-byte sectors is refused before anything is read.
    CImageStorage big(FixturePath("exfat_4k.img"), 8192);
    ASSERT_EQ(big.Open(), 1);
    CExFatQuickSearch s;
    RecordingBuilder b;
    RecordingSink sink;
    s.SetBuilder(&b);
    EXPECT_EQ(s.Search(&big, &sink), RK_OK);
    EXPECT_TRUE(b.calls.empty());
    EXPECT_TRUE(sink.records.empty());
    // Without a builder nothing is read either.
    CExFatQuickSearch lone;
    EXPECT_EQ(lone.Search(&big, &sink), RK_OK);
}

}  // namespace
