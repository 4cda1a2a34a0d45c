// The file views over the logic library itself (libVantrel.so beside the program), on a phone whose
// FAT16, FAT32, exFAT and Ext4 cards hold live files, deleted entries whose clusters new files (of
// every category, or folders) took and deleted files that kept theirs (the reused_cluster_cards
// fixture, The Sleuth Kit's listing its oracle). Each file is listed and counted once, marked deleted only when it is, and Recover with
// everything of a category ticked writes as many files as the tree counts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "gui/pages/ScanSelectedBottom.h"
#include "gui/pages/ScanSelectedDetail.h"
#include "gui/pages/tests/PageTestSupport.h"
#include "gui/shell/CMsgReceiver.h"
#include "gui/shell/CUIPublic.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "gui/shell/tests/ShellTestSupport.h"
#include "logic_contract/ILogicalController.h"
#include "logic_contract/RelikordaMsg.h"
#include "media_recovery/file_model/IFileNode.h"
#include "outside/widgets/CBPImgGridList.h"
#include "outside/widgets/CBPListTreeview.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "sqlite_recovery/framework/Lockers.h"

namespace fs = std::filesystem;

namespace {

constexpr int kScanMs = 180000;
constexpr uint32_t kCarvedType = 20;

std::string Cards() { return std::string(std::getenv("RK_TESTDATA") ? std::getenv("RK_TESTDATA") : "") + "/reused_cluster_cards"; }

class CardsPhoneEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        setenv("RELIKORDA_DEVICE", (Cards() + "/phone").c_str(), 1);
        setenv("RELIKORDA_LOG", (MakeTempFolder() + "/log").c_str(), 1);
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
        gtk_rc_parse("../share/themes/gtk-2.0/gtkrc");
        ASSERT_NE(CUIPublic::Instance()->GetLogicalController(), nullptr);
    }
    void TearDown() override { CUIPublic::Instance()->ReleaseLogicalController(); }
};
const auto* g_environment = ::testing::AddGlobalTestEnvironment(new CardsPhoneEnvironment);

// Whether the scan, or the recovery, has sent its finished record.
class FinishWatch : public CMsgReceiver {
public:
    explicit FinishWatch(unsigned id) : CMsgReceiver(id), id_(id) {}
    void OnMessage(int, int) override {
        PROGRESS_INFO record{};
        unsigned length = sizeof record;
        if (!Failed(GetMsgById(id_, &record, &length)) && record.state == PROGRESS_STATE_FINISHED) finished = true;
    }
    bool finished = false;

private:
    unsigned id_;
};

// The category the views give a name's extension.
int CategoryOfName(const std::string& name) {
    const std::string extension = name.substr(name.rfind('.') + 1);
    if (extension == "jpg") return 3;
    if (extension == "mp3") return 5;
    return 6;
}

size_t FilesBelow(const fs::path& root) {
    size_t count = 0;
    if (fs::is_directory(root))
        for (const auto& entry : fs::recursive_directory_iterator(root)) count += entry.is_regular_file();
    return count;
}

TEST(FilesOncePhone, EachFileListedOnceMarkedAsItIsAndWrittenAsCounted) {
    if (fs::exists(Cards() + "/SKIPPED")) GTEST_SKIP() << ReadText(Cards() + "/SKIPPED");
    // The oracle: the cards' files that are files of their own, and their names.
    CScanSelectedDetail::Counts expected[7];
    std::set<std::string> liveNames;
    for (const char* card : {"fat16", "exfat", "ext4", "heldfat32", "heldexfat.4k"}) {
        std::istringstream lines(ReadText(Cards() + "/" + card + ".files"));
        for (std::string line; std::getline(lines, line);) {
            std::vector<std::string> field;
            std::istringstream parts(line);
            for (std::string part; std::getline(parts, part, '|');) field.push_back(part);
            ASSERT_EQ(field.size(), 6u) << line;
            if (field[5] == "1") continue;  // overwritten: a live file holds its clusters
            const std::string name = field[4].substr(field[4].rfind('/') + 1);
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".DAT") == 0) continue;  // no category takes it
            CScanSelectedDetail::Counts& counts = expected[CategoryOfName(name)];
            ++counts.total;
            if (field[1] == "1") ++counts.deleted;
            else liveNames.insert(name);
        }
    }

    ILogicalController* controller = CUIPublic::Instance()->GetLogicalController();
    FinishWatch scan(MSG_SCAN_PROGRESS);
    auto* detail = new CScanSelectedDetail;
    auto* bar = new CScanSelectedBottom;
    GtkWidget* window = ShowDetailWindow(detail, bar);
    ASSERT_NE(window, nullptr);

    ASSERT_FALSE(Failed(controller->StartScan()));
    ASSERT_TRUE(PumpUntil([&] { return scan.finished; }, kScanMs));
    IDataContainer<_ARCHIVE_INFOMATION>* files = controller->GetArchiveContainer();
    ASSERT_NE(files, nullptr);
    ASSERT_TRUE(PumpUntil([&] {
        autolocker<IDataContainer<_ARCHIVE_INFOMATION>*> lock(files);
        return detail->PendingDrains() == 0 && files->FreshCount() == 0;
    }));
    Settle();

    // No live file is marked deleted: neither a second find of it nor a carved copy.
    {
        autolocker<IDataContainer<_ARCHIVE_INFOMATION>*> lock(files);
        for (auto it = files->Begin(); it != files->End(); ++it) {
            IFileNode* node = it->second.node;
            const bool deleted = node && (node->IsDeleted() || it->second.type == kCarvedType);
            if (!deleted) continue;
            EXPECT_EQ(liveNames.count(node->GetName() ? node->GetName() : ""), 0u) << node->GetName();
        }
    }
    for (int category = 3; category <= 6; ++category) {
        EXPECT_EQ(detail->GetCounts(category).total, expected[category].total) << "category " << category;
        EXPECT_EQ(detail->GetCounts(category).deleted, expected[category].deleted) << "category " << category;
    }
    EXPECT_GT(expected[3].total + expected[5].total + expected[6].total, 10u);
    EXPECT_GT(expected[6].deleted, 0u);

    // Everything of a category ticked as the user ticks it, and recovered: as many files as counted.
    const std::string out = MakeTempFolder();
    for (int category : {3, 5, 6}) {
        detail->SetCategory(category);
        Settle();
        if (category == 3) {
            EXPECT_TRUE(SaveWindowScreenshot("files_once_gallery", window, 0));
            for (int i = 0; i < detail->GetGrid(3)->GetItemCount(); ++i) detail->GetGrid(3)->ToggleItem(i);
        } else {
            if (category == 6) {
                EXPECT_TRUE(SaveWindowScreenshot("files_once_documents", window, 0));
            }
            detail->GetList(category)->SetAllChecked(2);
        }
        const int counted = static_cast<int>(detail->GetCounts(category).total);
        EXPECT_EQ(bar->GetSelectedCount(), counted) << "category " << category;
        const std::string folder = out + "/" + std::to_string(category);
        fs::create_directory(folder);
        FinishWatch recovery(MSG_RECOVERY_PROGRESS);
        controller->GetRecoveryObject()->Start((folder + "/").c_str(), CUIPublic::Instance(), category);
        ASSERT_TRUE(PumpUntil([&] { return recovery.finished; }, kScanMs)) << "category " << category;
        EXPECT_EQ(FilesBelow(folder + "/files"), static_cast<size_t>(counted)) << "category " << category;
    }
    fs::remove_all(out);

    delete detail;
    delete bar;
    gtk_widget_destroy(window);
}

}  // namespace
