#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "media_recovery/CDataRecovery.h"
#include "media_recovery/MediaErrors.h"
#include "media_recovery/CDeletedRecoveryController.h"
#include "filesystems/fat/CFATQuickSearcher.h"
#include "filesystems/frame/CFATSearchedPartitionInfo.h"
#include "filesystems/frame/ReadInPart.h"
#include "filesystems/fat/FatDirectoryReader.h"
#include "filesystems/fat/tests/FatRecording.h"
#include "filesystems/fat/tests/FatTestSupport.h"
#include "filesystems/FileSystemSearchers.h"
#include "filesystems/fat/IRealFATTable.h"
#include "platform/FileSystem.h"
#include "platform/TimeConversion.h"

using namespace fattest;

namespace {

// One entry of fls's body output.
struct FlsEntry {
    std::string path;
    bool deleted = false;
    bool directory = false;
    std::string inode;
    uint64_t size = 0;
    int64_t atime = 0, mtime = 0, crtime = 0;
};

std::map<std::string, FlsEntry> ReadFls(const std::string& image) {
    std::map<std::string, FlsEntry> out;
    std::istringstream in(ReadFile(ImagePath(image) + ".fls"));
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream ss(line);
        std::string field;
        while (std::getline(ss, field, '|')) f.push_back(field);
        if (f.size() < 11 || f[1].rfind("/$", 0) == 0) continue;
        FlsEntry e;
        e.path = f[1];
        const std::string mark = " (deleted)";
        if (e.path.size() > mark.size() && e.path.compare(e.path.size() - mark.size(), mark.size(), mark) == 0) {
            e.deleted = true;
            e.path.resize(e.path.size() - mark.size());
        }
        e.inode = f[2];
        e.directory = f[3].rfind("d/d", 0) == 0;
        e.size = std::stoull(f[6]);
        e.atime = std::stoll(f[7]);
        e.mtime = std::stoll(f[8]);
        e.crtime = std::stoll(f[10]);
        out[e.path] = e;
    }
    return out;
}

// fls shows the lost first letter of a deleted short name as '_', this reader as '#'.
std::string AsFlsPath(CFATFileNode* node) {
    std::string path;
    for (IFileNode* n = node; n; n = n->GetParent()) {
        std::string name = n->GetName();
        if (n->IsDeleted() && !name.empty() && name[0] == '#') name[0] = '_';
        path = "/" + name + path;
    }
    return path;
}

int64_t Seconds(uint64_t fileTime) { return fileTime == 0 ? 0 : platform::FileTimeToUnixSeconds(fileTime); }

struct SearchResult {
    ~SearchResult() {
        if (!folder.empty()) std::system(("rm -rf '" + folder + "'").c_str());
    }
    // The bytes that per-item recovery writes for node.
    std::string Recovered(CFATFileNode* node) {
        if (!recovery) {
            recovery = std::make_unique<CDataRecovery>();
            if (Failed(recovery->Open(searcher.get(), device.get()))) return "<no recovery>";
            char name[] = "/tmp/rk_fat_recovered_XXXXXX";
            if (!mkdtemp(name)) return "<no folder>";
            folder = name;
        }
        IArchiveFileReader* reader = recovery->OpenFile(node);
        if (!reader) return "<not opened>";
        reader->Release();
        const std::string target = folder + "/" + std::to_string(++written);
        RecordingSink quiet;
        // A file written short (what could be read of it) is written all the same.
        const ResultCode result = recovery->RecoverTo(target.c_str(), &quiet, 0);
        if (Failed(result) && ErrorNumber(result) != MEDIA_E_FILE_SHORT) return "<not written>";
        return ReadFile(target);
    }

    std::unique_ptr<CImageStorage> device;
    std::unique_ptr<IQuickFileSystemSearchController> searcher;
    RecordingBuilder builder;
    RecordingSink sink;
    ResultCode rc = 0;
    std::unique_ptr<CFATSearchedPartitionInfo> volume;
    std::unique_ptr<CDataRecovery> recovery;
    std::string folder;
    int written = 0;
};

std::unique_ptr<SearchResult> Search(const std::string& image) {
    auto r = std::make_unique<SearchResult>();
    r->device = std::make_unique<CImageStorage>(ImagePath(image), ImageSectorSize(image));
    EXPECT_EQ(r->device->Open(), 1);
    r->searcher.reset(CreateFATQuickSearcher());
    r->searcher->SetBuilder(&r->builder);
    r->rc = r->searcher->Search(r->device.get(), &r->sink);
    CSearchedPartitionInfo* out[4] = {};
    if (r->searcher->GetPartitions(out, 4) == 1) r->volume.reset(static_cast<CFATSearchedPartitionInfo*>(out[0]));
    return r;
}

// Everything the reader found on image agrees with The Sleuth Kit on oracleImage.
void ExpectAgreesWithSleuthKit(const std::string& image, const std::string& oracleImage, bool compareDeletedData) {
    SCOPED_TRACE(image);
    auto r = Search(image);
    ASSERT_TRUE(Succeeded(r->rc)) << std::hex << r->rc;
    ASSERT_NE(r->volume, nullptr);
    std::map<std::string, FlsEntry> fls = ReadFls(oracleImage);

    std::set<std::string> found;
    size_t comparedDeleted = 0;
    for (auto& owned : r->builder.nodes) {
        CFATFileNode* node = owned.get();
        const std::string path = AsFlsPath(node);
        SCOPED_TRACE(path);
        EXPECT_TRUE(found.insert(path).second) << "listed twice";
        auto it = fls.find(path);
        if (it == fls.end()) {
            ADD_FAILURE() << "not listed by fls";
            continue;
        }
        const FlsEntry& e = it->second;
        EXPECT_EQ(node->IsDeleted(), e.deleted);
        EXPECT_EQ(node->IsDirectory(), e.directory);
        uint64_t t = 0;
        EXPECT_EQ(Seconds(*node->GetModificationTime(&t)), e.mtime);
        EXPECT_EQ(Seconds(*node->GetAccessTime(&t)), e.atime);
        // fls adds the creation time's hundredths, which this reader leaves out.
        EXPECT_NEAR(static_cast<double>(Seconds(*node->GetCreationTime(&t))), static_cast<double>(e.crtime), 1.0);
        if (node->IsDirectory()) continue;
        EXPECT_EQ(node->GetSize(), e.size);
        if (node->GetSize() == 0) {
            EXPECT_EQ(node->GetDataRuns(), nullptr);
            EXPECT_GE(node->Properties()->FirstCluster(), kFirstEmptyFileNumber);
            continue;
        }
        if (node->IsDeleted() && !compareDeletedData) continue;
        if (platform::GetEntryKind(ImagePath(oracleImage) + ".icat") != platform::EntryKind::Directory) continue;  // a listing-only oracle
        std::string expected = ReadFile(ImagePath(oracleImage) + ".icat/" + e.inode);
        // What per-item recovery writes, and what the runs address, both equal icat's bytes.
        std::string actual = r->Recovered(node);
        EXPECT_EQ(actual, ReadThroughRuns(r->device.get(), node, r->volume->dataStart, r->volume->sectorsPerCluster));
        if (node->IsDeleted()) {
            // Only deleted files whose clusters no later file took are expected to come back whole.
            if (actual != expected) continue;
            ++comparedDeleted;
        }
        EXPECT_TRUE(actual == expected) << "contents differ from icat";
        EXPECT_EQ(node->GetPartitionIndex(), 0);
    }
    for (const auto& [path, e] : fls)
        EXPECT_TRUE(found.count(path)) << path << " listed by fls only";
    EXPECT_GE(found.size(), 60u);
    if (compareDeletedData) {
        EXPECT_GE(comparedDeleted, 3u);
    }
}

}  // namespace

TEST(FatQuickSearch, EveryMadeVolumeAgreesWithTheSleuthKit) {
    for (const char* image : {"fat12.img", "fat16.img", "fat16_f0.img", "fat16_4k.img", "fat32.img", "fat32_4k.img"})
        ExpectAgreesWithSleuthKit(image, image, true);
}

TEST(FatQuickSearch, FixedRootLargerThanOneReadIsReadWhole) {
    ExpectAgreesWithSleuthKit("fat16_bigroot.img", "fat16_bigroot.img", false);
    // 300 names of 7 entries each: the last ones lie beyond the first 128 sectors.
    auto r = Search("fat16_bigroot.img");
    EXPECT_EQ(r->builder.nodes.size(), 300u);
}

TEST(FatQuickSearch, DamagedBootSectorIsReadThroughTheBackup) {
    ExpectAgreesWithSleuthKit("fat32_backup_boot.img", "fat32.img", true);
}

TEST(FatQuickSearch, DamagedFirstFatIsReadThroughTheSecondCopy) {
    ExpectAgreesWithSleuthKit("fat16_second_fat.img", "fat16.img", true);
}

TEST(FatQuickSearch, WithoutAnyFatFilesAreTakenAsContiguousAndOnlyFirstDirectoryClustersAreRead) {
    auto r = Search("fat16_no_fat.img");
    ASSERT_TRUE(Succeeded(r->rc));
    std::map<std::string, FlsEntry> fls = ReadFls("fat16.img");
    std::map<std::string, CFATFileNode*> byPath;
    for (auto& n : r->builder.nodes) byPath[AsFlsPath(n.get())] = n.get();
    // The fixed root is read whole.
    for (const char* p : {"/DCIM", "/Music", "/Documents", "/a.txt", "/Long File Name.jpg", "/empty1.dat"})
        EXPECT_TRUE(byPath.count(p)) << p;
    // A contiguous file comes back whole, the fragmented one as far as it was contiguous.
    CFATFileNode* a = byPath["/Documents/a.bin"];
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(ReadThroughRuns(r->device.get(), a, r->volume->dataStart, r->volume->sectorsPerCluster),
              ReadFile(ImagePath("fat16.img") + ".icat/" + fls["/Documents/a.bin"].inode));
    CFATFileNode* big = byPath["/Documents/big.bin"];
    ASSERT_NE(big, nullptr);
    DataRun* run = big->GetDataRuns()->First();
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(run->length, (40000 + 1023) / 1024u);
    EXPECT_EQ(big->GetDataRuns()->Next(), nullptr);
    // The camera folder spans several clusters; only its first one is read.
    size_t photos = 0;
    for (auto& [path, node] : byPath)
        if (path.rfind("/DCIM/Camera/Photo", 0) == 0) ++photos;
    EXPECT_GT(photos, 0u);
    EXPECT_LT(photos, 40u);
}

TEST(FatQuickSearch, HostileNamesAndLoopingDirectoriesHideNothingTheSleuthKitLists) {
    // Names beginning with '.' (one a stray ".."), and directory chains that come back on themselves
    // in both FAT copies: every entry fls lists is found, with icat's bytes.
    for (const char* image : {"fat16_dotname.img", "fat16_loop.img", "fat32_loop.img"})
        ExpectAgreesWithSleuthKit(image, image, true);
}

TEST(FatQuickSearch, ASizeBeyondAnIntactChainIsCutToTheChain) {
    auto r = Search("fat16_hugesize.img");
    ASSERT_TRUE(Succeeded(r->rc));
    std::map<std::string, CFATFileNode*> byPath;
    for (auto& n : r->builder.nodes) byPath[AsFlsPath(n.get())] = n.get();
    for (const auto& [path, e] : ReadFls("fat16_hugesize.img")) EXPECT_TRUE(byPath.count(path)) << path;
    // fls leaves the file out; its five 1024-byte clusters are kept, and marked as cut.
    CFATFileNode* a = byPath["/Documents/a.bin"];
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->GetSize(), 5u * 1024);
    EXPECT_TRUE(a->Properties()->GetFlags() & FILE_FLAG_SIZE_CUT);
    const std::string written = r->Recovered(a);
    ASSERT_EQ(written.size(), 5u * 1024);
    const std::map<std::string, FlsEntry> source = ReadFls("fat16.img");
    EXPECT_EQ(written.substr(0, 5000),
              ReadFile(ImagePath("fat16.img") + ".icat/" + source.at("/Documents/a.bin").inode));
}

TEST(FatQuickSearch, FragmentedFileHasOneRunPerFragment) {
    auto r = Search("fat16.img");
    for (auto& n : r->builder.nodes) {
        if (std::string(n->GetName()) != "big.bin") continue;
        int runs = 0;
        uint64_t clusters = 0;
        for (DataRun* run = n->GetDataRuns()->First(); run; run = n->GetDataRuns()->Next()) {
            ++runs;
            clusters += run->length;
        }
        EXPECT_EQ(runs, 2);
        EXPECT_EQ(clusters, (40000 + 1023) / 1024u);
        return;
    }
    FAIL() << "big.bin not found";
}

TEST(FatQuickSearch, BuilderCallsCodesProgressAndTheVolumeRecord) {
    auto r = Search("fat32.img");
    ASSERT_TRUE(Succeeded(r->rc));
    EXPECT_EQ(r->builder.calls, (std::vector<std::string>{"begin 32 0 0", "end 32"}));
    EXPECT_TRUE(std::all_of(r->builder.codes.begin(), r->builder.codes.end(), [](int c) { return c == 0x20; }));
    ASSERT_FALSE(r->sink.records.empty());
    EXPECT_EQ(r->sink.records.back(), (RecordingSink::Record{3, 100, 100}));
    EXPECT_EQ(r->sink.records[r->sink.records.size() - 2], (RecordingSink::Record{2, 100, 100}));
    uint64_t last = 0;
    for (size_t i = 0; i + 2 < r->sink.records.size(); ++i) {
        EXPECT_EQ(r->sink.records[i].state, 2u);
        EXPECT_GT(r->sink.records[i].done, last);
        last = r->sink.records[i].done;
    }
    const CFATSearchedPartitionInfo& v = *r->volume;
    EXPECT_EQ(v.index, 0);
    EXPECT_EQ(v.kind, 2u);
    EXPECT_EQ(v.evidenceFlags, 0x3CCu);
    EXPECT_EQ(v.volumeStart, 0u);
    EXPECT_EQ(v.root, 2u);
    EXPECT_EQ(v.sectorSize, 512u);
    EXPECT_EQ(v.score, 1u);
    EXPECT_GT(v.clusterCount, 65524u);
}

TEST(FatQuickSearch, RefusedNodesAreReleasedAndFoldersStillWalked) {
    auto device = std::make_unique<CImageStorage>(ImagePath("fat16.img"), 512);
    ASSERT_EQ(device->Open(), 1);
    RecordingBuilder builder;
    builder.refuseFiles = true;
    RecordingSink sink;
    CFATQuickSearcher searcher;
    searcher.SetBuilder(&builder);
    ASSERT_TRUE(Succeeded(searcher.Search(device.get(), &sink)));
    std::set<std::string> dirs;
    for (auto& n : builder.nodes) dirs.insert(PathOf(n.get()));
    EXPECT_TRUE(dirs.count("/DCIM/Camera/2024/01"));
    EXPECT_TRUE(dirs.count("/Old/Sub"));
    EXPECT_GT(builder.codes.size(), builder.nodes.size());
}

TEST(FatQuickSearch, ErrorNumbersAndTheFinalRecordOnEveryPath) {
    auto device = std::make_unique<CImageStorage>(ImagePath("fat16.img"), 512);
    ASSERT_EQ(device->Open(), 1);
    RecordingBuilder builder;
    {
        CFATQuickSearcher s;
        RecordingSink sink;
        ResultCode rc = s.Search(device.get(), &sink);
        EXPECT_TRUE(Failed(rc));
        EXPECT_EQ(ErrorNumber(rc), 7u);  // no builder
        EXPECT_EQ(sink.records, (std::vector<RecordingSink::Record>{{3, 100, 100}}));
        CSearchedPartitionInfo* out[1] = {};
        EXPECT_EQ(s.GetPartitions(out, 1), 0);
    }
    {
        CFATQuickSearcher s;
        s.SetBuilder(&builder);
        RecordingSink sink;
        EXPECT_EQ(ErrorNumber(s.Search(nullptr, &sink)), 5u);
        EXPECT_EQ(sink.records.size(), 1u);
        EXPECT_EQ(ErrorNumber(s.Search(device.get(), nullptr)), 5u);
    }
    {
        // Neither sector 0 nor 6 holds a boot sector: a device of zeros.
        MemoryDevice zeros(std::vector<uint8_t>(512 * 64), 512);
        CFATQuickSearcher s;
        RecordingBuilder b;
        s.SetBuilder(&b);
        RecordingSink sink;
        ResultCode rc = s.Search(&zeros, &sink);
        EXPECT_EQ(ErrorNumber(rc), 12u);
        EXPECT_TRUE(Failed(rc));
        EXPECT_EQ(b.calls, (std::vector<std::string>{"end 32"}));
        EXPECT_EQ(sink.records.back(), (RecordingSink::Record{3, 100, 100}));
    }
    {
        CFATQuickSearcher s;
        RecordingBuilder b;
        s.SetBuilder(&b);
        RecordingSink sink;
        sink.continues = 2;
        ResultCode rc = s.Search(device.get(), &sink);
        EXPECT_EQ(ErrorNumber(rc), 13u);
        EXPECT_EQ(sink.records.back(), (RecordingSink::Record{3, 100, 100}));
        EXPECT_EQ(b.calls.back(), "end 32");
        // The volume stays listed for the recovery of what was found.
        CSearchedPartitionInfo* out[1] = {};
        ASSERT_EQ(s.GetPartitions(out, 1), 1);
        delete out[0];
        EXPECT_EQ(s.GetPartitions(nullptr, 0), 1);
    }
}

TEST(FatQuickSearch, ProgressOfARootWithOneFolderOfThreeFolders) {
    // Made here with mkfs and mtools: root -> A -> {B, C, D}.
    char dir[] = "/tmp/rk_fat_progress_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string img = std::string(dir) + "/p.img";
    ASSERT_EQ(std::system(("mkfs.vfat -C -F 16 -s 2 " + img + " 16384 >/dev/null && MTOOLS_SKIP_CHECK=1 mmd -i " + img +
                           " ::/A ::/A/B ::/A/C ::/A/D")
                              .c_str()),
              0);
    CImageStorage device(img, 512);
    ASSERT_EQ(device.Open(), 1);
    RecordingBuilder builder;
    RecordingSink sink;
    CFATQuickSearcher s;
    s.SetBuilder(&builder);
    ASSERT_TRUE(Succeeded(s.Search(&device, &sink)));
    std::vector<uint64_t> done;
    for (auto& rec : sink.records) done.push_back(rec.done);
    EXPECT_EQ(done, (std::vector<uint64_t>{50, 60, 80, 100, 100}));
    EXPECT_EQ(sink.records.back().state, 3u);
    std::system((std::string("rm -rf ") + dir).c_str());
}

TEST(FatQuickSearch, TheDeletedFileControllerPicksThisSearcherForEveryVariant) {
    for (const char* image : {"fat12.img", "fat16.img", "fat16_4k.img", "fat32.img", "fat32_4k.img"}) {
        SCOPED_TRACE(image);
        CImageStorage device(ImagePath(image), ImageSectorSize(image));
        ASSERT_EQ(device.Open(), 1);
        std::unique_ptr<IQuickFileSystemSearchController> s(DetectQuickSearcher(&device));
        EXPECT_NE(dynamic_cast<CFATQuickSearcher*>(s.get()), nullptr);
    }
}

TEST(FatQuickSearch, AVolumeCutBeforeItsDataAreaIsKeptAndSaidAndOneWhoseFatsDoNotFitIsRefused) {
    // The first sectors of a made FAT32 volume: boot sectors and part of its FATs, the data area
    // past the device's end. The volume is there, with none of its clusters, and that is said.
    std::vector<uint8_t> head(1000 * 512);
    std::ifstream in(ImagePath("fat32.img"), std::ios::binary);
    in.read(reinterpret_cast<char*>(head.data()), head.size());
    MemoryDevice device(head, 512);
    EXPECT_TRUE(IsUsableFatBootSector(head.data(), &device));
    CFATQuickSearcher s;
    RecordingBuilder b;
    s.SetBuilder(&b);
    RecordingSink sink;
    const uint64_t said = ReadInPartCount();
    EXPECT_TRUE(Succeeded(s.Search(&device, &sink)));
    EXPECT_TRUE(b.nodes.empty());
    EXPECT_GT(ReadInPartCount(), said);
    CSearchedPartitionInfo* out[1] = {};
    ASSERT_EQ(s.GetPartitions(out, 1), 1);
    EXPECT_EQ(static_cast<CFATSearchedPartitionInfo*>(out[0])->clusterCount, 0u);
    delete out[0];

    // A FAT12/16 boot sector whose FATs would outnumber its sectors.
    std::vector<uint8_t> f16(16384 * 512);
    std::ifstream in16(ImagePath("fat16.img"), std::ios::binary);
    in16.read(reinterpret_cast<char*>(f16.data()), f16.size());
    f16[22] = 0xFF;
    f16[23] = 0x7F;  // 32767 sectors per FAT
    MemoryDevice big(f16, 512);
    EXPECT_FALSE(IsUsableFatBootSector(f16.data(), &big));
}
