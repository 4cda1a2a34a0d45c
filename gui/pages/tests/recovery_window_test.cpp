// The recovery window fed with progress records as the logic sends them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <cstring>
#include <string>
#include <vector>

#include "gui/pages/RecoveryWin.h"
#include "gui/pages/tests/PagesTestSupport.h"
#include "gui/shell/CNotifyCentor.h"
#include "gui/shell/CUIPublic.h"
#include "logic_contract/RelikordaMsg.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "gui/shell/tests/ShellTestSupport.h"
#include "outside/widgets/CBPButton.h"
#include "outside/widgets/CBPCairoImgButton.h"
#include "outside/widgets/CBPHProgressBar.h"
#include "outside/widgets/CBPLabel.h"
#include "outside/widgets/CBPLinkLabel.h"

namespace {

struct WindowFixture {
    ScriptedController controller;
    CRecoveryWin window{nullptr};
    int received = 0;

    WindowFixture() {
        CUIPublic::Instance()->SetLogicalController(&controller);
        window.SetDestination("/tmp/out/");
        window.Show();
    }
    ~WindowFixture() { CUIPublic::Instance()->SetLogicalController(nullptr); }

    // Posts a record and waits until the window has taken it (its done field is unique per post).
    bool Feed(uint32_t state, uint64_t total, uint64_t done, uint64_t result, const std::string& name) {
        ScriptedRecoveryJob::Post(state, total, done, result, name);
        return PumpUntil([&] { return Done() == done && window.GetProgress().state == state; });
    }
    // The packed record's fields, read by value.
    uint64_t Done() const { return window.GetProgress().done; }
    std::string Label() const { return window.GetProgressLabel()->GetLabelText(); }
    double Fraction() const { return window.GetProgressBar()->GetFraction(); }
    std::string Reason() const {
        return window.GetReasonLabel() ? gtk_label_get_text(GTK_LABEL(window.GetReasonLabel()->GetWidget())) : "-";
    }
};

std::vector<std::string> Values(const StatsLog& stats) {
    std::vector<std::string> values;
    for (const std::string& line : stats.Lines()) {
        if (line.rfind("Value ", 0) == 0) values.push_back(line);
    }
    return values;
}

void Release(CBPWidget* widget) { CBaseWnd::SimulateButtonEvent(widget->GetWidget(), GDK_BUTTON_RELEASE); }

}  // namespace

TEST(RecoveryWindowTest, RunningRecordsMoveTheBarAndNameTheFile) {
    WindowFixture f;
    EXPECT_EQ(f.Label(), "Recovering ");
    EXPECT_TRUE(gtk_widget_get_visible(f.window.GetButton(BASE_BUTTON_CANCEL)->GetWidget()));
    EXPECT_FALSE(gtk_widget_get_visible(f.window.GetButton(BASE_BUTTON_OK)->GetWidget()));
    struct Step {
        uint64_t total, done;
        std::string name, label;
        double fraction;
    } steps[] = {
        {4, 1, "a.jpg", "Recovering a.jpg", 0.25},
        {0, 2, "b.jpg", "Recovering b.jpg", 0.0},               // no total: the bar stays at 0
        {4, 3, "", "Recovering b.jpg", 0.75},                   // no name: the label stays
        {1ull << 63 | 8, 1ull << 63 | 4, "c", "Recovering c", 0.5},  // the top bit is not looked at
        {4, 9, "x&<y>", "Recovering x&<y>", 1.0},
    };
    for (const Step& step : steps) {
        ASSERT_TRUE(f.Feed(PROGRESS_STATE_RUNNING, step.total, step.done, 0, step.name)) << step.name;
        EXPECT_EQ(f.Label(), step.label);
        EXPECT_DOUBLE_EQ(f.Fraction(), step.fraction) << step.name;
    }
    // A name that fills its field without a zero byte ends with the field: what follows is not text.
    PROGRESS_INFO full = MakeProgress(PROGRESS_STATE_RUNNING, 10, 10, 0, "");
    memset(full.text, 'n', sizeof full.text);
    memset(full.unused, 'u', sizeof full.unused);
    full.remainingSeconds = 0x73737373;
    CNotifyCentor::Instance()->Notify(MSG_RECOVERY_PROGRESS, &full, sizeof full);
    ASSERT_TRUE(PumpUntil([&] { return f.Done() == 10; }));
    EXPECT_EQ(f.Label(), "Recovering " + std::string(sizeof full.text, 'n'));
    // A payload that cannot be fetched leaves the window as it was.
    f.controller.failFetch = true;
    ScriptedRecoveryJob::Post(PROGRESS_STATE_FINISHED, 1, 11, 0, "z");
    CNotifyCentor::Instance()->DeliverPending();
    EXPECT_EQ(f.Done(), 10u);
    EXPECT_EQ(f.window.GetResultPage(), nullptr);
}

TEST(RecoveryWindowTest, TheFinishedRecordsResultChoosesThePage) {
    struct Case {
        uint64_t result;
        bool success;
        std::string reason;
    } cases[] = {
        {0, true, "-"},
        {15, true, "-"},  // an error number without a failure mark is a success
        {MakeFailure(10, 15), false, "The file could not be written."},
        {MakeFailure(10, 17), false, "The device went off line."},
        {MakeFailure(10, 18), false,
         "Some files could be recovered only in part: the device no longer holds all of their data."},
        {MakeFailure(10, 13), false, " "},
    };
    for (const Case& c : cases) {
        WindowFixture f;
        f.window.SetDestination("/tmp/R&D <out>/");
        ASSERT_TRUE(f.Feed(PROGRESS_STATE_FINISHED, 1, 1, c.result, "last.txt"));
        ASSERT_NE(f.window.GetResultPage(), nullptr);
        EXPECT_EQ(f.window.GetLocationLabel() != nullptr, c.success) << c.result;
        EXPECT_EQ(f.Reason(), c.reason) << c.result;
        EXPECT_EQ(f.window.GetShareButton(SHARE_GOOGLE) != nullptr, c.success);
        EXPECT_TRUE(gtk_widget_get_visible(f.window.GetButton(BASE_BUTTON_OK)->GetWidget()));
        EXPECT_FALSE(gtk_widget_get_visible(f.window.GetButton(BASE_BUTTON_CANCEL)->GetWidget()));
        if (c.success) {
            GtkWidget* location = f.window.GetLocationLabel()->GetWidget();
            EXPECT_EQ(std::string(gtk_label_get_text(GTK_LABEL(location))), "The files are in /tmp/R&D <out>/");
            EXPECT_EQ(FirstLinkOf(location), "/tmp/R&D <out>/");
        }
    }
}

TEST(RecoveryWindowTest, CancelAndOffLineStopTheJobAndAreReported) {
    // The seconds reported are bounded by the seconds measured around them: a loaded machine may
    // take a while between any two steps.
    const time_t made = time(nullptr);
    WindowFixture f;
    StatsLog stats;
    // Off line: the job stops, the window waits for the final record.
    CNotifyCentor::Instance()->Notify(MSG_DEVICE_OFFLINE, nullptr, 0);
    ASSERT_TRUE(PumpUntil([&] { return f.controller.job.stops == 1; }));
    EXPECT_EQ(f.window.GetResultPage(), nullptr);
    EXPECT_TRUE(Values(stats).empty());

    ASSERT_TRUE(WaitShown(f.window.GetWidget()));
    // Two seconds after the start, Cancel reports them; a second press the seconds since the first.
    const time_t opened = time(nullptr);
    ASSERT_TRUE(PumpUntil([&] { return time(nullptr) >= opened + 2; }));
    const time_t firstPress = time(nullptr);
    Release(f.window.GetButton(BASE_BUTTON_CANCEL));
    EXPECT_EQ(f.controller.job.stops, 2);
    EXPECT_FALSE(gtk_widget_get_visible(f.window.GetWidget()));
    Release(f.window.GetButton(BASE_BUTTON_CANCEL));
    const time_t secondPress = time(nullptr);
    EXPECT_EQ(f.controller.job.stops, 3);
    auto seconds = [](const std::string& line, const std::string& id) {
        return line.rfind("Value " + id + " ", 0) == 0 ? std::atoi(line.c_str() + 7 + id.size()) : -1;
    };
    const std::vector<std::string> values = Values(stats);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_GE(seconds(values[0], "12358"), 2) << values[0];
    EXPECT_LE(seconds(values[0], "12358"), firstPress - made + 1) << values[0];
    EXPECT_GE(seconds(values[1], "12358"), 0) << values[1];
    EXPECT_LE(seconds(values[1], "12358"), secondPress - firstPress + 1) << values[1];
    // The final record after a stop reports how long it took to come.
    ASSERT_TRUE(f.Feed(PROGRESS_STATE_FINISHED, 1, 1, MakeFailure(1, 13), ""));
    const time_t fed = time(nullptr);
    EXPECT_GE(seconds(Values(stats).back(), "12359"), 0) << Values(stats).back();
    EXPECT_LE(seconds(Values(stats).back(), "12359"), fed - firstPress + 1) << Values(stats).back();

    // Without a recovery object nothing is stopped, and nothing breaks.
    f.controller.withJob = false;
    CNotifyCentor::Instance()->Notify(MSG_DEVICE_OFFLINE, nullptr, 0);
    CNotifyCentor::Instance()->DeliverPending();
    EXPECT_EQ(f.controller.job.stops, 3);
}

TEST(RecoveryWindowTest, ShareButtonsOpenTheirAddressAndCountTheirClicks) {
    WindowFixture f;
    StatsLog stats;
    ASSERT_TRUE(f.Feed(PROGRESS_STATE_FINISHED, 1, 1, 0, ""));
    const size_t opened = World().desktop->Opened().size();
    for (int share : {SHARE_FACEBOOK, SHARE_TWITTER, SHARE_GOOGLE, SHARE_GOOGLE})
        Release(f.window.GetShareButton(share));
    EXPECT_EQ(Values(stats),
              (std::vector<std::string>{"Value 12360 1", "Value 12362 1", "Value 12361 1", "Value 12361 2"}));
    EXPECT_EQ(f.window.ShareClicks(SHARE_GOOGLE), 2);
    ASSERT_TRUE(WaitOpened(*World().desktop, opened + 4));
    std::vector<std::string> urls = World().desktop->Opened();
    urls.erase(urls.begin(), urls.begin() + opened);
    std::sort(urls.begin(), urls.end());
    EXPECT_EQ(urls, (std::vector<std::string>{
                        "https://plus.google.com/share?url=https://relikorda.example/share/",
                        "https://plus.google.com/share?url=https://relikorda.example/share/",
                        "https://twitter.com/intent/tweet?url=https://relikorda.example/share/"
                        "&text=Relikorda%20for%20Android",
                        "https://www.facebook.com/sharer/sharer.php?u=https://relikorda.example/share/",
                    }));
}
