#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <set>

#include "filesystems/FileSystemSearchers.h"
#include "filesystems/ext/CExt2QuickSearch.h"
#include "filesystems/ext/tests/ExtTestSupport.h"
#include "media_recovery/CArchiveBuilder.h"
#include "media_recovery/CDataRecovery.h"
#include "media_recovery/CDeletedRecoveryController.h"
#include "media_recovery/CRecoveryFilter.h"
#include "outside/device/CImageStorage.h"
#include "platform/TimeConversion.h"
#include "sqlite_recovery/framework/CDataContainer.h"
#include "filesystems/ext/CExt2FileSystem.h"

using namespace exttest;

namespace {

class UtcEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};
const auto* const kUtc = ::testing::AddGlobalTestEnvironment(new UtcEnvironment);

int64_t Seconds(uint64_t fileTime) { return platform::FileTimeToUnixSeconds(fileTime); }

struct Searched {
    std::unique_ptr<CImageStorage> device;
    std::unique_ptr<CExt2QuickSearch> searcher;
    RecordingBuilder builder;
    RecordingSink sink;
    ResultCode rc = 0;
    std::unique_ptr<CDataRecovery> recovery;

    // The bytes per-item recovery reads for node, through the searcher's volume record.
    std::string Recovered(CEXTFileNode* node) {
        if (!recovery) {
            recovery = std::make_unique<CDataRecovery>();
            if (Failed(recovery->Open(searcher.get(), device.get()))) return "<no recovery>";
        }
        IArchiveFileReader* reader = recovery->OpenFile(node);
        if (!reader) return "<not opened>";
        std::string out(static_cast<size_t>(node->GetSize()), '\0');
        uint64_t at = 0;
        while (at < out.size()) {
            uint32_t n = reader->Read(at, &out[at], static_cast<uint32_t>(std::min<uint64_t>(out.size() - at, 1 << 20)));
            if (n == 0) break;
            at += n;
        }
        reader->Release();
        out.resize(static_cast<size_t>(at));
        return out;
    }
};

std::unique_ptr<Searched> Search(const std::string& image, uint32_t sectorSize) {
    auto s = std::make_unique<Searched>();
    s->device = std::make_unique<CImageStorage>(ImagePath(image), sectorSize);
    EXPECT_EQ(s->device->Open(), 1) << image;
    s->searcher = std::make_unique<CExt2QuickSearch>();
    s->searcher->SetBuilder(&s->builder);
    s->rc = s->searcher->Search(s->device.get(), &s->sink);
    return s;
}

// The node's path through its folders, as fls writes it.
std::string PathOf(IFileNode* node) {
    std::string path;
    for (IFileNode* n = node; n; n = n->GetParent()) path = "/" + std::string(n->GetName()) + path;
    return path;
}

// Every live file and folder fls lists is found once by its inode, in its folder with its name,
// with its size, times and icat's bytes (holes as zeros); nothing else is found but deleted inodes
// and the inode named in <image>.unlinked: no entry names it, but its record, run over by the one
// before it, still lies in /Documents as letter.doc.
void ExpectAgreesWithSleuthKit(const std::string& image, uint32_t sectorSize, const std::string& oracle) {
    SCOPED_TRACE(image + " read with " + std::to_string(sectorSize) + "-byte sectors");
    auto s = Search(image, sectorSize);
    ASSERT_TRUE(Succeeded(s->rc)) << std::hex << s->rc;
    EXPECT_EQ(s->builder.codes, std::set<int>{SEARCHER_EXT});
    std::map<uint32_t, CEXTFileNode*> byInode = s->builder.ByInode();
    EXPECT_EQ(byInode.size(), s->builder.nodes.size()) << "an inode handed out twice";

    std::map<uint32_t, std::set<std::string>> names, paths;
    const std::vector<FlsEntry> fls = ReadFls(oracle);
    for (const FlsEntry& e : fls) {
        names[e.inode].insert(e.name);
        paths[e.inode].insert(e.path);
    }
    std::string unlinked = ReadFile(ImagePath(oracle) + ".unlinked");
    const uint32_t unlinkedInode = unlinked.empty() ? 0 : static_cast<uint32_t>(std::stoul(unlinked));

    size_t compared = 0;
    std::set<uint32_t> checked;
    for (const FlsEntry& e : fls) {
        if (!checked.insert(e.inode).second || (!e.regular && !e.directory)) continue;
        SCOPED_TRACE(e.path);
        auto it = byInode.find(e.inode);
        if (it == byInode.end()) {
            ADD_FAILURE() << "not found";
            continue;
        }
        CEXTFileNode* node = it->second;
        EXPECT_TRUE(names[e.inode].count(node->GetName())) << node->GetName();
        EXPECT_TRUE(paths[e.inode].count(PathOf(node))) << PathOf(node);
        EXPECT_FALSE(node->IsDeleted());
        EXPECT_EQ(node->IsDirectory(), e.directory);
        uint64_t t = 0;
        EXPECT_EQ(Seconds(*node->GetCreationTime(&t)), e.ctime);
        EXPECT_EQ(Seconds(*node->GetModificationTime(&t)), e.mtime);
        EXPECT_EQ(Seconds(*node->GetAccessTime(&t)), e.atime);
        if (e.directory) continue;
        EXPECT_EQ(node->GetSize(), e.size);
        if (e.size == 0) continue;
        EXPECT_TRUE(s->Recovered(node) == ReadFile(ImagePath(oracle) + ".icat/" + std::to_string(e.inode)))
            << "contents differ from icat";
        ++compared;
    }
    EXPECT_GE(compared, 10u);
    for (auto& [inode, node] : byInode) {
        if (names.count(inode) || node->IsDeleted()) continue;
        EXPECT_EQ(inode, unlinkedInode) << "found but not listed: inode " << inode << " " << node->GetName();
        EXPECT_EQ(PathOf(node), "/Documents/letter.doc");
        EXPECT_EQ(s->Recovered(node), ReadFile(ImagePath(oracle) + ".icat/" + std::to_string(inode)));
    }
}

TEST(ExtQuickSearch, EveryMadeVolumeAgreesWithTheSleuthKit) {
    const struct {
        const char* image;
        uint32_t sectorSize;
        const char* oracle;
    } cases[] = {
        {"ext2_1k.img", 512, nullptr},          {"ext2_r0.img", 512, nullptr},
        {"ext3_4k.img", 512, nullptr},          {"ext3_4k.img", 4096, nullptr},
        {"ext4_4k.img", 512, nullptr},          {"ext4_4k.img", 4096, nullptr},
        {"ext4_nocsum_4k.img", 4096, nullptr},  {"ext4_old_4k.img", 512, nullptr},
        {"ext4_old_4k.img", 4096, nullptr},     {"ext4_1k.img", 512, nullptr},
        {"ext4_sparse_1g.img", 4096, nullptr},  {"ext4_lazy_4k.img", 512, nullptr},
        // Primary descriptors zeroed: read through a backup copy.
        {"ext2_1k_no_gdt.img", 512, "ext2_1k.img"}, {"ext4_1k_no_gdt.img", 512, "ext4_1k.img"},
    };
    for (const auto& c : cases) ExpectAgreesWithSleuthKit(c.image, c.sectorSize, c.oracle ? c.oracle : c.image);
}

TEST(ExtQuickSearch, VolumesChangedByTheKernelAgreeWithTheSleuthKit) {
    for (const char* image : {"ext4_kernel_4k.img", "ext2_kernel_1k.img"}) {
        const std::string why = SkipReason(image);
        if (!why.empty()) GTEST_SKIP() << why;
    }
    ExpectAgreesWithSleuthKit("ext4_kernel_4k.img", 512, "ext4_kernel_4k.img");
    ExpectAgreesWithSleuthKit("ext4_kernel_4k.img", 4096, "ext4_kernel_4k.img");
    ExpectAgreesWithSleuthKit("ext2_kernel_1k.img", 512, "ext2_kernel_1k.img");
}

// Remembers whether anything was offered after the sink said stop.
class StopWatchingBuilder : public RecordingBuilder {
public:
    explicit StopWatchingBuilder(RecordingSink* sink) : sink_(sink) {}
    bool AddNode(IFileNode* node, int code) override {
        if (sink_->continues < 0) ++afterStop;
        return RecordingBuilder::AddNode(node, code);
    }
    int afterStop = 0;

private:
    RecordingSink* sink_;
};

TEST(ExtQuickSearch, AStopHandsOutNothingMoreAndFreesWhatItHeld) {
    // ext4_4k.img: /Moved was made after /Music, so Music waits for its name with files below it.
    CImageStorage device(ImagePath("ext4_4k.img"), 512);
    ASSERT_EQ(device.Open(), 1);
    RecordingSink counting;
    size_t everything = 0;
    {
        RecordingBuilder all;
        CExt2QuickSearch s;
        s.SetBuilder(&all);
        ASSERT_TRUE(Succeeded(s.Search(&device, &counting)));
        everything = all.nodes.size();
    }
    const long questions = (1L << 40) - counting.continues;
    ASSERT_GT(questions, 40);
    // A stop at every question: during the root's entries, the inode walk, a folder's entries
    // and the hand-out.
    for (long stopAt = 0; stopAt < questions; ++stopAt) {
        SCOPED_TRACE(stopAt);
        RecordingSink sink;
        sink.continues = stopAt;
        StopWatchingBuilder builder(&sink);
        CExt2QuickSearch s;
        s.SetBuilder(&builder);
        EXPECT_TRUE(Succeeded(s.Search(&device, &sink)));
        EXPECT_EQ(builder.afterStop, 0);
        // Folders it let go of left no node pointing at them.
        std::set<IFileNode*> kept;
        for (auto& n : builder.nodes) kept.insert(n.get());
        for (auto& n : builder.nodes) {
            if (n->GetParent()) {
                EXPECT_TRUE(kept.count(n->GetParent())) << n->GetName();
            }
        }
        // Early stops leave nodes unseen; the last questions come after the last node.
        EXPECT_LE(builder.nodes.size() + (stopAt <= questions / 2 ? 1 : 0), everything);
        EXPECT_EQ(builder.calls, (std::vector<std::string>{"begin 35", "end 35"}));
    }
}

TEST(ExtQuickSearch, RefusedNodesAreReleasedAndFoldersStillName) {
    CImageStorage device(ImagePath("ext2_1k.img"), 512);
    ASSERT_EQ(device.Open(), 1);
    // Files refused: released at once; folders kept by the builder still name the files below.
    RecordingBuilder noFiles;
    noFiles.refuseFiles = true;
    RecordingSink sink;
    CExt2QuickSearch s;
    s.SetBuilder(&noFiles);
    ASSERT_TRUE(Succeeded(s.Search(&device, &sink)));
    std::set<std::string> folders;
    for (auto& n : noFiles.nodes) folders.insert(n->GetName());
    EXPECT_EQ(folders, (std::set<std::string>{"lost+found", "DCIM", "Camera", "2024", "01", "Documents", "Music",
                                              "Album", "Pictures"}));
    EXPECT_GT(noFiles.offered, noFiles.nodes.size() + 10);

    // Everything refused, folders too: the searcher keeps them while their names are needed and
    // frees them itself (the sanitizer build checks both).
    class RefuseAll : public RecordingBuilder {
    public:
        bool AddNode(IFileNode* node, int) override {
            names.insert(node->GetName());
            return false;
        }
        std::set<std::string> names;
    } none;
    CExt2QuickSearch t;
    t.SetBuilder(&none);
    ASSERT_TRUE(Succeeded(t.Search(&device, &sink)));
    EXPECT_TRUE(none.names.count("track01.mp3"));
    EXPECT_TRUE(none.names.count("IMG_0101.JPG"));
}

TEST(ExtQuickSearch, ProgressOnceForEveryGroup) {
    for (const auto& [image, groups] : {std::pair<const char*, uint64_t>{"ext4_sparse_1g.img", 8}, {"ext2_1k.img", 4}}) {
        auto s = Search(image, 512);
        ASSERT_TRUE(Succeeded(s->rc));
        ASSERT_EQ(s->sink.records.size(), groups - 1) << image;
        for (size_t i = 0; i < s->sink.records.size(); ++i) {
            EXPECT_EQ(s->sink.records[i].state, 2u);
            EXPECT_EQ(s->sink.records[i].total, groups);
            EXPECT_EQ(s->sink.records[i].done, i + 1);
        }
    }
}

TEST(ExtQuickSearch, AnUnreadableInodeTableLosesOnlyItsGroup) {
    // The kernel put the folder it made into a group of its own.
    const std::string why = SkipReason("ext2_kernel_1k.img");
    if (!why.empty()) GTEST_SKIP() << why;
    MemoryDevice whole(LoadImage("ext2_kernel_1k.img"), 512);
    RecordingBuilder all;
    RecordingSink sink;
    CExt2QuickSearch reference;
    reference.SetBuilder(&all);
    ASSERT_TRUE(Succeeded(reference.Search(&whole, &sink)));
    // The inode table of a group other than 0 that holds some of them cannot be read.
    MemoryDevice damaged(LoadImage("ext2_kernel_1k.img"), 512);
    CExt2FileSystem fs(&damaged, 2);
    const uint32_t perGroup = fs.SuperBlock().inodesPerGroup;
    uint64_t group = 0;
    for (auto& [inode, node] : all.ByInode())
        if (group == 0) group = (inode - 1) / perGroup;
    ASSERT_NE(group, 0u);
    damaged.MarkBad(fs.Group(group).inodeTable * 2);
    RecordingBuilder some;
    CExt2QuickSearch s;
    s.SetBuilder(&some);
    ASSERT_TRUE(Succeeded(s.Search(&damaged, &sink)));
    auto found = some.ByInode();
    size_t lost = 0;
    for (auto& [inode, node] : all.ByInode()) {
        if ((inode - 1) / perGroup == group) {
            EXPECT_FALSE(found.count(inode));
            ++lost;
        } else {
            EXPECT_TRUE(found.count(inode)) << node->GetName();
        }
    }
    EXPECT_GT(lost, 0u);
    EXPECT_LT(lost, all.nodes.size() / 2);
}

TEST(ExtQuickSearch, TheSearcherFrame) {
    // Errors: a null argument or builder, a volume that cannot be opened.
    CImageStorage device(ImagePath("ext4_4k.img"), 4096);
    ASSERT_EQ(device.Open(), 1);
    RecordingBuilder builder;
    RecordingSink sink;
    {
        CExt2QuickSearch s;
        EXPECT_EQ(ErrorNumber(s.Search(&device, &sink)), 1u);
        s.SetBuilder(&builder);
        EXPECT_TRUE(Failed(s.Search(nullptr, &sink)));
        EXPECT_TRUE(Failed(s.Search(&device, nullptr)));
        EXPECT_TRUE(builder.calls.empty());
    }
    // A superblock refused (no magic; revision 0 with no inode size) is mended from its second
    // sources, or a backup copy is read. Where there is none, the search fails.
    for (const char* broken : {"ext4_bad_magic.img", "ext2_r0_no_inode_size.img", ""}) {
        std::unique_ptr<IStorageDevice> bad;
        if (*broken) bad.reset(new CImageStorage(ImagePath(broken), 512));
        else bad.reset(new MemoryDevice(std::vector<uint8_t>(1 << 20, 0), 512));
        ASSERT_EQ(bad->Open(), 1);
        CExt2QuickSearch s;
        RecordingBuilder b;
        s.SetBuilder(&b);
        ResultCode rc = s.Search(bad.get(), &sink);
        CSearchedPartitionInfo* out[1] = {};
        EXPECT_EQ(s.GetPartitions(out, 1), 1);  // one volume record, which reads nothing after a failure
        ASSERT_NE(out[0], nullptr);
        if (*broken) {
            EXPECT_TRUE(Succeeded(rc)) << broken;
            EXPECT_FALSE(b.nodes.empty()) << broken;
        } else {
            EXPECT_EQ(ErrorNumber(rc), 1u);
            EXPECT_TRUE(b.nodes.empty());
            EXPECT_EQ(out[0]->sectorsPerCluster, 0u);
        }
        delete out[0];
    }
    // The volume record: blocks are clusters, counted from the device's first sector.
    const struct {
        const char* image;
        uint32_t sectorSize, sectorsPerBlock;
    } records[] = {{"ext4_4k.img", 4096, 1}, {"ext4_4k.img", 512, 8}, {"ext2_1k.img", 512, 2}};
    for (const auto& r : records) {
        auto s = Search(r.image, r.sectorSize);
        ASSERT_TRUE(Succeeded(s->rc));
        EXPECT_EQ(s->builder.calls, (std::vector<std::string>{"begin 35", "end 35"}));
        EXPECT_EQ(s->searcher->GetPartitions(nullptr, 1), 1);
        CSearchedPartitionInfo* out[2] = {};
        EXPECT_EQ(s->searcher->GetPartitions(out, 0), 1);
        EXPECT_EQ(out[0], nullptr);
        ASSERT_EQ(s->searcher->GetPartitions(out, 2), 1);
        std::unique_ptr<CSearchedPartitionInfo> v(out[0]);
        EXPECT_EQ(out[1], nullptr);
        EXPECT_EQ(v->kind, 5u);
        EXPECT_EQ(v->sectorsPerCluster, r.sectorsPerBlock);
        EXPECT_EQ(v->sectorSize, r.sectorSize);
        EXPECT_EQ(v->dataStart, 0u);
        EXPECT_EQ(v->volumeStart, 0u);
        EXPECT_EQ(v->volumeLength, s->device->GetSectorCount());
        EXPECT_EQ(v->weight, 1.0);
        EXPECT_EQ(s->searcher->Partition().index, 0);
    }
    // The deleted-file controller gives an Ext volume this searcher.
    std::unique_ptr<IQuickFileSystemSearchController> chosen(DetectQuickSearcher(&device));
    EXPECT_NE(dynamic_cast<CExt2QuickSearch*>(chosen.get()), nullptr);
    EXPECT_EQ(UnnamedInodeName(26), "Inode_1a");
}

TEST(ExtQuickSearch, DeletedFilesNeverReachTheContainer) {
    for (const char* image : {"ext2_kernel_1k.img", "ext4_kernel_4k.img"}) {
        const std::string why = SkipReason(image);
        if (!why.empty()) GTEST_SKIP() << why;
    }
    for (const char* image : {"ext2_kernel_1k.img", "ext4_kernel_4k.img"}) {
        SCOPED_TRACE(image);
        // Read as the searcher reads it, deleted inodes become deleted nodes.
        auto s = Search(image, 512);
        size_t deleted = 0;
        for (auto& n : s->builder.nodes) deleted += n->IsDeleted();
        EXPECT_GE(deleted, 3u);

        CImageStorage device(ImagePath(image), 512);
        ASSERT_EQ(device.Open(), 1);
        CDataContainer<_ARCHIVE_INFOMATION> container;
        CRecoveryFilter filter;
        CDeletedRecoveryController controller;
        controller.SetFilter(&filter);
        RecordingSink sink;
        ASSERT_TRUE(Succeeded(controller.Run(&device, &sink, &container)));
        size_t files = 0;
        for (auto it = container.Begin(); it != container.End(); ++it) {
            IFileNode* node = it->second.node;
            EXPECT_FALSE(node->IsDeleted()) << node->GetName();
            EXPECT_EQ(it->second.type, 16u);
            ++files;
        }
        EXPECT_GT(files, 300u);
        for (auto it = container.Begin(); it != container.End(); ++it) delete it->second.node;
    }
}

TEST(ExtFileNode, PropertiesAndClones) {
    auto s = Search("ext4_4k.img", 512);
    ASSERT_TRUE(Succeeded(s->rc));
    CEXTFileNode* longName = nullptr;
    for (auto& n : s->builder.nodes)
        if (std::string(n->GetName()).size() == 255) longName = n.get();
    ASSERT_NE(longName, nullptr);
    CExt2FileProperties* p = longName->Properties();
    EXPECT_EQ(p->GetNameLength(), 255u);
    EXPECT_EQ(p->GetExtraName(), "");
    EXPECT_EQ(longName->GetKindCode(), 32);
    EXPECT_EQ(p->ReservedConstantA(), 255);
    EXPECT_EQ(p->ReservedConstantB(), 2);
    p->SetMark(7);
    EXPECT_EQ(p->GetMark(), 7);
    p->SetSwitch(3);
    EXPECT_TRUE(p->IsSwitchOn());
    // A clone has its own properties and runs: it outlives the original, long name included.
    std::unique_ptr<CEXTFileNode> clone(static_cast<CEXTFileNode*>(longName->Clone()));
    ASSERT_NE(clone, nullptr);
    const std::string before = s->Recovered(longName);
    const uint32_t inode = p->InodeNumber();
    for (auto& n : s->builder.nodes)
        if (n.get() == longName) n.reset();
    EXPECT_EQ(std::string(clone->GetName()).size(), 255u);
    EXPECT_EQ(clone->Properties()->InodeNumber(), inode);
    EXPECT_EQ(s->Recovered(clone.get()), before);
    clone->MarkDeleted();
    EXPECT_TRUE(clone->IsDeleted());
    clone->Properties()->SetName("..hidden.jpg");
    clone->TrimName();
    EXPECT_STREQ(clone->GetName(), "hidden.jpg");

    // Child names are taken once; a time of 0 is 1970-01-01 in local time (UTC here).
    CExt2FileProperties names;
    names.AddChildName(12, "a.jpg");
    names.AddChildName(12, "b.jpg");
    EXPECT_EQ(names.TakeChildName(12), "b.jpg");
    EXPECT_EQ(names.TakeChildName(12), "");
    EXPECT_EQ(platform::UnixSecondsToLocalFileTime(0), platform::kFileTimeUnixEpoch);
    EXPECT_EQ(names.GetDataRuns(), nullptr);
}

}  // namespace
