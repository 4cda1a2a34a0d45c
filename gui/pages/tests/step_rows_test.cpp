// The connection page's parts on their own: the guide's frames and the drawn step rows.
#include <gtest/gtest.h>

#include "gui/pages/StepFlowWidget.h"
#include "gui/pages/StepImageTip.h"
#include "gui/pages/tests/PageTestSupport.h"
#include "gui/shell/CUIPublic.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "gui/shell/tests/ShellTestSupport.h"
#include "outside/widgets/CBPEventBox.h"
#include "outside/widgets/CBPIniParser.h"
#include "outside/widgets/CBPLinkLabel.h"
#include "outside/widgets/CBPWindow.h"

namespace {

constexpr guint32 kCyan = 0x2CC1D2;     // done line
constexpr guint32 kGround = 0xFCFCFC;   // the window's ground

TEST(GuideImageTest, CyclesItsFramesAndStaysOnTheFirstWithoutACount) {
    CBPIniParser* config = CUIPublic::Instance()->GetConfig();
    CStepImageTip guide;
    EXPECT_EQ(guide.GetFrame(), 1);
    std::vector<int> frames;
    for (int i = 0; i < 5; ++i) {
        guide.Advance();
        frames.push_back(guide.GetFrame());
    }
    EXPECT_EQ(frames, (std::vector<int>{2, 3, 4, 1, 2}));
    for (const char* count : {"0", ""}) {
        config->SetKeyValueStr("AnalysisMain", "AminationImgCnt", count);
        guide.Advance();
        guide.Advance();
        EXPECT_EQ(guide.GetFrame(), 1) << '"' << count << '"';
    }
    config->SetKeyValueStr("AnalysisMain", "AminationImgCnt", "4");
    // The timer runs the frames every 100 ms until stopped.
    guide.Start();
    EXPECT_TRUE(PumpUntil([&] { return guide.GetFrame() == 3; }));
    guide.Stop();
    EXPECT_FALSE(guide.IsRunning());
}

// Rows stacked in a window of the main window's ground, each linked to the one above.
class StepRowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_.reset(new CBPWindow(GTK_WINDOW_TOPLEVEL));
        gtk_widget_set_name(window_->GetWidget(), "StepFlowWin");
        column_.reset(new CBPBox(true, false, 0));
        window_->Add(column_->GetWidget());
        column_->Show();
    }
    CStepFlowWidget* AddRow(int radius, int state, const char* text) {
        auto* row = new CStepFlowWidget(radius);
        row->SetText(text);
        row->SetState(state);
        if (!rows_.empty()) row->SetPrevious(rows_.back().get());
        column_->PackStart(row, false, false, 0);
        rows_.emplace_back(row);
        return row;
    }
    void ShowAll() {
        window_->Show();
        ASSERT_TRUE(WaitShown(window_->GetWidget()));
    }
    // The pixel on a row's line, dy below the top of its circle area.
    guint32 LinePixel(CStepFlowWidget* row, int dx, int dy) {
        GtkWidget* area = row->GetCircleArea()->GetWidget();
        GtkAllocation a;
        gtk_widget_get_allocation(area, &a);
        return PixelAt(area, a.width / 2 + 1 + dx, dy);
    }
    int CircleCentreY(CStepFlowWidget* row) {
        GtkAllocation text;
        gtk_widget_get_allocation(row->GetLabel()->GetWidget(), &text);
        return text.height / 2 + (row->GetRadius() < 10 ? 2 : 4);
    }

    std::vector<std::unique_ptr<CStepFlowWidget>> rows_;
    std::unique_ptr<CBPBox> column_;
    std::unique_ptr<CBPWindow> window_;
};

TEST_F(StepRowsTest, OutOfRangeStatesKeepStateAndTimerButRenderTheTextAgain) {
    CStepFlowWidget* row = AddRow(10, STEP_ACTIVE, "Connect");
    ASSERT_TRUE(row->IsAnimating());
    for (int state : {4, -1}) {
        row->GetLabel()->SetLabelMarkText("");
        row->SetState(state);
        EXPECT_EQ(row->GetState(), STEP_ACTIVE);
        EXPECT_TRUE(row->IsAnimating());
        EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(row->GetLabel()->GetWidget())), "Connect");
    }
    row->SetState(STEP_DONE);
    EXPECT_FALSE(row->IsAnimating());
}

TEST_F(StepRowsTest, SmallCirclesHangOnALineHiddenTextsDrawOnlyTheLine) {
    CStepFlowWidget* done = AddRow(10, STEP_DONE, "Phone");
    CStepFlowWidget* small = AddRow(6, STEP_ATTENTION, "Turn on USB debugging");
    small->SetRadius(6);
    CStepFlowWidget* big = AddRow(10, STEP_DONE, "Connected");
    CStepFlowWidget* hidden = AddRow(6, STEP_PENDING, "");
    hidden->SetRadius(6);
    hidden->HideText();
    ShowAll();
    SaveWindowScreenshot("connect_step_rows", window_->GetWidget());
    (void)done;

    // Radius 6: four pixels of the row above's line (done: cyan) over the circle, then its ring.
    for (int y = 0; y < 4; ++y) EXPECT_EQ(LinePixel(small, 0, y), kCyan) << y;
    EXPECT_NE(LinePixel(small, 0, 4), kCyan);
    // Radius 10: the circle starts at once, no line above it.
    EXPECT_EQ(LinePixel(big, 0, 0), kGround);
    EXPECT_NE(LinePixel(big, 0, CircleCentreY(big)), kGround);
    // Hidden text: no circle, only the line in the colour of the row above (done: cyan).
    const int cy = CircleCentreY(hidden);
    EXPECT_EQ(LinePixel(hidden, 0, cy), kCyan);
    EXPECT_EQ(LinePixel(hidden, -4, cy), kGround);
    EXPECT_EQ(LinePixel(hidden, 4, cy), kGround);
}

}  // namespace
