// The result page's bottom bar in a test window over a scripted logic: the ticked count, Recover
// through the real folder chooser (answered by the test) into a fresh export folder, the recovery
// window that follows, Back. Also the environment the pages' display tests share.
#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "gui/pages/RecoveryWin.h"
#include "gui/pages/ScanSelectedBottom.h"
#include "gui/pages/tests/PagesTestSupport.h"
#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CNotifyCentor.h"
#include "gui/shell/CUIPublic.h"
#include "gui/shell/MainWin.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "gui/shell/tests/ShellTestSupport.h"
#include "outside/widgets/CBPButton.h"
#include "outside/widgets/CBPLabel.h"
#include "outside/widgets/CBPLinkLabel.h"
#include "platform/FolderBrowser.h"

namespace fs = std::filesystem;

namespace {

bool Sensitive(CBPWidget* widget) { return gtk_widget_get_sensitive(widget->GetWidget()); }
bool Visible(CBPWidget* widget) { return gtk_widget_get_visible(widget->GetWidget()); }

// The bar in a window of its own, over the scripted logic.
struct BarFixture : BarWindow {
    ScriptedController controller;
    BarFixture() { Bind(&controller); }
    ~BarFixture() { Close(); }
};

std::string LabelText(CBPLabel* label) { return label->GetLabelText(); }

// The statistics calls, without the library's set-up calls that come whenever it is first used.
std::vector<std::string> Calls(const StatsLog& stats) {
    std::vector<std::string> lines;
    for (const std::string& line : stats.Lines()) {
        if (line != "GetSmartSpy" && line.rfind("SpySetTextExA", 0) != 0) lines.push_back(line);
    }
    return lines;
}

}  // namespace

TEST(RecoveryBarTest, TheTickedCountShowsTheTipAndEnablesRecover) {
    BarFixture f;
    EXPECT_FALSE(Visible(f.bar->GetSelectedTip()));
    EXPECT_FALSE(Sensitive(f.bar->GetRecoverButton()));
    EXPECT_FALSE(Sensitive(f.bar->GetBackButton()));
    EXPECT_EQ(f.bar->GetRecoverButton()->GetText(), std::string("Recover"));
    EXPECT_EQ(f.bar->GetBackButton()->GetText(), std::string("Back"));

    struct Step {
        int count, category;
        bool shown;
    } steps[] = {{1, 3, true}, {0, 3, false}, {12, 6, true}, {-1, 1, false}};
    for (const Step& step : steps) {
        f.bar->UpdateSelectedTip(step.count, step.category);
        EXPECT_EQ(Visible(f.bar->GetSelectedTip()), step.shown) << step.count;
        EXPECT_EQ(Sensitive(f.bar->GetRecoverButton()), step.shown) << step.count;
        EXPECT_EQ(f.bar->GetCategory(), step.category);
        EXPECT_EQ(LabelText(f.bar->GetSelectedTip()), std::to_string(step.count) + " item(s) selected");
    }
    f.bar->SetScanFinished(1);
    f.bar->EnableBack();
    EXPECT_TRUE(Sensitive(f.bar->GetBackButton()));

    f.bar->UpdateSelectedTip(2, 4);
    ASSERT_TRUE(WaitShown(f.window));
    EXPECT_TRUE(SaveWindowScreenshot("recovery_bar", f.window));
    GtkAllocation area;
    gtk_widget_get_allocation(f.window, &area);
    // The bar's light ground with the grey line along its top.
    EXPECT_EQ(WindowPixel(f.window, 5, 0), 0xBABABAu);
    EXPECT_EQ(WindowPixel(f.window, 5, area.height / 2), 0xF6F6F6u);
}

TEST(RecoveryBarTest, RecoverChoosesAFolderMakesTheExportFolderAndFollowsTheRecoveryToItsEnd) {
    BarFixture f;
    StatsLog stats;
    const std::string base = MakeTempFolder();
    const std::string chosen = base + "/A&B folder";
    fs::create_directory(chosen);
    f.bar->UpdateSelectedTip(2, 3);
    f.bar->EnableBack();

    // While the folder is chosen, Recover and Back are off and a second press opens nothing.
    gtk_button_clicked(GTK_BUTTON(f.bar->GetRecoverButton()->GetWidget()));
    EXPECT_TRUE(f.bar->IsChoosing());
    EXPECT_FALSE(Sensitive(f.bar->GetRecoverButton()));
    EXPECT_FALSE(Sensitive(f.bar->GetBackButton()));
    GtkWidget* chooser = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (chooser = FindFolderChooser()) != nullptr; }));
    gtk_button_clicked(GTK_BUTTON(f.bar->GetRecoverButton()->GetWidget()));
    f.bar->UpdateSelectedTip(3, 3);
    f.bar->EnableBack();
    EXPECT_FALSE(Sensitive(f.bar->GetRecoverButton()));
    EXPECT_FALSE(Sensitive(f.bar->GetBackButton()));
    DrawPending();
    EXPECT_EQ(CountFolderChoosers(), 1);
    EXPECT_EQ(gtk_window_get_title(GTK_WINDOW(chooser)), std::string("Choose the folder to recover into"));
    ASSERT_TRUE(AnswerFolderChooser(chooser, chosen));
    ASSERT_TRUE(PumpUntil([&] { return !f.bar->IsChoosing(); }));
    EXPECT_TRUE(Sensitive(f.bar->GetRecoverButton()));
    EXPECT_TRUE(Sensitive(f.bar->GetBackButton()));

    // "<chosen>/Relikorda Export/YYYY-MM-DD-hh-mm-ss/", made, handed to the logic with the category.
    const std::string destination = f.bar->GetDestination();
    EXPECT_TRUE(std::regex_match(destination, std::regex(std::regex_replace(chosen, std::regex("[&]"), "\\&") +
                                                         "/Relikorda Export/\\d{4}(-\\d\\d){5}/")))
        << destination;
    EXPECT_TRUE(fs::is_directory(destination));
    EXPECT_FALSE(fs::exists(chosen + "/CantShow.log"));
    EXPECT_EQ(f.controller.job.starts, 1);
    EXPECT_EQ(f.controller.job.destination, destination);
    EXPECT_EQ(f.controller.job.category, 3);
    EXPECT_EQ(f.controller.job.texts, static_cast<IResourceReader*>(CUIPublic::Instance()));
    EXPECT_EQ(f.bar->GetRecoveryCount(), 1);
    EXPECT_EQ(Calls(stats), (std::vector<std::string>{"Event 12305", "Value 12354 1"}));

    // The window names each file as it is written.
    CRecoveryWin* window = f.bar->GetRecoveryWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitShown(window->GetWidget()));
    EXPECT_EQ(window->GetDestination(), destination);
    const std::vector<std::string> names = {"IMG_0001.jpg", "R&D <notes>.txt", "song.mp3"};
    for (size_t i = 0; i < names.size(); ++i) {
        ASSERT_TRUE(f.controller.job.WriteItem(names[i], "contents of " + names[i], i + 1, names.size()));
        ASSERT_TRUE(PumpUntil([&] { return LabelText(window->GetProgressLabel()) == "Recovering " + names[i]; }))
            << LabelText(window->GetProgressLabel());
        if (i == 1) {
            EXPECT_TRUE(SaveWindowScreenshot("recovery_running", window->GetWidget()));
        }
    }
    for (const std::string& name : names) EXPECT_EQ(ReadText(destination + name), "contents of " + name);

    // Finished: the success page, its link opens the export folder.
    ScriptedRecoveryJob::Post(PROGRESS_STATE_FINISHED, 3, 3, 0, "");
    ASSERT_TRUE(PumpUntil([&] { return window->GetLocationLabel() != nullptr; }));
    EXPECT_FALSE(gtk_widget_get_visible(window->GetButton(BASE_BUTTON_CANCEL)->GetWidget()));
    EXPECT_TRUE(gtk_widget_get_visible(window->GetButton(BASE_BUTTON_OK)->GetWidget()));
    GtkWidget* location = window->GetLocationLabel()->GetWidget();
    EXPECT_EQ(std::string(gtk_label_get_text(GTK_LABEL(location))), "The files are in " + destination);
    EXPECT_EQ(FirstLinkOf(location), destination);
    EXPECT_TRUE(SaveWindowScreenshot("recovery_success", window->GetWidget()));
    const size_t opened = World().desktop->Opened().size();
    gboolean handled = FALSE;
    g_signal_emit_by_name(location, "activate-link", FirstLinkOf(location).c_str(), &handled);
    ASSERT_TRUE(WaitOpened(*World().desktop, opened + 1));
    EXPECT_EQ(World().desktop->Opened().back(), destination.substr(0, destination.size() - 1));

    // The next choice opens on the chosen folder; cancelled, nothing more happens.
    std::string openedOn;
    ASSERT_TRUE(f.Recover("", &openedOn));
    EXPECT_EQ(openedOn, chosen);
    EXPECT_EQ(f.controller.job.starts, 1);
    EXPECT_EQ(f.bar->GetRecoveryWindow(), window);
    EXPECT_TRUE(Sensitive(f.bar->GetRecoverButton()));
    EXPECT_TRUE(Sensitive(f.bar->GetBackButton()));
}

TEST(RecoveryBarTest, EachRecoveryGetsANewExportFolderAndTheRootGetsTheExportTextAlone) {
    struct tm now {};
    now.tm_year = 2024 - 1900;
    now.tm_mon = 2;
    now.tm_mday = 7;
    now.tm_hour = 9;
    now.tm_min = 5;
    now.tm_sec = 3;
    const std::string exportText = "/Relikorda Export";
    EXPECT_EQ(CScanSelectedBottom::ExportFolderOf("/", exportText, now), "/Relikorda Export/2024-03-07-09-05-03");
    EXPECT_EQ(CScanSelectedBottom::ExportFolderOf("/home/u/", "/X", now), "/home/u/X/2024-03-07-09-05-03");
    EXPECT_EQ(CScanSelectedBottom::BaseOfDestination("/home/u/Relikorda Export/2024-03-07-09-05-03/", exportText),
              "/home/u");
    EXPECT_EQ(CScanSelectedBottom::BaseOfDestination("/home/u/Relikorda Export/2024-03-07-09-05-03-2/", exportText),
              "/home/u");
    EXPECT_EQ(CScanSelectedBottom::BaseOfDestination("/home/u/other/", exportText), "/home/u/other/");
    EXPECT_EQ(CScanSelectedBottom::BaseOfDestination("", exportText), "");

    // A name taken (by a folder or anything else) gives the next; a folder that cannot be made
    // leaves a name that is not there.
    const std::string base = MakeTempFolder();
    const std::string stamped = base + "/Relikorda Export/2024-03-07-09-05-03";
    EXPECT_EQ(CScanSelectedBottom::MakeExportFolder(stamped), stamped);
    EXPECT_EQ(CScanSelectedBottom::MakeExportFolder(stamped), stamped + "-2");
    std::ofstream(stamped + "-3") << "a file";
    EXPECT_EQ(CScanSelectedBottom::MakeExportFolder(stamped), stamped + "-4");
    for (const char* suffix : {"", "-2", "-4"}) EXPECT_TRUE(fs::is_directory(stamped + suffix)) << suffix;
    const ReadOnlyFolder readOnly;
    if (readOnly.Ready()) {
        const std::string refused = readOnly.Path() + "/Relikorda Export/2024-03-07-09-05-03";
        EXPECT_EQ(CScanSelectedBottom::MakeExportFolder(refused), refused);
        EXPECT_FALSE(fs::exists(refused));
    }

    // Two recoveries into one folder: whatever seconds their choices open in, and whatever folders
    // of those seconds are there already, each writes into a folder of its own made for it.
    BarFixture f;
    const std::string chosen = MakeTempFolder();
    std::set<std::string> earlier;
    const time_t start = time(nullptr);
    for (time_t second = start; second < start + 120; ++second) {
        struct tm local {};
        localtime_r(&second, &local);
        const std::string folder = CScanSelectedBottom::ExportFolderOf(chosen, exportText, local);
        fs::create_directories(folder);
        std::ofstream(folder + "/IMG_0001.jpg") << "an earlier recovery's";
        earlier.insert(folder + "/");
    }
    f.bar->UpdateSelectedTip(1, 2);
    std::set<std::string> destinations;
    for (int recovery = 0; recovery < 2; ++recovery) {
        ASSERT_TRUE(f.Recover(chosen));
        const std::string destination = f.bar->GetDestination();
        EXPECT_EQ(earlier.count(destination), 0u) << destination;
        EXPECT_TRUE(destinations.insert(destination).second) << destination;
        EXPECT_EQ(f.controller.job.destination, destination);
        ASSERT_TRUE(f.controller.job.WriteItem("IMG_0001.jpg", "recovery " + std::to_string(recovery), 1, 1));
        EXPECT_EQ(ReadText(destination + "IMG_0001.jpg"), "recovery " + std::to_string(recovery));
        ScriptedRecoveryJob::Post(PROGRESS_STATE_FINISHED, 1, 1, 0, "");
        CRecoveryWin* window = f.bar->GetRecoveryWindow();
        ASSERT_TRUE(PumpUntil([&] { return window->GetLocationLabel() != nullptr; }));
        EXPECT_EQ(std::string(gtk_label_get_text(GTK_LABEL(window->GetLocationLabel()->GetWidget()))),
                  "The files are in " + destination);
        if (recovery == 1) {
            EXPECT_TRUE(SaveWindowScreenshot("recovery_second_in_a_second", window->GetWidget()));
        }
    }
    for (const std::string& folder : earlier) EXPECT_EQ(ReadText(folder + "IMG_0001.jpg"), "an earlier recovery's");
}

TEST(RecoveryBarTest, AFolderThatTakesNoFilesEndsOnTheFailurePage) {
    BarFixture f;
    const ReadOnlyFolder readOnly;
    if (!readOnly.Ready()) GTEST_SKIP() << "no read-only mount possible here";
    const std::string chosen = readOnly.Path();
    f.bar->UpdateSelectedTip(1, 5);
    ASSERT_TRUE(f.Recover(chosen));
    EXPECT_FALSE(fs::exists(f.bar->GetDestination()));
    EXPECT_FALSE(f.controller.job.WriteItem("a.mp3", "x", 1, 1));
    CRecoveryWin* window = f.bar->GetRecoveryWindow();
    ASSERT_TRUE(PumpUntil([&] { return window->GetReasonLabel() != nullptr; }));
    EXPECT_EQ(std::string(gtk_label_get_text(GTK_LABEL(window->GetReasonLabel()->GetWidget()))),
              "The file could not be written.");
    EXPECT_EQ(window->GetLocationLabel(), nullptr);
    EXPECT_TRUE(SaveWindowScreenshot("recovery_failure", window->GetWidget()));
}

TEST(RecoveryBarTest, BackReportsAndStopsAndReturnsToTheConnectionPage) {
    BarFixture f;
    StatsLog stats;
    f.bar->EnableBack();
    CUIPublic::Instance()->SetCurrentMsg(0x02040004);
    gtk_button_clicked(GTK_BUTTON(f.bar->GetBackButton()->GetWidget()));
    EXPECT_EQ(f.controller.stops, 1);
    EXPECT_EQ(CUIPublic::Instance()->GetCurrentMsg(), 0u);
    std::vector<std::string> expected = {"Value 12363 1"};
    for (int id : {12330, 12331, 12332, 12333, 12334, 12335, 12336, 12337, 12340, 12341, 12338, 12339})
        expected.push_back("Value " + std::to_string(id) + " 0");
    expected.push_back("Text 3584 https://relikorda.example/stats/table2");
    expected.push_back("Pair 3 5");
    EXPECT_EQ(Calls(stats), expected);
    // The page swap comes at the next idle: the connection page stands again.
    ASSERT_TRUE(PumpUntil([] { return CUIMainWin::Instance()->GetAnalysisPage() != nullptr; }));
}

TEST(FolderBrowserTest, AHandlerOnTheMainThreadGetsItsAnswerToo) {
    const std::string folder = MakeTempFolder();
    struct Ask {
        std::string folder, chosen;
        bool accepted = false, done = false, ownerless = false;
    } ask;
    ask.folder = folder;
    // The answer comes from the loop that the waiting handler turns.
    guint answer = g_timeout_add(50, +[](gpointer data) -> gboolean {
        auto* a = static_cast<Ask*>(data);
        GtkWidget* chooser = FindFolderChooser();
        if (!chooser || ChooserFolder(chooser) != a->folder) return TRUE;
        a->ownerless = gtk_window_get_transient_for(GTK_WINDOW(chooser)) == nullptr;
        gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT);
        return TRUE;
    }, &ask);
    // From a handler, as a button's: the chooser runs in a turning loop until answered.
    g_idle_add(+[](gpointer data) -> gboolean {
        auto* a = static_cast<Ask*>(data);
        a->accepted = platform::BrowseForFolder("no such window", "Pick", a->folder, &a->chosen);
        a->done = true;
        return FALSE;
    }, &ask);
    EXPECT_TRUE(PumpUntil([&] { return ask.done; }));
    g_source_remove(answer);
    EXPECT_TRUE(ask.accepted);
    EXPECT_TRUE(ask.ownerless);
    EXPECT_EQ(ask.chosen, folder);
}
