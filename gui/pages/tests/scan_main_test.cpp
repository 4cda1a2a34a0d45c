// The scan page in the main window over a scripted logic: its start, a scan that ends before the
// page's first delivery, Back to the connection page.
#include <gtest/gtest.h>

#include "gui/pages/ScanMain.h"
#include "gui/pages/ScanProgress.h"
#include "gui/pages/ScanSelectedBottom.h"
#include "gui/pages/ScanSelectedDetail.h"
#include "gui/pages/ScanTree.h"
#include "gui/pages/tests/PageTestSupport.h"
#include "gui/pages/tests/ScanDetailFakes.h"
#include "gui/pages/tests/ScanPageTestSupport.h"
#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CNotifyCentor.h"
#include "gui/shell/CUIPublic.h"
#include "gui/shell/MainWin.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "gui/shell/tests/ShellTestSupport.h"
#include "outside/widgets/CBPButton.h"
#include "outside/widgets/CBPImgTxtLabel.h"
#include "outside/widgets/CBPLabel.h"
#include "platform/DynamicLibrary.h"
#include "platform/StringConversion.h"

namespace {

// A logic whose scan has ended by the time StartScan returns: its one record is posted before the
// page has had a single delivery.
class InstantScanController : public ContainerController {
public:
    ResultCode StartScan() override {
        ++scans;
        const PROGRESS_INFO running = ScanRecord(2, 10, 5, 30);
        CNotifyCentor::Instance()->Notify(MSG_SCAN_PROGRESS, &running, sizeof running);
        const PROGRESS_INFO finished = ScanRecord(PROGRESS_STATE_FINISHED, 10, 10, 0);
        CNotifyCentor::Instance()->Notify(MSG_SCAN_PROGRESS, &finished, sizeof finished);
        return RK_OK;
    }
    ResultCode EnterConnectStage() override {
        ++connects;
        return RK_OK;
    }
    int scans = 0;
    int connects = 0;
};

// Containers the test fills as a library does, whose payloads are those the centre keeps.
class GrowingController : public FakeController {
public:
    ResultCode GetMsg(unsigned id, void* buf, unsigned* len) override {
        void* target = buf;
        return CNotifyCentor::Instance()->GetPayload(id, &target, len) ? RK_OK : RK_FAIL(RK_E_NOT_FOUND);
    }
};

CScanMain* ScanPage() { return dynamic_cast<CScanMain*>(CUIMainWin::Instance()->GetScanPage()); }

// The logic library itself, from the folder the build puts the libraries in, over the phone of the
// test data named, bound to the GUI's notification centre as the program binds it; released with
// the holder. The libraries it loads by name are loaded from that folder first: a library already
// loaded is what a load by its name gets, from whatever folder the test runs.
class PhoneLogic {
public:
    explicit PhoneLogic(const std::string& phone) {
        setenv("RELIKORDA_DEVICE", (std::string(std::getenv("RK_TESTDATA")) + "/" + phone).c_str(), 1);
        setenv("RELIKORDA_LOG", (MakeTempFolder() + "/log").c_str(), 1);
        for (const char* name : {"Log", "Merrowin", "Pellucet", "Dredgel"})
            platform::LoadLibraryW(platform::Utf8ToWide(std::string(RK_LIBRARY_FOLDER) + "/lib" + name + ".so").c_str());
        platform::LibraryHandle library =
            platform::LoadLibraryW(platform::Utf8ToWide(std::string(RK_LIBRARY_FOLDER) + "/libVantrel.so").c_str());
        auto create = reinterpret_cast<ICommon* (*)()>(platform::GetProcAddress(library, "CreateObject"));
        ICommon* object = create ? create() : nullptr;
        controller = dynamic_cast<ILogicalController*>(object);
        if (controller && Failed(controller->Init(CNotifyCentor::Instance()))) Release();
    }
    ~PhoneLogic() { Release(); }
    void Release() {
        if (controller) controller->Release();
        controller = nullptr;
    }
    ILogicalController* controller = nullptr;
};

}  // namespace

TEST(ScanPageTest, StartsOnTheDeviceRowWithContactsAndTheScan) {
    ContainerController controller;
    ControllerScope scope(&controller);
    auto* page = new CScanMain;
    {
        TestWindow window(page, 1000, 586);
        EXPECT_EQ(page->GetTree()->GetCurrentRow(), 0);
        EXPECT_EQ(page->GetDetail()->GetCategory(), 1);
        EXPECT_TRUE(Visible(page->GetDetail()->GetPane(1)));
        EXPECT_TRUE(Visible(page->GetProgress()->GetProgressPane()));
        EXPECT_EQ(page->GetProgress()->GetToolbar(), nullptr);
        EXPECT_EQ(page->GetBottomBar()->GetSelectedCount(), 0);
        EXPECT_FALSE(Visible(page->GetBottomBar()->GetSelectedTip()));
        EXPECT_FALSE(Sensitive(page->GetBottomBar()->GetBackButton()));
        PostScanRecord(ScanRecord(2, 100, 40, 75));
        SaveWindowScreenshot("scan_page_start", window.Window());
        delete page;
    }
}

TEST(ScanPageTest, AScanEndedBeforeTheFirstDeliveryStillEndsThePageAndBackLeavesIt) {
    InstantScanController controller;
    ControllerScope scope(&controller);
    CUIMainWin* window = CUIMainWin::Instance();
    window->Show();
    window->ShowScanPage();
    ASSERT_TRUE(PumpUntil([&] { return ScanPage() && ScanPage()->GetProgress()->GetToolbar(); }));
    EXPECT_EQ(controller.scans, 1);
    CScanMain* page = ScanPage();
    EXPECT_FALSE(Visible(page->GetProgress()->GetProgressPane()));
    EXPECT_EQ(uint32_t{page->GetProgress()->GetLastRecord().state}, uint32_t{PROGRESS_STATE_FINISHED});
    ASSERT_TRUE(PumpUntil([&] { return Sensitive(page->GetBottomBar()->GetBackButton()); }));

    const int connects = controller.connects;
    gtk_button_clicked(GTK_BUTTON(page->GetBottomBar()->GetBackButton()->GetWidget()));
    ASSERT_TRUE(PumpUntil([&] { return window->GetAnalysisPage() && !window->GetScanPage(); }));
    EXPECT_EQ(controller.connects, connects + 1);
    EXPECT_GE(controller.stops, 1);
    window->HideAll();
}

TEST(ScanPageTest, CountsGrowWhileTheScanRunsAndEndAtWhatTheContainersHold) {
    GrowingController controller;
    ControllerScope scope(&controller);
    auto* page = new CScanMain;
    TestWindow* window = new TestWindow(page, 1000, 586);
    FakeContact ann, bob, cid;
    ann.name = "Ann";
    bob.name = "Bob";
    bob.deleted = true;
    cid.name = "Cid";
    auto countText = [&](int row) { return page->GetTree()->GetRow(row)->GetAppendTxt(); };
    auto shows = [&](int row, const char* text) {
        return PumpUntil([&] { return countText(row).find(text) != std::string::npos; });
    };

    controller.AddContact(&ann);
    controller.AddContact(&bob);
    controller.AddContact(nullptr);  // a record without its contact is not counted
    CNotifyCentor::Instance()->Notify(MSG_SCAN_NEW_CONTACTS, nullptr, 0);
    PostScanRecord(ScanRecord(2, 100, 30, 60));
    EXPECT_TRUE(shows(1, "(1/2)")) << countText(1);
    EXPECT_EQ(countText(3).find('('), std::string::npos);

    controller.AddContact(&cid);
    controller.AddFile("DCIM/a.jpg", 1000, true);
    controller.AddFile("DCIM/b.png", 0x1F400000ull, false);      // the largest picture shown
    controller.AddFile("DCIM/c.jpg", 0x1F400000ull + 1, false);  // one byte more: not counted
    controller.AddFile("notes.txt", 10, false);
    CNotifyCentor::Instance()->Notify(MSG_SCAN_NEW_CONTACTS, nullptr, 0);
    CNotifyCentor::Instance()->Notify(MSG_SCAN_NEW_FILES, nullptr, 0);
    PostScanRecord(ScanRecord(2, 100, 70, 20));
    EXPECT_TRUE(shows(1, "(1/3)")) << countText(1);
    EXPECT_TRUE(shows(3, "(1/2)")) << countText(3);
    EXPECT_TRUE(shows(6, "(0/1)")) << countText(6);
    EXPECT_TRUE(Visible(page->GetProgress()->GetProgressPane()));
    RunPending();
    SaveWindowScreenshot("scan_page_scanning", window->Window());

    PostScanRecord(ScanRecord(PROGRESS_STATE_FINISHED, 100, 100, 0));
    ASSERT_TRUE(PumpUntil([&] { return page->GetProgress()->GetToolbar() != nullptr; }));
    EXPECT_EQ(page->GetTree()->GetCounts(1).total, 3u);
    EXPECT_EQ(page->GetTree()->GetCounts(3).total, 2u);
    EXPECT_EQ(page->GetTree()->GetCounts(6).total, 1u);
    EXPECT_EQ(page->GetTree()->GetCounts(5).total, 0u);
    delete page;
    delete window;
}

// What the logic could not read whole: a database says so above its category, the storage above
// every file category, in the red of the off-line warning; the others say nothing.
TEST(ScanPageTest, WhatCouldNotBeReadWholeIsSaidSoOverItsCategories) {
    GrowingController controller;
    ControllerScope scope(&controller);
    auto* page = new CScanMain;
    TestWindow* window = new TestWindow(page, 1000, 586);
    CScanSelectedDetail* detail = page->GetDetail();
    struct TreeRow {
        int row;
        const char* key;
    };
    auto expectNotice = [&](const TreeRow& r) {
        PressTreeRow(page->GetTree(), r.row);
        RunPending();
        EXPECT_EQ(Visible(detail->GetNotice()), r.key != nullptr) << r.row;
        if (!r.key) return;
        EXPECT_EQ(TextOf(detail->GetNoticeText()), GetLangString(r.key)) << r.row;
        EXPECT_TRUE(AreaHasColour(detail->GetNoticeText()->GetWidget(), 0xE12017)) << r.row;
    };
    FakeContact ann;
    ann.name = "Ann";
    controller.AddContact(&ann);
    CNotifyCentor::Instance()->Notify(MSG_SCAN_NEW_CONTACTS, nullptr, 0);
    const uint32_t messages = 1u << 2;
    CNotifyCentor::Instance()->Notify(MSG_SCAN_UNREAD, &messages, sizeof messages);
    PostScanRecord(ScanRecord(PROGRESS_STATE_FINISHED, 100, 100, 0));
    ASSERT_TRUE(PumpUntil([&] { return page->GetProgress()->GetToolbar() && page->GetTree()->GetCounts(1).total == 1; }));

    // Row by row: the device and contacts were read, the messages not, the files were.
    for (const TreeRow& r : {TreeRow{0, nullptr}, TreeRow{2, "SCAN_MESSAGES_UNREAD"}, TreeRow{3, nullptr},
                             TreeRow{1, nullptr}, TreeRow{2, "SCAN_MESSAGES_UNREAD"}})
        expectNotice(r);
    SaveWindowScreenshot("scan_page_messages_unread", window->Window());

    // The contacts database read only in part: said above the contacts, in the same red.
    PressTreeRow(page->GetTree(), 1);
    const uint32_t contactsInPart = 1u << (kReadInPartShift + 1);
    PostAndDeliver(MSG_SCAN_UNREAD, &contactsInPart, sizeof contactsInPart);
    expectNotice({1, "SCAN_CONTACTS_READ_IN_PART"});
    SaveWindowScreenshot("scan_page_contacts_read_in_part", window->Window());

    // Later the contacts not read at all: that is said over the part read.
    const uint32_t both = 1u << 1 | 1u << 2;
    PostAndDeliver(MSG_SCAN_UNREAD, &both, sizeof both);
    expectNotice({1, "SCAN_CONTACTS_UNREAD"});
    delete page;
    delete window;

    // The sample phone with its card cut short, scanned by the logic library itself: the scan ends,
    // the pictures before the cut are shown, and every file category says files may be missing.
    PhoneLogic logic("cut_card_phone");
    ASSERT_NE(logic.controller, nullptr);
    ControllerScope phoneScope(logic.controller);
    page = new CScanMain;
    window = new TestWindow(page, 1000, 586);
    detail = page->GetDetail();
    ASSERT_FALSE(Failed(logic.controller->StartScan()));
    ASSERT_TRUE(PumpUntil([&] { return page->GetProgress()->GetToolbar() && page->GetTree()->GetCounts(3).total > 0; },
                          120000));
    for (const TreeRow& r : {TreeRow{1, nullptr}, TreeRow{4, "SCAN_STORAGE_READ_IN_PART"},
                             TreeRow{6, "SCAN_STORAGE_READ_IN_PART"}, TreeRow{3, "SCAN_STORAGE_READ_IN_PART"}})
        expectNotice(r);
    Settle();
    SaveWindowScreenshot("scan_page_storage_read_in_part", window->Window());
    delete page;
    delete window;
}
