// The whole-device exFAT search over blank images that hold an exFAT volume (and two FAT volumes)
// at sector offsets, intact and with its boot regions and root folder wiped, against The Sleuth Kit.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "filesystems/CSearchedPartitionInfo.h"
#include "filesystems/exfat/CExFatCompleteSearch.h"
#include "filesystems/exfat/CExFatQuickSearch.h"
#include "filesystems/exfat/ExFatLayout.h"
#include "filesystems/exfat/tests/ExFatTestSupport.h"
#include "filesystems/tests/CompleteSearchImages.h"
#include "media_recovery/CCompleteRecoveryController.h"
#include "media_recovery/CRecoveryFilter.h"
#include "media_recovery/CStorageDeviceWithCache.h"
#include "media_recovery/SearcherFactories.h"
#include "outside/device/CImageStorage.h"
#include "sqlite_recovery/framework/CDataContainer.h"

using namespace completetest;

namespace {

// A file set of the volume as the fixture's own walk of it lists it.
struct FileSet {
    bool inUse;
    bool noFatChain;
    std::string path;
    uint64_t length;
};

std::vector<FileSet> ReadSets() {
    std::vector<FileSet> out;
    std::istringstream in(ReadFile(ImagePath("exfat.sets")));
    std::string line;
    while (std::getline(in, line)) {
        const std::vector<std::string> f = SplitFields(line);
        if (f.size() == 4) out.push_back({f[0] == "1", f[1] == "1", f[2], std::stoull(f[3])});
    }
    return out;
}

// Where cluster 2 of the placed volume lies on the device.
uint64_t HeapStart() {
    const std::string boot = ReadFile(ImagePath("exfat.vol")).substr(0, 512);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(boot.data());
    return VolumeOffset("exfat") + exfat::LoadU32(bytes + exfat::kBootHeapOffset);
}

struct Searched {
    explicit Searched(const std::string& image) : device(ImagePath(image), 512) {
        EXPECT_EQ(device.Open(), 1) << image;
        RunWholeDevice(searcher, device, builder);
        for (auto& n : builder.nodes) byName[{n->GetName(), n->IsDeleted()}].push_back(n.get());
    }
    // The one node of that name and state; null (and a failure) when there is not exactly one.
    CExFatFileNode* Only(const std::string& name, bool deleted) {
        auto it = byName.find({name, deleted});
        const size_t count = it == byName.end() ? 0 : it->second.size();
        EXPECT_EQ(count, 1u) << name << (deleted ? " (deleted)" : "");
        return count == 1 ? it->second.front() : nullptr;
    }

    CImageStorage device;
    CExFatCompleteSearch searcher;
    exfattest::RecordingBuilder builder;
    std::map<std::pair<std::string, bool>, std::vector<CExFatFileNode*>> byName;
};

// Drives the searcher through the read-ahead cache, which lends it each chunk.
void RunThroughCache(CExFatCompleteSearch& searcher, IStorageDevice& device, IDirecotryTreeBuilder& builder,
                     uint32_t chunkSectors) {
    CStorageDeviceWithCache cache(&device);
    ASSERT_EQ(cache.SetChunkSectors(chunkSectors), 1);
    ASSERT_EQ(cache.Start(), 1);
    searcher.SetDevice(&cache);
    searcher.SetChunkSectors(chunkSectors);
    searcher.SetBuilder(&builder);
    const uint64_t sectors = device.GetSectorCount();
    for (uint64_t i = 0; i < cache.GetChunkCount(); ++i) {
        ASSERT_EQ(cache.LoadChunk(i), 1);
        const uint64_t first = i * chunkSectors;
        EXPECT_EQ(searcher.ScanChunk(first, std::min<uint64_t>(chunkSectors, sectors - first), nullptr), 1);
    }
    searcher.EndSearch();
    cache.Stop();
}

// Everything a search handed over: the volumes, then each node with its places, in order.
std::vector<std::string> Findings(CExFatCompleteSearch& searcher, const exfattest::RecordingBuilder& builder) {
    std::vector<std::string> out;
    for (const auto& v : searcher.Volumes())
        out.push_back("volume " + std::to_string(v->volumeStart) + " " + std::to_string(v->heapStart) + " " +
                      std::to_string(v->evidence));
    for (const auto& n : builder.nodes)
        out.push_back(std::string(n->GetName()) + (n->IsDeleted() ? " deleted " : " ") +
                      std::to_string(n->GetLocation()) + " " + std::to_string(n->GetLocation2()));
    return out;
}

}  // namespace

// Intact, then without the main boot sector, without both boot regions, and without the root folder
// too: one volume each time, where the volume lies, with what can still be read coming back whole.
TEST(ExFatCompleteSearch, FindsTheVolumeWithWhatIsLeftOfIt) {
    COMPLETE_NEED_IMAGES();
    struct Case {
        const char* image;
        uint32_t evidence;   // bits that must be set
        uint32_t absent;     // bits that must not
        bool wholeTree;      // every entry fls lists is found (else the root folder's are not)
        bool chainedFiles;   // the FAT is known: chained files come back too
    } cases[] = {
        {"device.img", EXFAT_EVIDENCE_BOOT | EXFAT_EVIDENCE_FIRST_FAT, 0, true, true},
        {"exfat_nomain.img", EXFAT_EVIDENCE_BACKUP_BOOT | EXFAT_EVIDENCE_FIRST_FAT, EXFAT_EVIDENCE_MAIN_BOOT, true,
         true},
        {"exfat_noboot.img", EXFAT_EVIDENCE_ROOT_RUN, EXFAT_EVIDENCE_BOOT | EXFAT_EVIDENCE_FIRST_FAT, true, false},
        {"exfat_noroot.img", 0, EXFAT_EVIDENCE_BOOT | EXFAT_EVIDENCE_ROOT_RUN, false, false},
    };
    const std::vector<Listed> listed = ReadListing("exfat");
    const std::vector<FileSet> sets = ReadSets();
    ASSERT_GT(listed.size(), 50u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image);
        Searched s(c.image);
        ASSERT_EQ(s.searcher.Volumes().size(), 1u);
        const ExFatVolume& volume = *s.searcher.Volumes()[0];
        EXPECT_EQ(volume.heapStart, HeapStart());
        EXPECT_EQ(volume.sectorsPerCluster, 1u);
        EXPECT_EQ(volume.evidence & c.evidence, c.evidence);
        EXPECT_EQ(volume.evidence & c.absent, 0u);
        for (auto& n : s.builder.nodes) EXPECT_EQ(n->GetPartitionIndex(), 0);

        Recoverer recover(s.searcher, s.device);
        ASSERT_EQ(recover.Recovery().PartitionCount(), 1u);
        EXPECT_EQ(recover.Recovery().Partition(0)->dataStart, HeapStart());
        std::map<std::pair<std::string, bool>, size_t> expected;
        for (const Listed& e : listed)
            if (c.wholeTree || e.path.find('/', 1) != std::string::npos) ++expected[{e.Name(), e.deleted}];
        for (auto& [key, count] : expected)
            EXPECT_EQ(s.byName[key].size(), count) << key.first << (key.second ? " (deleted)" : "");
        size_t checked = 0;
        for (const Listed& e : listed) {
            SCOPED_TRACE(e.path);
            if (e.directory || e.size == 0 || !expected.count({e.Name(), e.deleted})) continue;
            CExFatFileNode* node = s.Only(e.Name(), e.deleted);
            if (!node) continue;
            EXPECT_EQ(node->GetSize(), e.size);
            const bool contiguous = std::any_of(sets.begin(), sets.end(), [&](const FileSet& f) {
                return f.path == e.path && f.noFatChain;
            });
            if (!contiguous && !c.chainedFiles) continue;
            EXPECT_TRUE(recover.Bytes(node) == e.Icat("exfat")) << "contents differ from icat";
            ++checked;
        }
        EXPECT_GE(checked, c.wholeTree ? 55u : 50u);
    }
}

// Every NoFatChain file of the volume, live or deleted, is among what the rebuild from runs and the
// up-case table finds: the fixture's own walk lists them.
TEST(ExFatCompleteSearch, TheRebuildKeepsEveryContiguousFile) {
    COMPLETE_NEED_IMAGES();
    Searched s("exfat_noboot.img");
    size_t contiguous = 0, deleted = 0;
    for (const FileSet& f : ReadSets()) {
        if (!f.noFatChain) continue;
        SCOPED_TRACE(f.path);
        ++contiguous;
        deleted += f.inUse ? 0 : 1;
        s.Only(f.path.substr(f.path.rfind('/') + 1), !f.inUse);
    }
    EXPECT_GE(contiguous, 50u);
    EXPECT_GE(deleted, 4u);
}

// The music and camera folders grew in turns with their files, so many of their sets straddle two
// clusters that lie apart: each such set is joined again by its checksum, and its two runs chained.
TEST(ExFatCompleteSearch, SetsCutBetweenRunsAreJoinedByTheirChecksum) {
    COMPLETE_NEED_IMAGES();
    CImageStorage device(ImagePath("exfat_noboot.img"), 512);
    ASSERT_EQ(device.Open(), 1);
    CExFatCompleteSearch searcher;
    exfattest::RecordingBuilder builder;
    searcher.SetDevice(&device);
    searcher.SetChunkSectors(8192);
    searcher.SetBuilder(&builder);
    for (uint64_t first = 0; first < device.GetSectorCount(); first += 8192)
        searcher.ScanChunk(first, std::min<uint64_t>(8192, device.GetSectorCount() - first), nullptr);
    size_t chained = 0;
    for (size_t i = 0; i < searcher.Collection().RunCount(); ++i)
        if (ExFatDirectoryInfo* run = searcher.Collection().Run(i); run->previous) {
            ++chained;
            EXPECT_EQ(run->previous->next, run);
        }
    EXPECT_GE(chained, 5u);
    searcher.EndSearch();
    std::map<std::pair<std::string, bool>, int> found;
    for (auto& n : builder.nodes) ++found[{n->GetName(), n->IsDeleted()}];
    for (const FileSet& f : ReadSets()) {
        if (f.path.rfind("/Music/Track", 0) != 0 && f.path.rfind("/DCIM/Camera/", 0) != 0) continue;
        EXPECT_EQ((found[{f.path.substr(f.path.rfind('/') + 1), !f.inUse}]), 1) << f.path;
    }
}

// GetPartitions: a null array or too small a max writes nothing and answers the count.
TEST(ExFatCompleteSearch, GetPartitionsAnswersTheCountWithoutRoom) {
    COMPLETE_NEED_IMAGES();
    Searched s("device.img");
    EXPECT_EQ(s.searcher.GetPartitions(nullptr, 0), 1);
    CSearchedPartitionInfo* none[1] = {};
    EXPECT_EQ(s.searcher.GetPartitions(none, 0), 1);
    EXPECT_EQ(none[0], nullptr);
    CSearchedPartitionInfo* out[2] = {};
    ASSERT_EQ(s.searcher.GetPartitions(out, 2), 1);
    std::unique_ptr<CSearchedPartitionInfo> info(out[0]);
    EXPECT_EQ(info->kind, CExFatCompleteSearch::kPartitionKind);
    EXPECT_EQ(info->index, 0);
    EXPECT_EQ(info->volumeStart, VolumeOffset("exfat"));
    EXPECT_EQ(info->dataStart, HeapStart());
    EXPECT_EQ(info->sectorsPerCluster, 1u);
    EXPECT_EQ(out[1], nullptr);
}

// Over the quick search's volumes (clusters of 1, 8, 16 and 64 sectors, 512- and 4096-byte sectors,
// with vendor entries and a volume GUID entry), the whole-device search finds one volume and at
// least every file and folder that the quick search finds from the root.
TEST(ExFatCompleteSearch, FindsWhatTheQuickSearchFinds) {
    EXFAT_NEED_VOLUMES();
    for (const char* image : {"exfat_512c.img", "exfat_4k.img", "exfat_32k.img", "exfat_8k.4k.img",
                              "exfat_nowrites.img", "exfat_4k_vendor.img", "exfat_4k_guid.img"}) {
        SCOPED_TRACE(image);
        const uint32_t sectorSize = exfattest::SectorSizeOf(image);
        std::map<std::pair<std::string, bool>, int> quick, complete;
        {
            CImageStorage device(exfattest::FixturePath(image), sectorSize);
            ASSERT_EQ(device.Open(), 1);
            CExFatQuickSearch searcher;
            exfattest::RecordingBuilder builder;
            exfattest::RecordingSink sink;
            searcher.SetBuilder(&builder);
            searcher.Search(&device, &sink);
            for (auto& n : builder.nodes) ++quick[{n->GetName(), n->IsDeleted()}];
        }
        CImageStorage device(exfattest::FixturePath(image), sectorSize);
        ASSERT_EQ(device.Open(), 1);
        CExFatCompleteSearch searcher;
        exfattest::RecordingBuilder builder;
        RunWholeDevice(searcher, device, builder, 0x400000 / sectorSize);
        ASSERT_EQ(searcher.Volumes().size(), 1u);
        EXPECT_EQ(searcher.Volumes()[0]->evidence & EXFAT_EVIDENCE_BOOT, EXFAT_EVIDENCE_BOOT);
        for (auto& n : builder.nodes) ++complete[{n->GetName(), n->IsDeleted()}];
        for (auto& [key, count] : quick)
            EXPECT_GE(complete[key], count) << key.first << (key.second ? " (deleted)" : "");
    }
}

// How the device is cut into chunks, and whether the cache lends them or they are read, changes
// nothing: sets that run on past a chunk's end are seen whole wherever the cut falls (chunks of
// one, two and three sectors, and of an odd thousand).
TEST(ExFatCompleteSearch, ChunkCutsAndLentChunksFindTheSame) {
    COMPLETE_NEED_IMAGES();
    for (const char* image : {"exfat_noboot.img", "device.img"}) {
        SCOPED_TRACE(image);
        CImageStorage device(ImagePath(image), 512);
        ASSERT_EQ(device.Open(), 1);
        std::vector<std::string> expected;
        {
            CExFatCompleteSearch searcher;
            exfattest::RecordingBuilder builder;
            RunWholeDevice(searcher, device, builder);
            expected = Findings(searcher, builder);
        }
        ASSERT_GT(expected.size(), 50u);
        for (const uint32_t chunk : {1u, 2u, 1000u}) {
            CExFatCompleteSearch searcher;
            exfattest::RecordingBuilder builder;
            RunWholeDevice(searcher, device, builder, chunk);
            EXPECT_EQ(Findings(searcher, builder), expected) << chunk << " sectors read";
        }
        for (const uint32_t chunk : {3u, 1000u, 8192u}) {
            CExFatCompleteSearch searcher;
            exfattest::RecordingBuilder builder;
            RunThroughCache(searcher, device, builder, chunk);
            EXPECT_EQ(Findings(searcher, builder), expected) << chunk << " sectors lent";
        }
    }
}
