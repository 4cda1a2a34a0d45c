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

// Every live file and folder fls lists is found once by its inode, with its name, size, times and
// icat's bytes; nothing else is found but deleted inodes and the inode named in <image>.unlinked.
void ExpectAgreesWithSleuthKit(const std::string& image, uint32_t sectorSize, const std::string& oracle) {
    SCOPED_TRACE(image + " read with " + std::to_string(sectorSize) + "-byte sectors");
    auto s = Search(image, sectorSize);
    ASSERT_TRUE(Succeeded(s->rc)) << std::hex << s->rc;
    EXPECT_EQ(s->builder.codes, std::set<int>{SEARCHER_EXT});
    std::map<uint32_t, CEXTFileNode*> byInode = s->builder.ByInode();
    EXPECT_EQ(byInode.size(), s->builder.nodes.size()) << "an inode handed out twice";

    std::map<uint32_t, std::set<std::string>> names;
    const std::vector<FlsEntry> fls = ReadFls(oracle);
    for (const FlsEntry& e : fls) names[e.inode].insert(e.name);
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
        EXPECT_FALSE(node->IsDeleted());
        EXPECT_EQ(node->IsDirectory(), e.directory);
        uint64_t t = 0;
        EXPECT_EQ(Seconds(*node->GetCreationTime(&t)), e.ctime);
        EXPECT_EQ(Seconds(*node->GetModificationTime(&t)), e.mtime);
        EXPECT_EQ(Seconds(*node->GetAccessTime(&t)), e.atime);
        if (e.directory) continue;
        EXPECT_EQ(node->GetSize(), e.size);
        if (node->GetAttributes() & 0x200) {  // holes: no runs
            EXPECT_EQ(node->GetDataRuns(), nullptr);
            continue;
        }
        if (e.size == 0) continue;
        EXPECT_TRUE(s->Recovered(node) == ReadFile(ImagePath(oracle) + ".icat/" + std::to_string(e.inode)))
            << "contents differ from icat";
        ++compared;
    }
    EXPECT_GE(compared, 10u);
    for (auto& [inode, node] : byInode) {
        if (names.count(inode) || node->IsDeleted()) continue;
        EXPECT_EQ(inode, unlinkedInode) << "found but not listed: inode " << inode << " " << node->GetName();
        EXPECT_EQ(node->GetName(), UnnamedInodeName(inode));
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

}  // namespace
