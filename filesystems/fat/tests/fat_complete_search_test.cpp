// The whole-device FAT search over blank images that hold FAT16 and FAT32 volumes (and an exFAT
// one) at sector offsets, intact and damaged, against The Sleuth Kit.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "filesystems/fat/CFATCompleteFSearcher.h"
#include "filesystems/fat/FatBootSector.h"
#include "filesystems/fat/tests/FatRecording.h"
#include "filesystems/tests/CompleteSearchImages.h"
#include "media_recovery/CDataRecovery.h"
#include "media_recovery/MediaErrors.h"
#include "outside/device/CImageStorage.h"
#include "testing/MemoryDevice.h"

using namespace completetest;

namespace {

struct Expected {
    const char* volume;  // fat16 or fat32
    uint64_t score;
    uint32_t flags;  // evidence that must be set
};

}  // namespace

// Each volume is found once, where it lies and with its score (none at the readings 6 sectors
// off), and its whole tree is what fls lists there: each file in its folder, live or deleted as fls
// says, with icat's bytes read back through the volume the searcher lists. A FAT16 volume whose FAT
// starts were zeroed is not found.
TEST(FatCompleteSearch, FindsEachVolumeOnceWithItsTree) {
    COMPLETE_NEED_IMAGES();
    const uint32_t fat16Boot = FAT_SEEN_FAT16_BOOT, fat32Both = FAT_SEEN_FAT32_BOOT | FAT_SEEN_FAT32_BACKUP;
    const uint32_t bothFats = FAT_SEEN_FIRST_FAT | FAT_USE_FIRST_FAT | FAT_SEEN_SECOND_FAT | FAT_USE_SECOND_FAT;
    const struct {
        const char* image;
        std::vector<Expected> volumes;
    } cases[] = {
        {"device.img", {{"fat16", 100, fat16Boot | bothFats}, {"fat32", 100, fat32Both | bothFats}}},
        {"fat32_nomain.img",
         {{"fat16", 100, fat16Boot | bothFats}, {"fat32", 95, FAT_SEEN_FAT32_BACKUP | bothFats}}},
        {"fat16_nofat.img", {{"fat32", 100, fat32Both | bothFats}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.image);
        CImageStorage device(ImagePath(c.image), 512);
        ASSERT_EQ(device.Open(), 1);
        CFATCompleteFSearcher searcher;
        fattest::RecordingBuilder builder;
        RunWholeDevice(searcher, device, builder);
        ASSERT_EQ(searcher.Volumes().size(), c.volumes.size());
        Recoverer recover(searcher, device);
        for (size_t i = 0; i < c.volumes.size(); ++i) {
            const Expected& e = c.volumes[i];
            SCOPED_TRACE(e.volume);
            const CFATSearchedPartitionInfo& v = *searcher.Volumes()[i];
            EXPECT_EQ(v.volumeStart, VolumeOffset(e.volume));
            EXPECT_EQ(v.index, i);
            EXPECT_EQ(v.score, e.score);
            EXPECT_EQ(v.evidenceFlags & e.flags, e.flags) << std::hex << v.evidenceFlags;

            std::map<std::pair<std::string, bool>, CFATFileNode*> found;
            for (auto& n : builder.nodes) {
                if (n->GetPartitionIndex() != i) continue;
                EXPECT_TRUE(found.emplace(std::make_pair(fattest::PathOf(n.get()), n->IsDeleted()), n.get()).second);
            }
            const std::vector<Listed> listed = ReadListing(e.volume);
            size_t small = 0;
            for (const Listed& l : listed) {
                SCOPED_TRACE(l.path);
                auto it = found.find({l.path, l.deleted});
                ASSERT_NE(it, found.end());
                EXPECT_EQ(it->second->IsDirectory(), l.directory);
                if (l.directory) continue;
                EXPECT_EQ(it->second->GetSize(), l.size);
                // Of the thousand one-cluster files, every hundredth is read back.
                if (l.path.rfind("/Small/", 0) == 0 && small++ % 100 != 0) continue;
                EXPECT_TRUE(recover.Bytes(it->second) == l.Icat(e.volume)) << "contents differ from icat";
            }
            EXPECT_EQ(found.size(), listed.size());
            EXPECT_GE(listed.size(), 1000u);
        }
    }
    // The trap the FAT test avoids: where the reading of the FAT32 backup as a main boot sector
    // expects its first FAT, the real FAT is in use, and its sector there begins with an
    // end-of-chain mark: 0xFF 0xFF 0xFF 0x0F, a media byte and ones.
    CImageStorage device(ImagePath("device.img"), 512);
    ASSERT_EQ(device.Open(), 1);
    uint8_t boot[512], shifted[512];
    const uint64_t at = VolumeOffset("fat32");
    ASSERT_TRUE(device.ReadSectors(boot, at, 1));
    const uint64_t reserved = boot[14] | (boot[15] << 8);
    ASSERT_TRUE(device.ReadSectors(shifted, at + kFat32BackupBootSector + reserved, 1));
    EXPECT_EQ(shifted[0], 0xFF);
    EXPECT_EQ(shifted[1], 0xFF);
    EXPECT_EQ(shifted[2], 0xFF);
}

// GetPartitions with no room, and after a pass that found nothing, when per-item recovery refuses
// to open.
TEST(FatCompleteSearch, GetPartitionsAnswersTheCount) {
    COMPLETE_NEED_IMAGES();
    CImageStorage device(ImagePath("device.img"), 512);
    ASSERT_EQ(device.Open(), 1);
    CFATCompleteFSearcher searcher;
    fattest::RecordingBuilder builder;
    RunWholeDevice(searcher, device, builder);
    EXPECT_EQ(searcher.GetPartitions(nullptr, 0), 2);
    CSearchedPartitionInfo* out[3] = {};
    EXPECT_EQ(searcher.GetPartitions(out, 1), 2);
    EXPECT_EQ(out[0], nullptr);
    ASSERT_EQ(searcher.GetPartitions(out, 3), 2);
    for (int i = 0; i < 2; ++i) {
        std::unique_ptr<CSearchedPartitionInfo> p(out[i]);
        EXPECT_EQ(p->index, i);
        EXPECT_EQ(p->score, 1u);  // a clone starts afresh
    }
    EXPECT_EQ(out[2], nullptr);
    EXPECT_EQ(builder.calls, (std::vector<std::string>{"begin 32 0 0", "end 32"}));

    MemoryDevice blank(std::vector<uint8_t>(512 * 1000), 512);
    CFATCompleteFSearcher nothing;
    fattest::RecordingBuilder none;
    RunWholeDevice(nothing, blank, none, 64);
    EXPECT_EQ(nothing.GetPartitions(nullptr, 0), 0);
    EXPECT_TRUE(none.calls.empty());
    CDataRecovery recovery;
    EXPECT_EQ(ErrorNumber(recovery.Open(&nothing, &blank)), MEDIA_E_NO_PARTITIONS);
}

// A FAT32 boot sector is read as a main boot sector and, from sector 6 on, as a backup too.
TEST(FatCompleteSearch, BackupReadingsStartAtSectorSix) {
    COMPLETE_NEED_IMAGES();
    const std::string fat32 = ReadFile(ImagePath("fat32.vol"));
    MemoryDevice device(std::vector<uint8_t>(fat32.begin(), fat32.end()), 512);
    const uint8_t* boot = reinterpret_cast<const uint8_t*>(fat32.data());
    CFATCompleteFSearcher searcher;
    searcher.SetDevice(&device);
    EXPECT_TRUE(searcher.OnFatBootSector(boot, 3));
    EXPECT_EQ(searcher.CandidateCount(), 1u);
    EXPECT_TRUE(searcher.OnFatBootSector(boot, 6));
    EXPECT_EQ(searcher.CandidateCount(), 3u);
    // The same volume read from its backup 6 sectors on adds no candidate, only the backup's mark.
    EXPECT_TRUE(searcher.OnFatBootSector(boot, 12));
    EXPECT_EQ(searcher.CandidateCount(), 4u);
    std::vector<uint8_t> notFat(boot, boot + 512);
    notFat[82] = 'X';
    EXPECT_FALSE(searcher.OnFatBootSector(notFat.data(), 20));
}
