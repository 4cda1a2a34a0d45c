// Kelvrin from start to end over the sample phone, with the real logic library beside it: the
// splash, Start, Go, the whole scan, every contact, conversation and gallery picture ticked and
// recovered into a scratch folder chosen in the folder chooser, the success page. The program runs
// in a child process (its entry function, as Kelvrin's main calls it), steered from inside its
// main loop as a user would click; the parent compares what it wrote with relikorda-recover's
// output and checks that nothing else was written.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gui/pages/AnalysisMain.h"
#include "gui/pages/RecoveryWin.h"
#include "gui/pages/ScanMain.h"
#include "gui/pages/ScanProgress.h"
#include "gui/pages/ScanSelectedBottom.h"
#include "gui/pages/ScanSelectedDetail.h"
#include "gui/pages/ScanTree.h"
#include "gui/pages/StepFlow.h"
#include "gui/pages/tests/PagesTestSupport.h"
#include "gui/shell/AppMain.h"
#include "gui/shell/CMsgReceiver.h"
#include "gui/shell/CNotifyCentor.h"
#include "gui/shell/CUIPublic.h"
#include "logic_contract/ILogicalController.h"
#include "gui/shell/MainWin.h"
#include "gui/shell/WindowTitle.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "gui/shell/tests/ShellTestSupport.h"
#include "media_recovery/CRecoveryFilter.h"
#include "media_recovery/file_model/IFileNode.h"
#include "outside/widgets/CBPButton.h"
#include "outside/widgets/CBPCairoImgButton.h"
#include "outside/widgets/CBPImgGridList.h"
#include "outside/widgets/CBPImgTxtLabel.h"
#include "outside/widgets/CBPListTreeview.h"
#include "sqlite_recovery/framework/Lockers.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
using Files = std::map<std::string, std::string>;  // relative path -> contents

PagesWorld g_world;

// --- The child: Kelvrin steered from inside its main loop --------------------------------------

// Every count the detail pane posts for the tree, in order, and whether the scan was still
// running (its last progress record not the finished one) when the count came.
class CountWatcher : public CMsgReceiver {
public:
    CountWatcher() : CMsgReceiver(MSG_RESULT_COUNTS_ALL) { Subscribe(MSG_SCAN_PROGRESS); }
    void OnMessage(int, int code) override {
        if (code == static_cast<int>(MsgCode(MSG_SCAN_PROGRESS))) return;
        uint32_t pair[2] = {0, 0};
        void* buffer = pair;
        unsigned length = sizeof pair;
        if (CNotifyCentor::Instance()->GetPayload(MakeMsgId(4, 4, code), &buffer, &length)) seen.push_back({code, pair[0]});
    }
    std::vector<std::pair<int, uint32_t>> seen;  // code, total
};

// What a step that is no more than a click or a look may take on a loaded machine, in a
// sanitizer build.
constexpr int kStepMs = 60000;

struct Step {
    std::string name;
    std::function<bool()> done;  // polled until true
    int timeoutMs;
};

class Driver {
public:
    explicit Driver(std::string outFolder) : out_(std::move(outFolder)) {}

    void Start() {
        BuildSteps();
        watcher_ = new CountWatcher;
        begun_ = Clock::now();
        g_timeout_add(100, &Driver::OnPoll, this);
    }

private:
    static gboolean OnPoll(gpointer self) {
        auto* driver = static_cast<Driver*>(self);
        driver->Poll();
        return TRUE;
    }

    void Poll() {
        if (busy_) return;  // a step turning the main loop itself
        busy_ = true;
        const Step& step = steps_[current_];
        if (step.done()) {
            std::fprintf(stderr, "e2e: %s\n", step.name.c_str());
            if (++current_ == steps_.size()) End(0);
            begun_ = Clock::now();
        } else if (Clock::now() - begun_ > std::chrono::milliseconds(step.timeoutMs)) {
            std::fprintf(stderr, "e2e: step \"%s\" did not complete %s\n", step.name.c_str(), why_.c_str());
            End(static_cast<int>(10 + current_));
        }
        busy_ = false;
    }

    static void End(int code) {
        // The logic's threads end before the process does.
        CUIPublic::Instance()->ReleaseLogicalController();
        std::fflush(stderr);
        _exit(code);
    }

    static CUIMainWin* Window() { return CUIMainWin::Instance(); }
    static CScanMain* Page() { return dynamic_cast<CScanMain*>(Window()->GetScanPage()); }
    static CStepFlow* Flow() {
        auto* page = dynamic_cast<CAnalysisMain*>(Window()->GetAnalysisPage());
        return page ? page->GetStepFlow() : nullptr;
    }
    static bool Usable(CBPWidget* widget) {
        return widget && gtk_widget_get_visible(widget->GetWidget()) && gtk_widget_get_sensitive(widget->GetWidget());
    }
    static bool Shot(const std::string& name, GtkWidget* window) {
        SaveWindowScreenshot(name, window);
        return true;
    }
    static GtkWidget* Splash() {
        GList* windows = gtk_window_list_toplevels();
        GtkWidget* found = nullptr;
        for (GList* item = windows; item; item = item->next) {
            GtkWidget* window = GTK_WIDGET(item->data);
            if (window != Window()->GetWidget() && gtk_widget_get_mapped(window) && window->allocation.width == 520 &&
                window->allocation.height == 360)
                found = window;
        }
        g_list_free(windows);
        return found;
    }
    // The left button let go over the widget, as a click ends.
    static void Release(GtkWidget* widget) { SendLeftButton(widget, GDK_BUTTON_RELEASE); }

    // What the containers hold, per category, as the tree should count it.
    static std::map<int, uint32_t> Held() {
        std::map<int, uint32_t> held;
        ILogicalController* logic = CUIPublic::Instance()->GetLogicalController();
        if (auto* contacts = logic->GetContactContainer()) {
            autolocker<IDataContainer<_CONTACT_INFOMATION>*> lock(contacts);
            for (auto it = contacts->Begin(); it != contacts->End(); ++it) held[1] += it->second.data ? 1 : 0;
        }
        if (auto* sms = logic->GetSmsContainer()) {
            autolocker<IDataContainer<_SMS_INFOMATION>*> lock(sms);
            for (auto it = sms->Begin(); it != sms->End(); ++it) held[2] += it->second.session ? 1 : 0;
        }
        if (auto* files = logic->GetArchiveContainer()) {
            autolocker<IDataContainer<_ARCHIVE_INFOMATION>*> lock(files);
            for (auto it = files->Begin(); it != files->End(); ++it) {
                IFileNode* node = it->second.node;
                if (!node) continue;
                const int category = CScanSelectedDetail::CategoryOfFileNode(node);
                if (category == 3 && node->GetSize() > 0x1F400000ull) continue;
                ++held[category];
            }
        }
        return held;
    }

    // While the scan runs the counts only grow; some are seen before it ends.
    bool WatchCounts() {
        CScanMain* page = Page();
        if (!page) return false;
        const bool running = !page->GetProgress()->GetToolbar();
        for (int category = 1; category <= 6; ++category) {
            const uint32_t total = page->GetTree()->GetCounts(category).total;
            if (total < lastTotals_[category]) {
                std::fprintf(stderr, "e2e: the count of %d went down\n", category);
                End(2);
            }
            lastTotals_[category] = total;
        }
        // The sample phone is scanned in a moment: the shot comes when the page is seen scanning.
        if (running && !scanShot_) scanShot_ = Shot("e2e_3_scanning", Window()->GetWidget());
        return !running;
    }

    bool CountsMatchTheContainers() {
        const std::map<int, uint32_t> held = Held();
        CScanMain* page = Page();
        why_.clear();
        bool same = true;
        for (int category = 1; category <= 6; ++category) {
            auto found = held.find(category);
            const uint32_t expected = found == held.end() ? 0 : found->second;
            const uint32_t counted = page->GetTree()->GetCounts(category).total;
            why_ += " " + std::to_string(category) + ":" + std::to_string(counted) + "/" + std::to_string(expected);
            same = same && counted == expected;
        }
        if (!same) return false;
        // Each category's posted totals only grow.
        std::map<int, uint32_t> last;
        for (const auto& count : watcher_->seen) {
            if (count.second < last[count.first]) return false;
            last[count.first] = count.second;
        }
        return !watcher_->seen.empty() && held.count(1) && held.count(2) && held.count(3);
    }

    // Ticks everything of a category through its list's header or its grid's items.
    bool TickAll(int category) {
        CScanSelectedDetail* detail = Page()->GetDetail();
        if (detail->GetCategory() != category) return false;
        if (CBPListTreeview* list = detail->GetList(category)) {
            list->SetAllChecked(2);
            expectedTicks_ = list->GetRowCount();
        } else if (CBPImgGridList* grid = detail->GetGrid(category)) {
            for (int index = 0; index < grid->GetItemCount(); ++index) {
                unsigned id = 0;
                bool selected = false, loaded = false;
                if (grid->GetItem(index, &id, &selected, &loaded) && !selected) grid->ToggleItem(index);
            }
            expectedTicks_ = grid->GetItemCount();
        }
        return expectedTicks_ > 0 && Page()->GetBottomBar()->GetSelectedCount() == expectedTicks_;
    }

    bool Recovered() {
        CRecoveryWin* recovery = Page()->GetBottomBar()->GetRecoveryWindow();
        if (!recovery) return false;
        const PROGRESS_INFO& record = recovery->GetProgress();
        if (record.state != PROGRESS_STATE_FINISHED || !Usable(recovery->GetResultPage())) return false;
        const uint64_t result = record.result;
        if (result != 0) {
            std::fprintf(stderr, "e2e: the recovery failed: %llx\n", static_cast<unsigned long long>(result));
            End(3);
        }
        return true;
    }

    void AddRecovery(int category, const std::string& name) {
        steps_.push_back({"category " + name, [category] {
                              PressTreeRow(Page()->GetTree(), category);
                              return Page()->GetDetail()->GetCategory() == category;
                          }, kStepMs});
        steps_.push_back({"shot of " + name, [name] {
                              return Shot("e2e_5_" + name, Window()->GetWidget());
                          }, kStepMs});
        steps_.push_back(
            {"everything of " + name + " ticked", [this, category] { return TickAll(category); }, kStepMs});
        steps_.push_back({"Recover for " + name, [] {
                              gtk_button_clicked(GTK_BUTTON(Page()->GetBottomBar()->GetRecoverButton()->GetWidget()));
                              return true;
                          }, kStepMs});
        steps_.push_back({"the folder chosen for " + name, [this] {
                              GtkWidget* chooser = FindFolderChooser();
                              return chooser && AnswerFolderChooser(chooser, out_);
                          }, kStepMs});
        steps_.push_back({"the success page of " + name, [this] { return Recovered(); }, 120000});
        // Closed by OK, and once by the title bar's close button.
        steps_.push_back({"shot of the success page, then OK or close", [name, category] {
                              CRecoveryWin* recovery = Page()->GetBottomBar()->GetRecoveryWindow();
                              CBPWidget* ok = recovery->GetButton(BASE_BUTTON_OK);
                              if (!Usable(ok)) return false;
                              Shot("e2e_6_recovered_" + name, recovery->GetWidget());
                              if (category == 2)
                                  Release(recovery->GetTitleBar()->GetButton(TITLE_BUTTON_CLOSE)->GetWidget());
                              else
                                  Release(ok->GetWidget());
                              return true;
                          }, kStepMs});
        steps_.push_back({"the success page closed", [] {
                              CRecoveryWin* recovery = Page()->GetBottomBar()->GetRecoveryWindow();
                              return !recovery || !gtk_widget_get_visible(recovery->GetWidget());
                          }, kStepMs});
    }

    void BuildSteps() {
        steps_.push_back({"the splash", [] {
                              GtkWidget* splash = Splash();
                              return splash && Shot("e2e_1_splash", splash);
                          }, kStepMs});
        steps_.push_back({"Start", [] {
                              // Once the splash has made way for the main window.
                              if (!gtk_widget_get_mapped(Window()->GetWidget()) || Splash()) return false;
                              if (!Flow() || !Usable(Flow()->GetStartButton())) return false;
                              WaitShown(Window()->GetWidget());
                              Shot("e2e_2_connection", Window()->GetWidget());
                              gtk_button_clicked(GTK_BUTTON(Flow()->GetStartButton()->GetWidget()));
                              return true;
                          }, kStepMs});
        steps_.push_back({"Go", [] {
                              if (!Flow() || !Usable(Flow()->GetGoButton())) return false;
                              Shot("e2e_2_connected", Window()->GetWidget());
                              gtk_button_clicked(GTK_BUTTON(Flow()->GetGoButton()->GetWidget()));
                              return true;
                          }, kStepMs});
        steps_.push_back({"the scan to its end", [this] { return WatchCounts(); }, 240000});
        steps_.push_back({"the counts of what the containers hold", [this] {
                              return CountsMatchTheContainers() && Shot("e2e_4_scanned", Window()->GetWidget());
                          }, kStepMs});
        AddRecovery(1, "contacts");
        AddRecovery(2, "messages");
        AddRecovery(3, "gallery");
    }

    std::string out_;
    std::vector<Step> steps_;
    size_t current_ = 0;
    Clock::time_point begun_;
    bool busy_ = false;
    uint32_t lastTotals_[7] = {};
    bool scanShot_ = false;
    int expectedTicks_ = 0;
    std::string why_;  // what the step waits for, when it says
    CountWatcher* watcher_ = nullptr;
};

// --- The parent: the oracle and the checks --------------------------------------------------

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every regular file below root, by its path relative to root.
Files FilesBelow(const std::string& root) {
    Files files;
    if (!fs::exists(root)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file() && !entry.is_symlink())
            files[fs::relative(entry.path(), root).string()] = ReadAll(entry.path().string());
    }
    return files;
}

// The contacts' documents and cards, by content: the contacts library numbers them by its rows'
// addresses, which differ between processes.
std::multiset<std::string> ContactsApart(Files* files) {
    std::multiset<std::string> contacts;
    for (auto it = files->begin(); it != files->end();) {
        if (it->first == "contacts.vcf") {
            const std::string& cards = it->second;
            for (size_t at = 0; at < cards.size();) {
                size_t next = cards.find("BEGIN:VCARD", at + 1);
                if (next == std::string::npos) next = cards.size();
                contacts.insert(cards.substr(at, next - at));
                at = next;
            }
        } else if (it->first.rfind("contacts/", 0) == 0) {
            contacts.insert(it->second);
        } else {
            ++it;
            continue;
        }
        it = files->erase(it);
    }
    return contacts;
}

// relikorda-recover's output for contacts, messages and the gallery.
Files ConsoleOutput(const std::string& phone, const std::string& scratch) {
    const std::string out = scratch + "/console", report = scratch + "/console.txt";
    const std::string command =
        std::string("'") + RK_RECOVER_PROGRAM + "' --device '" + phone + "' --out '" + out + "' > '" + report + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << ReadAll(report);
    const std::string text = ReadAll(report);
    Files all = FilesBelow(text.substr(7, text.find('\n') - 7)), wanted;
    CRecoveryFilter filter;
    for (auto& file : all) {
        const std::string& path = file.first;
        const bool database = path == "contacts.vcf" || path.rfind("contacts/", 0) == 0 || path.rfind("sms/", 0) == 0;
        const bool picture = path.rfind("files/", 0) == 0 &&
                             CategoryFlag(filter.GetNameCategory(fs::path(path).filename().string().c_str())) ==
                                 FILTER_FLAG_PICTURE;
        if (database || picture) wanted[path] = file.second;
    }
    return wanted;
}

// What stands in a folder now: path -> contents.
Files Snapshot(const std::string& root) { return FilesBelow(root); }

}  // namespace

PagesWorld& World() { return g_world; }

TEST(KelvrinEndToEndTest, RecoversContactsMessagesAndTheGalleryAsTheConsoleDoes) {
    const std::string phone = std::string(RK_BUILD_DIR) + "/testdata/sample_phone";
    ASSERT_TRUE(fs::exists(phone + "/device.ini")) << phone;
    const ScratchTree tree = MakeScratchTree();
    const std::string out = tree.root + "/chosen", logs = tree.root + "/logs";
    for (const std::string& folder : {out, logs, tree.root + "/home", tree.root + "/tmp", tree.root + "/run"})
        fs::create_directories(folder);
    fs::permissions(tree.root + "/run", fs::perms::owner_all, fs::perm_options::replace);
    const Files phoneBefore = Snapshot(phone);
    const Files treeBefore = Snapshot(tree.root);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("RELIKORDA_DEVICE", phone.c_str(), 1);
        setenv("RELIKORDA_LOG", (logs + "/relikorda.log").c_str(), 1);
        setenv("RELIKORDA_STATS_LOG", (logs + "/stats.log").c_str(), 1);
        setenv("HOME", (tree.root + "/home").c_str(), 1);
        setenv("TMPDIR", (tree.root + "/tmp").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (tree.root + "/run").c_str(), 1);
        if (chdir(tree.bin.c_str()) != 0) _exit(4);
        static Driver driver(out);
        driver.Start();
        char name[] = "Kelvrin";
        char* argv[] = {name, nullptr};
        AppMain(1, argv);
        _exit(5);  // the driver ends the process
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    ASSERT_EQ(WEXITSTATUS(status), 0) << "see the steps on standard error";

    // The export folders hold what the console writes for the three categories.
    Files written;
    for (const auto& file : FilesBelow(out)) {
        // chosen/<export>/<time>/<path>: the time stamps of the three recoveries aside.
        fs::path path(file.first);
        auto part = path.begin();
        ASSERT_NE(part, path.end());
        ++part;
        ASSERT_NE(part, path.end()) << file.first;
        ++part;
        fs::path rest;
        for (; part != path.end(); ++part) rest /= *part;
        EXPECT_TRUE(written.emplace(rest.string(), file.second).second) << rest;
    }
    Files expected = ConsoleOutput(phone, tree.root + "/tmp");
    EXPECT_GT(expected.size(), 20u);
    const std::multiset<std::string> contacts = ContactsApart(&expected);
    EXPECT_EQ(contacts.size(), 20u);  // the sample phone's ten contacts, each a document and a card
    EXPECT_EQ(ContactsApart(&written), contacts);
    std::set<std::string> expectedNames, writtenNames;
    for (const auto& file : expected) expectedNames.insert(file.first);
    for (const auto& file : written) writtenNames.insert(file.first);
    EXPECT_EQ(writtenNames, expectedNames);
    for (const auto& file : expected) {
        auto found = written.find(file.first);
        if (found != written.end()) {
            EXPECT_TRUE(found->second == file.second) << file.first;
        }
    }

    // The phone is as it was; nothing was written but into the chosen folder, res/ and logs.
    EXPECT_TRUE(Snapshot(phone) == phoneBefore);
    Files treeAfter = Snapshot(tree.root);
    for (const auto& file : treeAfter) {
        const std::string& path = file.first;
        // Beside the chosen folder, res/ and the logs: the single-instance lock of the session, the
        // toolkit's own settings of its folder chooser, and the console's run.
        if (path.rfind("chosen/", 0) == 0 || path.rfind("logs/", 0) == 0 || path.rfind("res/", 0) == 0 ||
            path.rfind("tmp/console", 0) == 0 || path.rfind("run/", 0) == 0 ||
            path == "home/.config/gtk-2.0/gtkfilechooser.ini")
            continue;
        auto before = treeBefore.find(path);
        EXPECT_TRUE(before != treeBefore.end() && before->second == file.second) << "written: " << path;
    }
    for (const auto& file : treeBefore) {
        if (file.first.rfind("res/", 0) == 0 && file.first != "res/UIConfig.ini") {
            EXPECT_TRUE(treeAfter.count(file.first) && treeAfter[file.first] == file.second) << file.first;
        }
    }
    // The crash event the program made in its session outlives it.
    RemoveSessionEvent(tree.root + "/run", "Kelvrin_Crashed");
    fs::remove_all(tree.root);
}
