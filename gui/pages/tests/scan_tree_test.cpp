// The scan page's category tree over a scripted logic: counts from the detail pane's messages,
// the rows switching the detail pane and the toolbar, the phone going off line.
#include <gtest/gtest.h>

#include <algorithm>

#include "gui/pages/ScanProgress.h"
#include "gui/pages/ScanSelectedDetail.h"
#include "gui/pages/ScanTree.h"
#include "gui/pages/tests/PageTestSupport.h"
#include "gui/pages/tests/ScanPageTestSupport.h"
#include "gui/shell/CUIPublic.h"
#include "logic_contract/RelikordaMsg.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "gui/shell/tests/ShellTestSupport.h"
#include "outside/widgets/CBPImgTxtLabel.h"

namespace {

struct TreeFixture {
    ContainerController controller;
    ControllerScope scope{&controller};
    CScanTree* tree;
    CScanProgress* strip = new CScanProgress;
    CScanSelectedDetail* detail = new CScanSelectedDetail;
    CBPBox* row = new CBPBox(false, false, 0);
    CBPBox* column = new CBPBox(true, false, 0);
    TestWindow* window;

    explicit TreeFixture(const std::string& device = "Sample phone") {
        CUIPublic::Instance()->SetLastText(device);
        tree = new CScanTree;
        tree->SetDetail(detail);
        tree->SetProgress(strip);
        column->PackStart(strip, false, false, 0);
        column->PackStart(detail, true, true, 0);
        row->PackStart(tree, false, false, 0);
        row->PackStart(column, true, true, 0);
        for (CBPWidget* widget : {static_cast<CBPWidget*>(tree), static_cast<CBPWidget*>(strip),
                                  static_cast<CBPWidget*>(detail), static_cast<CBPWidget*>(column)})
            widget->Show();
        window = new TestWindow(row, 900, 560);
    }
    ~TreeFixture() {
        delete tree;
        delete strip;
        delete detail;
        delete window;
        delete column;
        delete row;
    }
    // The detail pane's count message of a category.
    static void PostCounts(unsigned id, uint32_t total, uint32_t deleted) {
        const uint32_t pair[2] = {total, deleted};
        PostAndDeliver(id, pair, sizeof pair);
    }
    void Press(int index) { PressTreeRow(tree, index); }
    std::string CountText(int index) { return tree->GetRow(index)->GetAppendTxt(); }
};

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace

TEST(ScanTreeTest, CountMessagesChangeOnlyTheirOwnRow) {
    // The device's name comes from the phone and is shown as it is, not as markup.
    TreeFixture f("Ann's <b>phone</b> & co");
    EXPECT_EQ(f.tree->GetRow(0)->GetLabelText(), "Ann's <b>phone</b> & co");
    EXPECT_EQ(f.tree->GetRow(1)->GetLabelText(), "Contacts");
    EXPECT_EQ(f.tree->GetCurrentRow(), 0);

    f.PostCounts(MSG_COUNT_MESSAGES, 5, 2);
    for (int index = 0; index <= 6; ++index)
        EXPECT_EQ(f.CountText(index).find("(2/5)") != std::string::npos, index == 2) << index;
    EXPECT_EQ(f.tree->GetCounts(2).total, 5u);
    EXPECT_EQ(f.tree->GetCounts(2).deleted, 2u);
    EXPECT_EQ(f.tree->GetCounts(1).total, 0u);

    // A total of 0 leaves the row's text as it was.
    f.PostCounts(MSG_COUNT_GALLERY, 3, 1);
    f.PostCounts(MSG_COUNT_GALLERY, 0, 0);
    EXPECT_NE(f.CountText(3).find("(1/3)"), std::string::npos);
    EXPECT_EQ(f.tree->GetCounts(3).total, 0u);
    f.PostCounts(MSG_COUNT_DOCUMENTS, 40, 7);
    f.PostCounts(MSG_COUNT_AUDIO, 4, 0);
    EXPECT_NE(f.CountText(6).find("(7/40)"), std::string::npos);
    EXPECT_NE(f.CountText(5).find("(0/4)"), std::string::npos);

    // The counters the statistics receive: deleted, then total, documents before audio.
    StatsLog stats;
    CUIPublic::Instance()->ReportCounters();
    const std::vector<std::string> lines = stats.Lines();
    for (const char* line : {"Value 12332 2", "Value 12333 5", "Value 12340 7", "Value 12341 40", "Value 12338 0",
                             "Value 12339 4"})
        EXPECT_TRUE(Contains(lines, line)) << line;
    SaveWindowScreenshot("scan_tree_counts", f.window->Window());
}

TEST(ScanTreeTest, RowsSwitchTheDetailPaneAndTheToolbar) {
    TreeFixture f;
    EXPECT_EQ(f.detail->GetCategory(), 1);
    f.Press(3);
    EXPECT_EQ(f.tree->GetCurrentRow(), 3);
    EXPECT_TRUE(f.tree->GetRow(3)->IsHighlighted());
    // Its texts white on the highlight, not grey: each row is its icon, its text and its count.
    DrawPending();
    GList* parts = gtk_container_get_children(GTK_CONTAINER(gtk_bin_get_child(GTK_BIN(f.tree->GetRow(3)->GetWidget()))));
    ASSERT_EQ(g_list_length(parts), 3u);
    EXPECT_TRUE(AreaHasColour(GTK_WIDGET(g_list_nth_data(parts, 1)), 0xFFFFFF));
    EXPECT_FALSE(AreaHasColour(GTK_WIDGET(g_list_nth_data(parts, 1)), 0x2C2C2C));
    g_list_free(parts);
    EXPECT_FALSE(f.tree->GetRow(0)->IsHighlighted());
    EXPECT_EQ(f.detail->GetCategory(), 3);
    EXPECT_EQ(f.strip->GetCategory(), 3);
    // The current row again: nothing.
    f.strip->SetCategory(5);
    f.Press(3);
    EXPECT_EQ(f.strip->GetCategory(), 5);
    // The device row is highlighted but switches nothing.
    f.Press(0);
    EXPECT_EQ(f.tree->GetCurrentRow(), 0);
    EXPECT_TRUE(f.tree->GetRow(0)->IsHighlighted());
    EXPECT_FALSE(f.tree->GetRow(3)->IsHighlighted());
    EXPECT_EQ(f.detail->GetCategory(), 3);
    EXPECT_EQ(f.strip->GetCategory(), 5);
    f.Press(6);
    EXPECT_EQ(f.detail->GetCategory(), 6);
    EXPECT_EQ(f.strip->GetCategory(), 6);
}

TEST(ScanTreeTest, OffLineGreysTheFileRowsAndGoesBackToContacts) {
    TreeFixture f;
    f.Press(4);
    PostAndDeliver(MSG_DEVICE_OFFLINE);
    EXPECT_EQ(f.tree->GetCurrentRow(), 1);
    EXPECT_EQ(f.detail->GetCategory(), 1);
    for (int index = 0; index <= 6; ++index)
        EXPECT_EQ(Sensitive(f.tree->GetRow(index)), index < 3) << index;
    EXPECT_GE(f.controller.stops, 1);
    // A greyed row takes no press.
    f.Press(5);
    EXPECT_EQ(f.tree->GetCurrentRow(), 1);
    SaveWindowScreenshot("scan_tree_off_line", f.window->Window());
}
