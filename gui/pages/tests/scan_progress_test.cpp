// The scan's progress strip and its countdown over a scripted logic: the record's time, bar and
// end, Stop, off line, and the result toolbar's search and only-deleted switch per category.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "gui/pages/ScanProgress.h"
#include "gui/pages/ScanSelectedBottom.h"
#include "gui/pages/TimerLable.h"
#include "gui/pages/tests/ScanPageTestSupport.h"
#include "gui/shell/CMsgReceiver.h"
#include "gui/shell/CNotifyCentor.h"
#include "gui/shell/tests/ShellTestSupport.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "outside/widgets/CBPButton.h"
#include "outside/widgets/CBPCairoImgButton.h"
#include "outside/widgets/CBPEntry.h"
#include "outside/widgets/CBPEventBox.h"
#include "outside/widgets/CBPHProgressBar.h"
#include "outside/widgets/CBPImage.h"
#include "outside/widgets/CBPLabel.h"

namespace {

// The only-deleted messages the toolbar posts, by code.
class OnlyDeletedRecorder : public CMsgReceiver {
public:
    OnlyDeletedRecorder() : CMsgReceiver(MSG_SCAN_ALL) {}
    void OnMessage(int, int code) override {
        if (code == MsgCode(MSG_SCAN_ONLY_DELETED_ON) || code == MsgCode(MSG_SCAN_ONLY_DELETED_OFF))
            codes.push_back(code);
    }
    // What came since the last call.
    std::vector<int> Take() {
        CNotifyCentor::Instance()->DeliverPending();
        std::vector<int> taken;
        taken.swap(codes);
        return taken;
    }
    std::vector<int> codes;
};

std::vector<std::string> ValueCalls(const StatsLog& stats) {
    std::vector<std::string> lines;
    for (const std::string& line : stats.Lines())
        if (line.rfind("Value ", 0) == 0 || line.rfind("Event ", 0) == 0) lines.push_back(line);
    return lines;
}

// The strip in a window with a bottom bar, over containers of the test's own.
struct StripFixture {
    ContainerController controller;
    ControllerScope scope{&controller};
    CScanSelectedBottom* bar = new CScanSelectedBottom;
    CScanProgress* strip = new CScanProgress;
    CBPBox* column = new CBPBox(true, false, 0);
    TestWindow* window;

    StripFixture() {
        strip->SetBottomBar(bar);
        column->PackStart(strip, false, false, 0);
        column->PackStart(bar, false, false, 0);
        strip->Show();
        bar->Show();
        window = new TestWindow(column, 760, 120);
    }
    ~StripFixture() {
        delete strip;
        delete bar;
        delete window;
        delete column;
    }
    void Finish() { PostScanRecord(ScanRecord(PROGRESS_STATE_FINISHED, 10, 10, 0)); }
    // Text typed into the search entry, then the search applied.
    void Search(const char* text) {
        strip->GetSearchEntry()->SetText(text);
        strip->OnSearchClicked();
    }
};

}  // namespace

TEST(CountdownLabelTest, CountsDownKnownTimesAndKeepsUnknownOnesOpen) {
    struct Case {
        bool known;
        unsigned seconds;
        int ticks;
        const char* shown;
        unsigned left;
    } cases[] = {
        {true, 3, 1, "Time remaining: 00:00:02", 2},
        {true, 3, 3, "Time remaining: 00:00:00", 0},
        {true, 3, 5, "Time remaining: 00:00:00", 0},  // stops at zero
        {true, 0, 1, "Time remaining: --:--:--", 0},  // zero changes nothing
        {false, 100, 2, "Time remaining: --:--:--", 100},
        {true, 3662, 1, "Time remaining: 01:01:01", 3661},
        // The largest time a record can carry: more hours than a small buffer holds.
        {true, 0xFFFFFFFFu, 1, "Time remaining: 1193046:28:14", 0xFFFFFFFEu},
    };
    for (const Case& c : cases) {
        CTimerLable label("Time remaining:");
        EXPECT_EQ(TextOf(&label), "Time remaining: --:--:--");
        label.SetSeconds(c.seconds);
        if (c.known) label.SetKnown();
        for (int i = 0; i < c.ticks; ++i) label.Tick();
        EXPECT_EQ(TextOf(&label), c.shown) << c.seconds;
        EXPECT_EQ(label.GetSeconds(), c.left) << c.seconds;
    }
    // The label's own timer ticks once a second.
    CTimerLable label("Left");
    label.SetSeconds(5);
    label.SetKnown();
    EXPECT_TRUE(PumpUntil([&] { return TextOf(&label) == "Left 00:00:04"; }));
}

TEST(ScanProgressTest, RecordsSetTheTimeAndTheBar) {
    StripFixture f;
    CTimerLable* time = f.strip->GetTimeLabel();
    EXPECT_FALSE(time->IsUnknown());
    EXPECT_EQ(time->GetSeconds(), 3600u);
    EXPECT_EQ(TextOf(f.strip->GetTitle()), "Scanning the phone for lost data...");
    struct Step {
        uint32_t state;
        uint64_t total, done;
        uint32_t seconds;
        bool unknown;
        double fraction;
    } steps[] = {
        {2, 200, 50, 90, false, 0.25},   // running keeps the flag
        {1, 200, 60, 80, true, 0.3},     // state 1: unknown
        {2, 200, 70, 70, true, 0.35},    // still unknown
        {0, 200, 80, 5, false, 0.4},     // state 0: known
        {2, 0, 10, 4, false, 0.0},       // no total: an empty bar
        {2, ~0ull, ~0ull, 3, false, 1.0},
    };
    for (const Step& step : steps) {
        PostScanRecord(ScanRecord(step.state, step.total, step.done, step.seconds));
        EXPECT_EQ(uint64_t{f.strip->GetLastRecord().done}, step.done);  // packed: read by value
        EXPECT_EQ(time->IsUnknown(), step.unknown) << step.state;
        EXPECT_EQ(time->GetSeconds(), step.seconds);
        EXPECT_DOUBLE_EQ(f.strip->GetProgressBar()->GetFraction(), step.fraction) << step.done;
    }
    time->Tick();
    EXPECT_EQ(TextOf(time), "Time remaining: 00:00:02");
    PostScanRecord(ScanRecord(1, 10, 1, 0));
    time->Tick();
    EXPECT_EQ(TextOf(time), "Time remaining: --:--:--");

    // A record that cannot be fetched changes nothing.
    f.controller.failFetch = true;
    PostScanRecord(ScanRecord(PROGRESS_STATE_FINISHED, 10, 10, 0));
    EXPECT_EQ(uint64_t{f.strip->GetLastRecord().done}, 1u);
    EXPECT_EQ(f.strip->GetToolbar(), nullptr);
    EXPECT_FALSE(Sensitive(f.bar->GetBackButton()));
}

TEST(ScanProgressTest, TheEndBringsTheToolbarAndBack) {
    StripFixture f;
    SaveWindowScreenshot("scan_progress_running", f.window->Window());
    EXPECT_FALSE(Sensitive(f.bar->GetBackButton()));
    f.Finish();
    ASSERT_NE(f.strip->GetToolbar(), nullptr);
    CBPBox* toolbar = f.strip->GetToolbar();
    EXPECT_FALSE(Visible(f.strip->GetProgressPane()));
    EXPECT_TRUE(Visible(toolbar));
    EXPECT_FALSE(Visible(f.strip->GetWarningBox()));
    EXPECT_FALSE(Visible(f.strip->GetClearButton()));
    EXPECT_TRUE(Sensitive(f.bar->GetBackButton()));
    f.Finish();
    EXPECT_EQ(f.strip->GetToolbar(), toolbar);
    SaveWindowScreenshot("scan_toolbar", f.window->Window());
}

TEST(ScanProgressTest, StopAndOffLineStopTheScanForGood) {
    StatsLog stats;
    {
        StripFixture f;
        f.strip->OnStopClicked();
        EXPECT_FALSE(Sensitive(f.strip->GetStopButton()));
        EXPECT_EQ(TextOf(f.strip->GetTitle()), "Stopping the scan...");
        EXPECT_EQ(f.controller.stops, 1);
        EXPECT_EQ(ValueCalls(stats), std::vector<std::string>{"Value 12326 1"});

        PostAndDeliver(MSG_DEVICE_OFFLINE);
        EXPECT_EQ(TextOf(f.strip->GetTitle()), "The phone went off line. Connect it again and go back to scan it.");
        EXPECT_TRUE(f.strip->GetProgressBar()->IsError());
        EXPECT_EQ(f.controller.stops, 2);
    }
    // Off line after the scan: the warning and the text take the switch's place.
    StripFixture f;
    f.Finish();
    PostAndDeliver(MSG_DEVICE_OFFLINE);
    EXPECT_TRUE(Visible(f.strip->GetWarningBox()));
    EXPECT_EQ(TextOf(f.strip->GetSwitchLabel()), "The phone went off line. Connect it again and go back to scan it.");
    EXPECT_FALSE(Visible(f.strip->GetSwitchBox()));
    EXPECT_FALSE(Visible(f.strip->GetSwitchImage()));
    EXPECT_FALSE(Sensitive(f.strip->GetStopButton()));
    EXPECT_EQ(f.controller.stops, 1);
    SaveWindowScreenshot("scan_toolbar_off_line", f.window->Window());
}

TEST(ResultToolbarTest, SearchAndSwitchAreKeptPerCategory) {
    StripFixture f;
    OnlyDeletedRecorder posted;
    const int on = MsgCode(MSG_SCAN_ONLY_DELETED_ON), off = MsgCode(MSG_SCAN_ONLY_DELETED_OFF);
    // Before the toolbar exists nothing is applied.
    f.strip->ApplySearch(1);
    EXPECT_TRUE(posted.Take().empty());
    f.Finish();
    f.strip->SetCategory(1);

    f.Search("ann");
    EXPECT_EQ(f.controller.contacts.Keyword(), "ANN");
    EXPECT_TRUE(Visible(f.strip->GetClearButton()));
    EXPECT_EQ(posted.Take(), std::vector<int>{off});
    f.Search("ann");  // unchanged: nothing
    EXPECT_TRUE(posted.Take().empty());

    // Gallery: a keyword of its own in the files container, the switch on.
    f.strip->SetCategory(3);
    f.strip->RestoreSearchText();
    EXPECT_STREQ(f.strip->GetSearchEntry()->GetText(), "");
    f.strip->GetSearchEntry()->SetText("pic");
    f.strip->OnOnlyDeletedClicked();
    EXPECT_EQ(f.controller.files.Keyword(), "PIC");
    EXPECT_EQ(f.strip->GetOnlyDeleted(), 1);
    EXPECT_EQ(posted.Take(), std::vector<int>{on});
    // Enter applies the search and remembers it; the message carries the switch's state.
    GdkEventKey key{};
    key.type = GDK_KEY_RELEASE;
    key.window = f.strip->GetSearchEntry()->GetWidget()->window;
    key.keyval = 0xFF8D;  // keypad Enter
    gboolean handled = FALSE;
    g_signal_emit_by_name(f.strip->GetSearchEntry()->GetWidget(), "key-release-event", &key, &handled);
    EXPECT_EQ(f.strip->GetSearchText(3), "pic");
    EXPECT_EQ(posted.Take(), std::vector<int>{on});

    // Back to contacts: its text and its switch, off.
    f.strip->SetCategory(1);
    f.strip->RestoreSearchText();
    EXPECT_STREQ(f.strip->GetSearchEntry()->GetText(), "ann");
    EXPECT_EQ(f.strip->GetSearchEntry()->GetPosition(), 3);
    EXPECT_EQ(f.strip->GetOnlyDeleted(), 0);
    // Clearing a search posts the switch's state.
    f.strip->OnClearClicked();
    EXPECT_EQ(f.controller.contacts.Keyword(), "");
    EXPECT_FALSE(Visible(f.strip->GetClearButton()));
    EXPECT_EQ(posted.Take(), std::vector<int>{off});
    f.strip->SetCategory(3);
    EXPECT_EQ(f.strip->GetOnlyDeleted(), 1);
    f.strip->OnOnlyDeletedClicked();
    EXPECT_EQ(f.strip->GetOnlyDeleted(), 0);
    EXPECT_EQ(posted.Take(), std::vector<int>{off});
    // Messages take their keyword in their own container.
    f.strip->SetCategory(2);
    f.Search("bob");
    EXPECT_EQ(f.controller.sms.Keyword(), "BOB");
    EXPECT_EQ(f.controller.contacts.Keyword(), "");
}
