// The detail view as the program has it: beside the logic library, which scans the sample phone
// (RELIKORDA_DEVICE) and posts its messages through the real notification centre. The counts grow
// to what the containers hold; contacts with their card, a conversation with an MMS picture, the
// gallery with thumbnails of the volume's pictures, the documents and a search are shown.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "contacts/IContactData.h"
#include "gui/pages/ScanSelectedBottom.h"
#include "gui/pages/ScanSelectedDetail.h"
#include "gui/pages/tests/PageTestSupport.h"
#include "gui/shell/CMsgReceiver.h"
#include "gui/shell/CNotifyCentor.h"
#include "gui/shell/CUIPublic.h"
#include "logic_contract/ILogicalController.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "gui/shell/tests/ShellTestSupport.h"
#include "media_recovery/file_model/IFileNode.h"
#include "outside/widgets/CBPImgGridList.h"
#include "outside/widgets/CBPLabel.h"
#include "outside/widgets/CBPListTreeview.h"
#include "sms/ISMSSession.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "sqlite_recovery/framework/Lockers.h"

namespace {

constexpr int kScanMs = 180000;

class PhoneEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        const char* testdata = std::getenv("RK_TESTDATA");
        ASSERT_NE(testdata, nullptr);
        setenv("RELIKORDA_DEVICE", (std::string(testdata) + "/sample_phone").c_str(), 1);
        setenv("RELIKORDA_LOG", (MakeTempFolder() + "/log").c_str(), 1);
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
        gtk_rc_parse("../share/themes/gtk-2.0/gtkrc");
        // Binds the logic library beside the program, with the notification centre.
        ASSERT_NE(CUIPublic::Instance()->GetLogicalController(), nullptr);
    }
    // The logic's threads (the phone's watch among them) end before the process does: one still
    // running while the process ends would reach the message centres after they are gone.
    void TearDown() override { CUIPublic::Instance()->ReleaseLogicalController(); }
};
const auto* g_environment = ::testing::AddGlobalTestEnvironment(new PhoneEnvironment);

// The scan's progress (its state) and the counts the pane posts for the tree.
class Watcher : public CMsgReceiver {
public:
    Watcher() : CMsgReceiver(0x02040004) { Subscribe(0x04040000); }
    void OnMessage(int group, int code) override {
        if (group == 4 && LastId() >> 24 == 4) {
            uint32_t pair[2] = {0, 0};
            void* buffer = pair;
            unsigned length = sizeof pair;
            CNotifyCentor::Instance()->GetPayload(LastId(), &buffer, &length);
            if (pair[0] < totals[code]) shrank = true;
            totals[code] = pair[0];
            ++posts[code];
            return;
        }
        PROGRESS_INFO record{};
        unsigned length = sizeof record;
        if (!Failed(GetMsgById(0x02040004, &record, &length)) && record.state == PROGRESS_STATE_FINISHED) finished = true;
    }
    bool finished = false;
    bool shrank = false;
    std::map<int, uint32_t> totals, posts;
};

TEST(ScanDetailOnPhone, ScanFillsTheViewsAndTheirCountsEndAtTheContainers) {
    ILogicalController* controller = CUIPublic::Instance()->GetLogicalController();
    Watcher watcher;
    auto* detail = new CScanSelectedDetail;
    auto* bar = new CScanSelectedBottom;
    GtkWidget* window = ShowDetailWindow(detail, bar);
    ASSERT_NE(window, nullptr);

    ASSERT_FALSE(Failed(controller->StartScan()));
    ASSERT_TRUE(PumpUntil([&] { return watcher.finished; }, kScanMs));
    auto* contacts = controller->GetContactContainer();
    auto* sms = controller->GetSmsContainer();
    auto* files = controller->GetArchiveContainer();
    ASSERT_TRUE(contacts && sms && files);
    ASSERT_TRUE(PumpUntil([&] {
        autolocker<IDataContainer<_CONTACT_INFOMATION>*> a(contacts);
        autolocker<IDataContainer<_SMS_INFOMATION>*> b(sms);
        autolocker<IDataContainer<_ARCHIVE_INFOMATION>*> c(files);
        return detail->PendingDrains() == 0 && contacts->FreshCount() == 0 && sms->FreshCount() == 0 &&
               files->FreshCount() == 0;
    }));
    CNotifyCentor::Instance()->DeliverPending();  // the last counts, to the watcher
    Settle();

    // What the containers hold, by category, as the pane sorts it.
    uint32_t expected[7] = {};
    unsigned mmsSession = 0;
    {
        autolocker<IDataContainer<_CONTACT_INFOMATION>*> lock(contacts);
        for (auto it = contacts->Begin(); it != contacts->End(); ++it) expected[1] += it->second.data != nullptr;
    }
    {
        autolocker<IDataContainer<_SMS_INFOMATION>*> lock(sms);
        for (auto it = sms->Begin(); it != sms->End(); ++it) {
            ISMSSession* session = it->second.session;
            if (!session) continue;
            ++expected[2];
            for (ISMSData* message = session->FirstData(); message; message = session->NextData()) {
                for (ISMSItem* item = message->FirstItem(); item; item = message->NextItem()) {
                    if (item->GetType() == 2 && !mmsSession) mmsSession = it->first;
                    item->Release();
                }
                message->Release();
            }
        }
    }
    {
        autolocker<IDataContainer<_ARCHIVE_INFOMATION>*> lock(files);
        for (auto it = files->Begin(); it != files->End(); ++it) {
            IFileNode* node = it->second.node;
            if (!node) continue;
            const int category = CScanSelectedDetail::CategoryOfFileNode(node);
            if (category != 3 || node->GetSize() <= 0x1F400000) ++expected[category];
        }
    }
    for (int category = 1; category <= 6; ++category) {
        EXPECT_EQ(detail->GetCounts(category).total, expected[category]) << "category " << category;
        const int code = category == 1 ? 15 : category == 2 ? 16 : 15 + category;
        if (expected[category]) {
            EXPECT_EQ(watcher.totals[code], expected[category]) << "category " << category;
        }
    }
    EXPECT_FALSE(watcher.shrank);
    EXPECT_GT(expected[1], 0u);
    EXPECT_GT(expected[3], 0u);
    EXPECT_EQ(detail->GetList(1)->GetRowCount(), static_cast<int>(expected[1]));
    EXPECT_EQ(detail->GetGrid(3)->GetItemCount(), static_cast<int>(expected[3]));
    EXPECT_EQ(detail->GetList(6)->GetRowCount(), static_cast<int>(expected[6]));

    detail->SetCategory(1);
    EXPECT_TRUE(detail->SelectFirstRow());
    EXPECT_NE(std::string(detail->GetCardName()->GetLabelText()), "");
    Settle();
    EXPECT_TRUE(SaveWindowScreenshot("scan_phone_contacts", window, 0));
    detail->GetList(1)->SetAllChecked(2);
    EXPECT_EQ(bar->GetSelectedCount(), static_cast<int>(expected[1]));

    detail->SetCategory(2);
    ASSERT_NE(mmsSession, 0u);
    detail->ShowRecord(mmsSession);
    Settle();
    EXPECT_TRUE(SaveWindowScreenshot("scan_phone_conversation", window, 0));

    // The gallery asks the logic for the pictures in sight; they are the volume's, not the stand-in.
    detail->SetCategory(3);
    ASSERT_TRUE(PumpUntil([&] { return detail->GetGrid(3)->LoadedCount() >= 1; }, 30000));
    unsigned firstId = 0;
    detail->GetGrid(3)->GetItem(0, &firstId, nullptr, nullptr);
    GdkPixbuf* standIn = gdk_pixbuf_new_from_file("../res/default_img.png", nullptr);
    ASSERT_NE(standIn, nullptr);
    // Just after the scan the logic may still be closing it, and a preview then waits briefly.
    EXPECT_TRUE(PumpUntil([&] {
        GdkPixbuf* thumbnail = CScanSelectedDetail::LoadThumbnail(firstId, detail);
        const bool own = thumbnail && !(gdk_pixbuf_get_width(thumbnail) == gdk_pixbuf_get_width(standIn) &&
                                        gdk_pixbuf_get_height(thumbnail) == gdk_pixbuf_get_height(standIn) &&
                                        gdk_pixbuf_get_pixels(thumbnail)[0] == gdk_pixbuf_get_pixels(standIn)[0]);
        if (thumbnail) g_object_unref(thumbnail);
        return own;
    }));
    g_object_unref(standIn);
    Settle();
    EXPECT_TRUE(SaveWindowScreenshot("scan_phone_gallery", window, 0));
    detail->GetGrid(3)->ToggleItem(0);
    EXPECT_EQ(bar->GetSelectedCount(), 1);

    detail->SetCategory(6);
    Settle();
    EXPECT_TRUE(SaveWindowScreenshot("scan_phone_documents", window, 0));

    // A search in contacts for a contact's name, as the toolbar sets it.
    detail->SetCategory(1);
    std::string keyword;
    {
        autolocker<IDataContainer<_CONTACT_INFOMATION>*> lock(contacts);
        for (auto it = contacts->Begin(); it != contacts->End() && keyword.empty(); ++it) {
            if (!it->second.data) continue;
            IConactItem* name = it->second.data->GetName();
            if (name && name->GetValue() && *name->GetValue()) keyword = name->GetValue();
            if (name) name->Release();
        }
        contacts->SetKeyword(keyword.c_str());
    }
    CNotifyCentor::Instance()->Notify(0x02040018, nullptr, 0);
    CNotifyCentor::Instance()->DeliverPending();
    const int shown = detail->GetList(1)->GetRowCount();
    EXPECT_GT(shown, 0);
    EXPECT_LE(shown, static_cast<int>(expected[1]));
    EXPECT_EQ(bar->GetSelectedCount(), shown);
    Settle();
    EXPECT_TRUE(SaveWindowScreenshot("scan_phone_search", window, 0));
    {
        autolocker<IDataContainer<_CONTACT_INFOMATION>*> lock(contacts);
        contacts->SetKeyword("");
    }

    delete detail;
    delete bar;
    gtk_widget_destroy(window);
}

}  // namespace
