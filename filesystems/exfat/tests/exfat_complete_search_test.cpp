// The whole-device exFAT search over blank images that hold an exFAT volume (and two FAT volumes)
// at sector offsets, intact and with its boot regions, root folder or FAT wiped, against The Sleuth Kit.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "filesystems/frame/CSearchedPartitionInfo.h"
#include "filesystems/exfat/CExFatCompleteSearch.h"
#include "filesystems/exfat/CExFatQuickSearch.h"
#include "filesystems/exfat/ExFatLayout.h"
#include "filesystems/exfat/tests/ExFatTestSupport.h"
#include "filesystems/tests/CompleteSearchImages.h"
#include "media_recovery/CCompleteRecoveryController.h"
#include "media_recovery/CRecoveryFilter.h"
#include "media_recovery/CStorageDeviceWithCache.h"
#include "media_recovery/SearcherFactories.h"
#include "media_recovery/file_model/IFileProperties.h"
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

// The clusters of every folder of the volume, by path ("/" the root), as the fixture's walk finds them.
std::map<std::string, std::vector<uint32_t>> ReadFolders() {
    std::map<std::string, std::vector<uint32_t>> out;
    std::istringstream in(ReadFile(ImagePath("exfat.folders")));
    std::string line;
    while (std::getline(in, line)) {
        const std::vector<std::string> f = SplitFields(line);
        if (f.size() != 2) continue;
        std::istringstream clusters(f[1]);
        for (uint32_t c = 0; clusters >> c;) out[f[0]].push_back(c);
    }
    return out;
}

// How a found path must answer the path fls lists.
enum class Place {
    Exact,       // the same
    LostFirst,   // or "/DIRn" and the rest, n the first cluster of the folder whose entry is gone
    LostAny,     // or "/DIRn" and the rest, n any cluster of that folder (no FAT tells which is first)
};

// Whether found answers listed; for a lost folder of the root, n is one of the root's clusters.
bool SamePlace(const std::string& found, const std::string& listed, Place place,
               const std::map<std::string, std::vector<uint32_t>>& folders) {
    if (found == listed) return true;
    if (place == Place::Exact || found.rfind("/DIR", 0) != 0) return false;
    const size_t end = found.find('/', 1);
    if (end == std::string::npos) return false;
    const std::string rest = found.substr(end);
    if (listed.size() <= rest.size() || listed.compare(listed.size() - rest.size(), rest.size(), rest) != 0)
        return false;
    const std::string folder = listed.substr(0, listed.size() - rest.size());
    auto clusters = folders.find(folder.empty() ? "/" : folder);
    if (clusters == folders.end()) return false;
    const uint32_t n = static_cast<uint32_t>(std::stoul(found.substr(4, end - 4)));
    if (place == Place::LostFirst && !folder.empty()) return clusters->second.front() == n;
    return std::find(clusters->second.begin(), clusters->second.end(), n) != clusters->second.end();
}

// Where cluster 2 of the placed volume lies on the device.
uint64_t HeapStart() {
    const std::string boot = ReadFile(ImagePath("exfat.vol")).substr(0, 512);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(boot.data());
    return VolumeOffset("exfat") + LoadLE32(bytes + exfat::kBootHeapOffset);
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
        out.push_back(exfattest::TreePath(n.get()) + (n->IsDeleted() ? " deleted " : " ") +
                      std::to_string(n->GetLocation()) + " " + std::to_string(n->GetLocation2()));
    return out;
}

}  // namespace

// Intact, then without the main boot sector, without both boot regions, without the root folder
// too, and without both boot regions and the FAT: one volume each time, where the volume lies, every
// file in its folder (under "DIRn" when the folder's own entry is gone) with what can still be read
// of it. A chained file whose FAT is found comes back whole; without one it keeps its first cluster
// and its size, and is marked cut.
TEST(ExFatCompleteSearch, FindsTheVolumeWithWhatIsLeftOfIt) {
    COMPLETE_NEED_IMAGES();
    struct Case {
        const char* image;
        uint32_t evidence;   // bits that must be set
        uint32_t absent;     // bits that must not
        bool wholeTree;      // every entry fls lists is found (else the root folder's are not)
        bool fat;            // the FAT is found
        Place place;
    } cases[] = {
        {"device.img", EXFAT_EVIDENCE_BOOT | EXFAT_EVIDENCE_FIRST_FAT, 0, true, true, Place::Exact},
        {"exfat_nomain.img", EXFAT_EVIDENCE_BACKUP_BOOT | EXFAT_EVIDENCE_FIRST_FAT, EXFAT_EVIDENCE_MAIN_BOOT, true,
         true, Place::Exact},
        {"exfat_noboot.img", EXFAT_EVIDENCE_ROOT_RUN, EXFAT_EVIDENCE_BOOT | EXFAT_EVIDENCE_FIRST_FAT, true, true,
         Place::Exact},
        {"exfat_noroot.img", 0, EXFAT_EVIDENCE_BOOT | EXFAT_EVIDENCE_ROOT_RUN, false, true, Place::LostFirst},
        {"exfat_nofat.img", EXFAT_EVIDENCE_ROOT_RUN, EXFAT_EVIDENCE_BOOT | EXFAT_EVIDENCE_FIRST_FAT, true, false,
         Place::LostAny},
    };
    const std::vector<Listed> listed = ReadListing("exfat");
    const std::vector<FileSet> sets = ReadSets();
    const std::map<std::string, std::vector<uint32_t>> folders = ReadFolders();
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
        size_t checked = 0, chained = 0, cut = 0;
        for (const Listed& e : listed) {
            SCOPED_TRACE(e.path);
            if (!expected.count({e.Name(), e.deleted})) continue;
            const std::vector<CExFatFileNode*>& named = s.byName[{e.Name(), e.deleted}];
            EXPECT_TRUE(std::any_of(named.begin(), named.end(), [&](CExFatFileNode* n) {
                return SamePlace(exfattest::TreePath(n), e.path, c.place, folders);
            })) << "not found in its folder";
            if (e.directory || e.size == 0) continue;
            CExFatFileNode* node = s.Only(e.Name(), e.deleted);
            if (!node) continue;
            EXPECT_EQ(node->GetSize(), e.size);
            const bool contiguous = std::any_of(sets.begin(), sets.end(), [&](const FileSet& f) {
                return f.path == e.path && f.noFatChain;
            });
            // Clusters of 512 bytes.
            const bool shortened = !contiguous && !c.fat && e.size > 512;
            EXPECT_EQ((node->GetFlags() & FILE_FLAG_SIZE_CUT) != 0, shortened);
            const std::string bytes = recover.Bytes(node), icat = e.Icat("exfat");
            if (shortened) {
                EXPECT_TRUE(bytes.size() == 512 && icat.compare(0, 512, bytes) == 0) << "not icat's first cluster";
            } else {
                EXPECT_TRUE(bytes == icat) << "contents differ from icat";
            }
            ++checked;
            chained += contiguous ? 0 : 1;
            cut += shortened ? 1 : 0;
        }
        const size_t lost = std::count_if(s.builder.nodes.begin(), s.builder.nodes.end(), [](const auto& n) {
            return n->GetParent() == nullptr && std::string(n->GetName()).rfind("DIR", 0) == 0;
        });
        EXPECT_EQ(lost > 0, c.place != Place::Exact) << lost << " folders whose entry is gone";
        EXPECT_GE(checked, c.wholeTree ? 55u : 50u);
        // The three fragmented videos.
        EXPECT_EQ(chained, 3u);
        EXPECT_EQ(cut, c.fat ? 0u : 3u);
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
// with vendor entries and a volume GUID entry), the whole-device search finds one volume and every
// file and folder that the quick search finds from the root, in the same folder, with the same first
// byte and size: the writer can tell that the two found one file.
TEST(ExFatCompleteSearch, FindsWhatTheQuickSearchFinds) {
    EXFAT_NEED_VOLUMES();
    for (const char* image : {"exfat_512c.img", "exfat_4k.img", "exfat_32k.img", "exfat_8k.4k.img",
                              "exfat_nowrites.img", "exfat_4k_vendor.img", "exfat_4k_guid.img"}) {
        SCOPED_TRACE(image);
        const uint32_t sectorSize = exfattest::SectorSizeOf(image);
        // Path and state -> the first byte and the size of each node found there.
        std::map<std::pair<std::string, bool>, std::multiset<std::pair<uint64_t, uint64_t>>> quick, complete;
        const auto add = [](auto& found, const exfattest::RecordingBuilder& builder) {
            for (auto& n : builder.nodes)
                found[{exfattest::TreePath(n.get()), n->IsDeleted()}].emplace(n->GetLocation(), n->GetSize());
        };
        {
            CImageStorage device(exfattest::FixturePath(image), sectorSize);
            ASSERT_EQ(device.Open(), 1);
            CExFatQuickSearch searcher;
            exfattest::RecordingBuilder builder;
            exfattest::RecordingSink sink;
            searcher.SetBuilder(&builder);
            searcher.Search(&device, &sink);
            add(quick, builder);
        }
        CImageStorage device(exfattest::FixturePath(image), sectorSize);
        ASSERT_EQ(device.Open(), 1);
        CExFatCompleteSearch searcher;
        exfattest::RecordingBuilder builder;
        RunWholeDevice(searcher, device, builder, 0x400000 / sectorSize);
        ASSERT_EQ(searcher.Volumes().size(), 1u);
        EXPECT_EQ(searcher.Volumes()[0]->evidence & EXFAT_EVIDENCE_BOOT, EXFAT_EVIDENCE_BOOT);
        add(complete, builder);
        for (auto& [key, nodes] : quick) {
            SCOPED_TRACE(key.first + (key.second ? " (deleted)" : ""));
            for (const auto& node : nodes) EXPECT_EQ(complete[key].count(node), nodes.count(node));
        }
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
