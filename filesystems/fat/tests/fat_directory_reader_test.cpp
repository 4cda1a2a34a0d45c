#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

#include "filesystems/fat/CFATFileNode.h"
#include "filesystems/fat/FatDirectoryEntry.h"
#include "filesystems/fat/FatDirectoryReader.h"
#include "filesystems/fat/tests/FatRecording.h"
#include "filesystems/fat/tests/FatTestSupport.h"
#include "filesystems/frame/ReadInPart.h"
#include "media_recovery/file_model/IDataRunList.h"
#include "filesystems/fat/IFATTable.h"
#include "platform/StringConversion.h"

using namespace fattest;

namespace {

// A chain table given as a map (hand-made: loops and cross-links no tool writes).
class MapFat : public IFATTable {
public:
    uint32_t NextCluster(uint32_t c) override {
        auto it = next.find(c);
        return it == next.end() ? 0 : it->second;
    }
    std::map<uint32_t, uint32_t> next;
};

// A volume of hand-made directory clusters: 512-byte sectors, cluster 2 at sector 10.
struct Volume {
    explicit Volume(uint32_t spc = 1, uint32_t clusters = 1000)
        : device(std::vector<uint8_t>((10 + static_cast<size_t>(clusters) * spc) * 512), 512) {
        ctx.device = &device;
        ctx.builder = &builder;
        ctx.kind = 1;
        ctx.sectorSize = 512;
        ctx.sectorsPerCluster = spc;
        ctx.clusterCount = clusters;
        ctx.dataSectors = static_cast<uint64_t>(clusters) * spc;
        ctx.dataStart = 10;
        ctx.fat = &fat;
        ResetEmptyFileCounter();
    }
    uint8_t* Slot(uint32_t cluster, uint32_t index) {
        return device.Bytes().data() + (10 + static_cast<size_t>(cluster - 2) * ctx.sectorsPerCluster) * 512 + index * 32;
    }
    void Put(uint32_t cluster, uint32_t index, const char* name11, uint8_t attr, uint32_t first, uint32_t size) {
        uint8_t* e = Slot(cluster, index);
        std::memcpy(e, name11, 11);
        e[11] = attr;
        e[20] = (first >> 16) & 0xFF;
        e[21] = first >> 24;
        e[26] = first & 0xFF;
        e[27] = (first >> 8) & 0xFF;
        for (int i = 0; i < 4; ++i) e[28 + i] = (size >> (8 * i)) & 0xFF;
    }
    void Dots(uint32_t cluster, uint32_t parent) {
        Put(cluster, 0, ".          ", 0x10, cluster, 0);
        Put(cluster, 1, "..         ", 0x10, parent, 0);
    }
    void LongPart(uint32_t cluster, uint32_t index, uint8_t ordinal, uint8_t sum, const std::u16string& units) {
        uint8_t* e = Slot(cluster, index);
        std::memset(e, 0xFF, 32);
        e[0] = ordinal;
        e[11] = 0x0F;
        e[12] = 0;
        e[13] = sum;
        e[26] = e[27] = 0;
        static const int kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
        for (size_t i = 0; i < 13; ++i) {
            uint16_t u = i < units.size() ? units[i] : (i == units.size() ? 0 : 0xFFFF);
            e[kOffsets[i]] = u & 0xFF;
            e[kOffsets[i] + 1] = u >> 8;
        }
    }
    // Reads the directory at cluster as a subdirectory of a live parent, then everything it queued.
    void WalkFrom(uint32_t cluster, bool deleted = false) {
        uint8_t entry[32] = {};
        std::memcpy(entry, deleted ? "\xE5OP        " : "TOP        ", 11);
        entry[11] = 0x10;
        top.reset(new CFATFileNode);
        CFATFileProperties* p = MakeFatProperties("TOP", entry);
        p->SetFirstCluster(cluster);
        top->AttachProperties(p);
        firstRead = ReadDirectoryChain(ctx, top.get(), cluster, false);
        while (!ctx.queue.empty()) {
            CFATFileNode* d = ctx.queue.front();
            ctx.queue.pop_front();
            ReadDirectoryChain(ctx, d, static_cast<uint32_t>(d->Properties()->FirstCluster()), false);
        }
    }
    CFATFileNode* Find(const std::string& name) {
        for (auto& n : builder.nodes)
            if (name == n->GetName()) return n.get();
        return nullptr;
    }
    std::vector<std::pair<int64_t, uint64_t>> Runs(const std::string& name) {
        std::vector<std::pair<int64_t, uint64_t>> out;
        CFATFileNode* n = Find(name);
        if (!n || !n->GetDataRuns()) return out;
        for (DataRun* r = n->GetDataRuns()->First(); r; r = n->GetDataRuns()->Next()) out.emplace_back(r->start, r->length);
        return out;
    }

    MemoryDevice device;
    MapFat fat;
    RecordingBuilder builder;
    FatWalkContext ctx;
    std::unique_ptr<CFATFileNode> top;
    bool firstRead = false;
};

using Runs = std::vector<std::pair<int64_t, uint64_t>>;

}  // namespace

TEST(FatDirectoryReader, LongNameStraddlingTwoNonConsecutiveClustersIsAssembled) {
    Volume v;
    v.Dots(5, 0);
    v.fat.next = {{5, 9}, {9, FAT_CLUSTER_END}};
    for (uint32_t i = 2; i < 15; ++i) {
        char name[12];
        std::snprintf(name, sizeof name, "FILLER%02uTXT", i);
        v.Put(5, i, name, 0x20, 0, 0);
    }
    uint8_t shortName[11];
    std::memcpy(shortName, "ALONGN~1JPG", 11);
    const uint8_t sum = ShortNameChecksum(shortName);
    const std::u16string name = u"A long name across clusters.jpg";  // 31 units: three parts
    v.LongPart(5, 15, 0x43, sum, name.substr(26));
    v.LongPart(9, 0, 0x02, sum, name.substr(13, 13));
    v.LongPart(9, 1, 0x01, sum, name.substr(0, 13));
    v.Put(9, 2, "ALONGN~1JPG", 0x20, 20, 100);
    v.WalkFrom(5);
    EXPECT_TRUE(v.firstRead);
    ASSERT_NE(v.Find("A long name across clusters.jpg"), nullptr);
    EXPECT_EQ(v.builder.nodes.size(), 14u);
    EXPECT_EQ(v.Find("A long name across clusters.jpg")->GetParent(), v.top.get());
}

TEST(FatDirectoryReader, MissingDotEntriesStopTheDirectoryAndALiveOneIsReadWhateverItsDotNames) {
    Volume v;
    v.Put(5, 0, "FILE    TXT", 0x20, 0, 0);  // no "." entry
    v.Put(5, 1, "..         ", 0x10, 0, 0);
    v.WalkFrom(5);
    EXPECT_FALSE(v.firstRead);
    EXPECT_TRUE(v.builder.nodes.empty());

    // "." naming another cluster: a live folder is the one its entry names, a deleted one is not
    // read (its clusters may be another's by now).
    for (bool deleted : {false, true}) {
        SCOPED_TRACE(deleted);
        Volume w;
        w.Put(6, 0, ".          ", 0x10, 7, 0);
        w.Put(6, 1, "..         ", 0x10, 0, 0);
        w.Put(6, 2, "FILE    TXT", 0x20, 0, 0);
        w.WalkFrom(6, deleted);
        EXPECT_EQ(w.firstRead, !deleted);
        EXPECT_EQ(w.Find("FILE.TXT") != nullptr, !deleted);
    }

    Volume r;  // a FAT32 root that begins with "."
    r.ctx.kind = 2;
    r.ctx.rootCluster = 2;
    r.Dots(2, 0);
    r.Put(2, 2, "FILE    TXT", 0x20, 0, 0);
    EXPECT_FALSE(ReadRootDirectory(r.ctx));
    EXPECT_TRUE(r.builder.nodes.empty());
}

TEST(FatDirectoryReader, DirectoriesListingThemselvesOrTheirAncestorsDoNotRecurse) {
    Volume v;
    v.Dots(5, 0);
    v.Put(5, 2, "SELF       ", 0x10, 5, 0);
    v.Put(5, 3, "CHILD      ", 0x10, 6, 0);
    v.Dots(6, 5);
    v.Put(6, 2, "BACKUP     ", 0x10, 5, 0);  // names its grandparent's cluster
    v.Put(6, 3, "TWIN       ", 0x10, 7, 0);
    v.Put(6, 4, "TWIN2      ", 0x10, 7, 0);  // two entries, one directory
    v.Dots(7, 6);
    v.Put(7, 2, "LEAF    TXT", 0x20, 0, 0);
    v.fat.next = {{5, FAT_CLUSTER_END}, {6, FAT_CLUSTER_END}, {7, FAT_CLUSTER_END}};
    v.WalkFrom(5);
    EXPECT_EQ(v.Find("SELF"), nullptr);
    ASSERT_NE(v.Find("BACKUP"), nullptr);
    EXPECT_EQ(v.Find("BACKUP")->GetFirstChild(), nullptr);
    int leaves = 0;
    for (auto& n : v.builder.nodes) leaves += std::string(n->GetName()) == "LEAF.TXT";
    EXPECT_EQ(leaves, 1);
}

TEST(FatDirectoryReader, DirectoryChainLoopsEnd) {
    Volume v;
    v.Dots(5, 0);
    v.fat.next = {{5, 8}, {8, 5}};  // 5 -> 8 -> 5
    v.Put(8, 0, "INLOOP  TXT", 0x20, 0, 0);
    v.WalkFrom(5);
    EXPECT_EQ(v.builder.nodes.size(), 1u);

    // 10 -> 11 -> 12 -> 9 -> 10: the cluster read just before the loop is kept, though it and the
    // cluster it comes back to are consecutive.
    Volume w;
    w.Dots(10, 0);
    w.fat.next = {{10, 11}, {11, 12}, {12, 9}, {9, 10}};
    w.Put(12, 0, "THIRD   TXT", 0x20, 0, 0);
    w.Put(9, 0, "FOURTH  TXT", 0x20, 0, 0);
    w.WalkFrom(10);
    EXPECT_NE(w.Find("THIRD.TXT"), nullptr);
    EXPECT_NE(w.Find("FOURTH.TXT"), nullptr);
}

TEST(FatDirectoryReader, DeletedFileIsTakenAsContiguousSteppingOverBadClusters) {
    Volume v(8, 2000);  // 4096-byte clusters
    v.Dots(5, 0);
    v.Put(5, 2, "\xE5" "ONE    JPG", 0x20, 100, 10000);
    v.Put(5, 3, "\xE5" "TWO    JPG", 0x20, 200, 10000);
    v.fat.next = {{5, FAT_CLUSTER_END}, {201, FAT_CLUSTER_BAD}};
    v.WalkFrom(5);
    EXPECT_EQ(v.Runs("#ONE.JPG"), (Runs{{98, 3}}));
    EXPECT_EQ(v.Runs("#TWO.JPG"), (Runs{{198, 1}, {200, 2}}));
    EXPECT_TRUE(v.Find("#ONE.JPG")->IsDeleted());
}

TEST(FatDirectoryReader, LiveChainsFollowTheFatAndEndWithinTheVolume) {
    Volume v(1, 1000);
    v.Dots(5, 0);
    v.Put(5, 2, "FRAG    BIN", 0x20, 20, 2000);  // 4 clusters: 20, 21, 40, 41
    v.Put(5, 3, "LOOP    BIN", 0x20, 50, 20000);  // 40 clusters over a chain that loops after two
    v.Put(5, 4, "SHORT   BIN", 0x20, 60, 2048);  // chain ends after one cluster
    v.Put(5, 5, "ZERO    BIN", 0x20, 0, 700);  // a size but no cluster
    v.Put(5, 6, "FAR     BIN", 0x20, 5000, 700);  // beyond the volume: not an entry
    v.Put(5, 7, "EDGE    BIN", 0x20, 1001, 1024);  // runs past the last cluster, 1001
    v.Put(5, 8, "BADEND  BIN", 0x20, 70, 1536);  // chain whose link names a bad cluster
    v.Put(5, 9, "FREE    BIN", 0x20, 80, 1000);  // a first cluster the table marks free
    v.fat.next = {{5, FAT_CLUSTER_END}, {20, 21}, {21, 40}, {40, 41}, {41, FAT_CLUSTER_END}, {50, 51}, {51, 50},
                  {60, FAT_CLUSTER_END}, {1001, 1002}, {70, 71}, {71, FAT_CLUSTER_BAD}};
    v.WalkFrom(5);
    EXPECT_EQ(v.Runs("FRAG.BIN"), (Runs{{18, 2}, {38, 2}}));
    // A chain that ends with its end mark, or comes back on itself, holds what it holds: the size is
    // cut to it and the item says so.
    EXPECT_EQ(v.Runs("LOOP.BIN"), (Runs{{48, 2}}));
    EXPECT_EQ(v.Find("LOOP.BIN")->GetSize(), 1024u);
    EXPECT_EQ(v.Runs("SHORT.BIN"), (Runs{{58, 1}}));
    EXPECT_EQ(v.Find("SHORT.BIN")->GetSize(), 512u);
    EXPECT_TRUE(v.Find("SHORT.BIN")->Properties()->GetFlags() & FILE_FLAG_SIZE_CUT);
    EXPECT_FALSE(v.Find("FRAG.BIN")->Properties()->GetFlags() & FILE_FLAG_SIZE_CUT);
    ASSERT_NE(v.Find("ZERO.BIN"), nullptr);
    EXPECT_EQ(v.Find("ZERO.BIN")->GetDataRuns(), nullptr);
    EXPECT_EQ(v.Find("FAR.BIN"), nullptr);
    // A link that is free or bad names no cluster: the chain ends there, and the clusters after it
    // (another file's) are not read on.
    EXPECT_EQ(v.Runs("EDGE.BIN"), (Runs{{999, 1}}));
    EXPECT_EQ(v.Find("EDGE.BIN")->GetSize(), 512u);
    EXPECT_EQ(v.Runs("BADEND.BIN"), (Runs{{68, 1}}));
    EXPECT_EQ(v.Find("BADEND.BIN")->GetSize(), 512u);
    EXPECT_TRUE(v.Find("BADEND.BIN")->Properties()->GetFlags() & FILE_FLAG_SIZE_CUT);
    // A live file's first cluster that the table marks free is not its: no runs, nothing kept.
    EXPECT_EQ(v.Find("FREE.BIN")->GetDataRuns(), nullptr);
    EXPECT_EQ(v.Find("FREE.BIN")->GetSize(), 0u);
    EXPECT_TRUE(v.Find("FREE.BIN")->Properties()->GetFlags() & FILE_FLAG_SIZE_CUT);
}

TEST(FatDirectoryReader, EmptyFilesGetNumbersOfTheirOwnAndZeroSlotsAreSkipped) {
    Volume v;
    v.Dots(5, 0);
    v.Put(5, 2, "EMPTY1  DAT", 0x20, 0, 0);
    // slot 3 stays all zero
    v.Put(5, 4, "EMPTY2  DAT", 0x20, 0, 0);
    v.fat.next = {{5, FAT_CLUSTER_END}};
    v.WalkFrom(5);
    ASSERT_EQ(v.builder.nodes.size(), 2u);
    EXPECT_EQ(v.Find("EMPTY1.DAT")->Properties()->FirstCluster(), 0x100000000u);
    EXPECT_EQ(v.Find("EMPTY2.DAT")->Properties()->FirstCluster(), 0x100000001u);
    EXPECT_EQ(v.Find("EMPTY1.DAT")->GetLocation(), 0x100000000u);
    EXPECT_EQ(v.Find("EMPTY1.DAT")->GetLocation2(), 5u);
    EXPECT_EQ(v.Find("EMPTY1.DAT")->GetLocatorLocation(), 10 + 3);  // the directory's sector
}

TEST(FatDirectoryReader, AnUnreadableSectorCostsOnlyTheEntriesInIt) {
    Volume v;
    v.Dots(5, 0);
    v.Put(5, 2, "FIRST   TXT", 0x20, 0, 0);
    v.Put(8, 0, "SECOND  TXT", 0x20, 0, 0);
    v.Put(9, 0, "THIRD   TXT", 0x20, 0, 0);
    v.fat.next = {{5, 8}, {8, 9}, {9, FAT_CLUSTER_END}};
    v.device.MarkBad(10 + 6);
    const uint64_t said = ReadInPartCount();
    v.WalkFrom(5);
    EXPECT_TRUE(v.firstRead);
    EXPECT_NE(v.Find("FIRST.TXT"), nullptr);
    EXPECT_EQ(v.Find("SECOND.TXT"), nullptr);
    EXPECT_NE(v.Find("THIRD.TXT"), nullptr);
    EXPECT_EQ(ReadInPartCount(), said + 1);
}

TEST(FatDirectoryReader, EverythingBelowADeletedFolderIsDeleted) {
    Volume v;
    v.Dots(5, 3);
    v.Put(5, 2, "LIVE    TXT", 0x20, 0, 0);
    v.Put(5, 3, "INNER      ", 0x10, 6, 0);
    v.Dots(6, 5);
    v.Put(6, 2, "DEEP    TXT", 0x20, 30, 10);
    v.fat.next = {{6, FAT_CLUSTER_END}};
    v.top.reset();
    // The folder itself was found deleted in a directory at cluster 3.
    uint8_t entry[32] = {};
    std::memcpy(entry, "\xE5OP        ", 11);
    entry[11] = 0x10;
    auto* p = MakeFatProperties("TOP", entry);
    p->SetFirstCluster(5);
    p->SetDirectory(3, 0);
    v.top.reset(new CFATFileNode);
    v.top->AttachProperties(p);
    EXPECT_TRUE(ReadDirectoryChain(v.ctx, v.top.get(), 5, false));
    while (!v.ctx.queue.empty()) {
        CFATFileNode* d = v.ctx.queue.front();
        v.ctx.queue.pop_front();
        ReadDirectoryChain(v.ctx, d, static_cast<uint32_t>(d->Properties()->FirstCluster()), false);
    }
    ASSERT_NE(v.Find("DEEP.TXT"), nullptr);
    EXPECT_TRUE(v.Find("LIVE.TXT")->IsDeleted());
    EXPECT_TRUE(v.Find("DEEP.TXT")->IsDeleted());
    EXPECT_EQ(v.Runs("DEEP.TXT"), (Runs{{28, 1}}));

    // A deleted folder whose cluster now holds another folder (its ".." names another parent).
    Volume w;
    w.Dots(5, 77);
    w.Put(5, 2, "OTHER   TXT", 0x20, 0, 0);
    std::memcpy(entry, "\xE5OP        ", 11);
    auto* q = MakeFatProperties("TOP", entry);
    q->SetFirstCluster(5);
    q->SetDirectory(3, 0);
    w.top.reset(new CFATFileNode);
    w.top->AttachProperties(q);
    EXPECT_FALSE(ReadDirectoryChain(w.ctx, w.top.get(), 5, false));
    EXPECT_TRUE(w.builder.nodes.empty());
}

TEST(FatDirectoryReader, OnlyTheDirectorysOwnDotEntriesAreSkipped) {
    Volume v;
    v.Dots(5, 0);
    v.Put(5, 2, "BEFORE  TXT", 0x20, 0, 0);
    v.Put(5, 3, ".          ", 0x10, 5, 0);  // a third "."
    v.Put(5, 4, "..         ", 0x10, 9, 0);  // a stray ".." naming another directory
    v.Put(5, 5, ".HIDDEN TXT", 0x20, 0, 0);  // a name that begins with '.'
    v.Put(5, 6, "AFTER   TXT", 0x20, 0, 0);
    v.fat.next = {{5, 8}, {8, FAT_CLUSTER_END}};
    v.Put(8, 0, "NEXT    TXT", 0x20, 0, 0);
    v.WalkFrom(5);
    EXPECT_TRUE(v.firstRead);
    std::set<std::string> names;
    for (auto& n : v.builder.nodes) names.insert(n->GetName());
    EXPECT_EQ(names, (std::set<std::string>{"BEFORE.TXT", ".HIDDEN.TXT", "AFTER.TXT", "NEXT.TXT"}));

    Volume root;  // a fixed root has no dot entries of its own
    root.ctx.rootStart = 10;
    root.ctx.rootSectors = 1;
    root.Put(2, 0, ".          ", 0x10, 0, 0);
    root.Put(2, 1, "..         ", 0x10, 0, 0);
    root.Put(2, 2, ".A      TXT", 0x20, 0, 0);
    root.Put(2, 3, "LAST    TXT", 0x20, 0, 0);
    EXPECT_TRUE(ReadRootDirectory(root.ctx));
    EXPECT_NE(root.Find(".A.TXT"), nullptr);
    EXPECT_NE(root.Find("LAST.TXT"), nullptr);
    EXPECT_EQ(root.builder.nodes.size(), 2u);
}

TEST(FatFileNode, CloneCarriesNameTimesFlagsAndItsOwnRuns) {
    Volume v(8, 2000);
    v.Dots(5, 0);
    v.Put(5, 2, "\xE5" "ONE    JPG", 0x20, 100, 10000);
    uint8_t hiddenShort[11];
    std::memcpy(hiddenShort, "NOMEDI~1   ", 11);
    v.LongPart(5, 3, 0x41, ShortNameChecksum(hiddenShort), u".nomedia");
    v.Put(5, 4, "NOMEDI~1   ", 0x20, 300, 10);
    v.Put(5, 5, "FOLDER     ", 0x10, 400, 0);
    v.fat.next = {{5, FAT_CLUSTER_END}, {300, FAT_CLUSTER_END}};
    *v.Slot(5, 2) = 0xE5;
    v.Slot(5, 2)[22] = 0x21;  // a write time
    v.WalkFrom(5);
    CFATFileNode* one = v.Find("#ONE.JPG");
    ASSERT_NE(one, nullptr);
    std::unique_ptr<IFileNode> copy(one->Clone());
    auto* c = dynamic_cast<CFATFileNode*>(copy.get());
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(c->GetName(), "#ONE.JPG");
    EXPECT_TRUE(c->IsDeleted());
    uint64_t a = 0, b = 0;
    EXPECT_EQ(*c->GetModificationTime(&a), *one->GetModificationTime(&b));
    EXPECT_EQ(c->GetLocation(), one->GetLocation());
    EXPECT_EQ(c->GetLocatorLocation(), one->GetLocatorLocation());
    ASSERT_NE(c->GetDataRuns(), nullptr);
    EXPECT_NE(c->GetDataRuns(), one->GetDataRuns());
    EXPECT_EQ(c->GetDataRuns()->First()->length, 3u);
    EXPECT_EQ(c->GetKindCode(), 32);
    EXPECT_NE(c->GetName(), one->GetName());  // its own copy of the name

    CFATFileNode* hidden = v.Find(".nomedia");
    ASSERT_NE(hidden, nullptr);
    EXPECT_FALSE(hidden->IsDeleted());
    hidden->MarkDeleted();
    EXPECT_TRUE(hidden->IsDeleted());
    hidden->TrimName();
    EXPECT_STREQ(hidden->GetName(), "nomedia");
    CFATFileNode* folder = v.Find("FOLDER");
    ASSERT_NE(folder, nullptr);
    EXPECT_TRUE(folder->IsDirectory());
    EXPECT_NE(folder->GetDataRuns(), nullptr);  // where its entries lie: they are its clusters
    EXPECT_EQ(folder->GetLocation(), 400u);
}
