// The scan page in the main window over a scripted logic: its start, a scan that ends before the
// page's first delivery, Back to the connection page.
#include <gtest/gtest.h>

#include "gui/pages/ScanMain.h"
#include "gui/pages/ScanProgress.h"
#include "gui/pages/ScanSelectedBottom.h"
#include "gui/pages/ScanSelectedDetail.h"
#include "gui/pages/ScanTree.h"
#include "gui/pages/tests/ScanPageTestSupport.h"
#include "gui/shell/CNotifyCentor.h"
#include "gui/shell/CUIPublic.h"
#include "gui/shell/MainWin.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "gui/shell/tests/ShellTestSupport.h"
#include "outside/widgets/CBPButton.h"
#include "outside/widgets/CBPLabel.h"

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

CScanMain* ScanPage() { return dynamic_cast<CScanMain*>(CUIMainWin::Instance()->GetScanPage()); }

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
    EXPECT_EQ(page->GetProgress()->GetLastRecord().state, PROGRESS_STATE_FINISHED);
    ASSERT_TRUE(PumpUntil([&] { return Sensitive(page->GetBottomBar()->GetBackButton()); }));

    gtk_button_clicked(GTK_BUTTON(page->GetBottomBar()->GetBackButton()->GetWidget()));
    ASSERT_TRUE(PumpUntil([&] { return window->GetAnalysisPage() && !window->GetScanPage(); }));
    EXPECT_EQ(controller.connects, 1);
    EXPECT_GE(controller.stops, 1);
    window->HideAll();
}
