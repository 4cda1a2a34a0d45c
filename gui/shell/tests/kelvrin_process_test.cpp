// Kelvrin itself, started as a user would, in a scratch tree with a session folder of its own;
// driven from outside by xdotool: one instance only, the restart switch, the language change.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "gui/shell/tests/GuiTestSupport.h"
#include "platform/NamedObjects.h"
#include "gui/shell/tests/ShellTestSupport.h"
#include "outside/widgets/CBPIniParser.h"

namespace fs = std::filesystem;

namespace {

// How long a step may take on a loaded machine, in an ASan build.
constexpr int kWaitMs = 60000;
// The title bar's blue, painted over the window's top edge.
constexpr guint32 kTitleBlue = 0x09A2D2;

struct XWindow {
    std::string id, name;
    int x = 0, y = 0, width = 0, height = 0;
};

std::string RunProgram(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    gchar* out = nullptr;
    g_spawn_sync(nullptr, args.data(), nullptr, GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDERR_TO_DEV_NULL), nullptr,
                 nullptr, &out, nullptr, nullptr, nullptr);
    std::string text = out ? out : "";
    g_free(out);
    return text;
}

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Polls until done holds; false when the time ran out first.
bool PollUntil(const std::function<bool()>& done, int timeoutMs = kWaitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        Sleep(50);
    }
    return true;
}

// The shown windows of a process.
std::vector<XWindow> WindowsOf(pid_t pid) {
    std::vector<XWindow> windows;
    std::istringstream ids(
        RunProgram({"xdotool", "search", "--all", "--onlyvisible", "--pid", std::to_string(pid), "--name", ""}));
    for (std::string id; std::getline(ids, id);) {
        XWindow window;
        window.id = id;
        std::istringstream shell(RunProgram({"xdotool", "getwindowgeometry", "--shell", id}));
        for (std::string line; std::getline(shell, line);) {
            const size_t eq = line.find('=');
            if (eq == std::string::npos) continue;
            const int value = std::atoi(line.c_str() + eq + 1);
            const std::string key = line.substr(0, eq);
            if (key == "X") window.x = value;
            if (key == "Y") window.y = value;
            if (key == "WIDTH") window.width = value;
            if (key == "HEIGHT") window.height = value;
        }
        window.name = RunProgram({"xdotool", "getwindowname", id});
        if (!window.name.empty() && window.name.back() == '\n') window.name.pop_back();
        windows.push_back(window);
    }
    return windows;
}

// Waits for a shown window of the process of the given size, with its title bar painted.
bool WaitForWindow(pid_t pid, int width, int height, XWindow* found, int timeoutMs = kWaitMs) {
    return PollUntil(
        [&] {
            for (const XWindow& window : WindowsOf(pid)) {
                if (window.width != width || window.height != height) continue;
                if (ScreenPixel(window.x + window.width / 2, window.y + 3) != kTitleBlue) return false;
                if (found) *found = window;
                return true;
            }
            return false;
        },
        timeoutMs);
}

// Waits for a shown window of the process (a menu, say) other than those given.
bool WaitForOtherWindow(pid_t pid, const std::set<std::string>& known, XWindow* found) {
    return PollUntil([&] {
        for (const XWindow& window : WindowsOf(pid)) {
            if (known.count(window.id) || window.width <= 50) continue;  // not a grab's 10x10 window
            *found = window;
            return true;
        }
        return false;
    });
}

bool IsShown(pid_t pid, const XWindow& window) {
    for (const XWindow& shown : WindowsOf(pid))
        if (shown.id == window.id) return true;
    return false;
}

// The pixels of a window's area on the screen.
std::string AreaPixels(const XWindow& window) {
    GdkPixbuf* shot = gdk_pixbuf_get_from_drawable(nullptr, gdk_get_default_root_window(), nullptr, window.x,
                                                   window.y, 0, 0, window.width, window.height);
    if (!shot) return std::string();
    std::string pixels(reinterpret_cast<const char*>(gdk_pixbuf_get_pixels(shot)),
                       static_cast<size_t>(gdk_pixbuf_get_rowstride(shot)) * window.height);
    g_object_unref(shot);
    return pixels;
}

// Waits until a window's area shows what it showed a moment before, three times running: its
// program has drawn what it had to draw.
bool WaitDrawn(const XWindow& window) {
    std::string last;
    int same = 0;
    return PollUntil([&] {
        Sleep(50);
        const std::string now = AreaPixels(window);
        same = now == last ? same + 1 : 0;
        last = now;
        return same >= 3;
    });
}

// Whether the process has the file open (it waits on the lock it names, say).
bool HasOpen(pid_t pid, const std::string& path) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        std::error_code ignored;
        if (fs::read_symlink(entry.path(), ignored) == fs::path(path)) return true;
    }
    return false;
}

void Click(int x, int y) { RunProgram({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", "1"}); }

void Keys(const XWindow& window, const std::vector<std::string>& keys) {
    std::vector<std::string> argv{"xdotool", "windowfocus", "--sync", window.id, "key"};
    argv.insert(argv.end(), keys.begin(), keys.end());
    RunProgram(argv);
}

bool SaveShot(const std::string& name, const XWindow& window) {
    return SaveScreenshot(name, window.x - 8, window.y - 8, window.width + 16, window.height + 16);
}

// A scratch tree with a copy of Kelvrin and a session folder; the programs it starts.
class KelvrinTest : public ::testing::Test {
protected:
    void SetUp() override { MakeTree(); }

    void MakeTree() {
        tree_ = MakeScratchTree();
        program_ = tree_.bin + "/Kelvrin";
        fs::copy_file(std::string(RK_BUILD_DIR) + "/bin/Kelvrin", program_);
        fs::copy_file(std::string(RK_BUILD_DIR) + "/bin/libOxbery.so", tree_.bin + "/libOxbery.so");
        stats_ = tree_.root + "/stats.log";
        session_ = tree_.root + "/session";
        fs::create_directory(session_);
        fs::permissions(session_, fs::perms::owner_all, fs::perm_options::replace);
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
    }
    void TearDown() override {
        for (pid_t pid : started_) {
            if (waitpid(pid, nullptr, WNOHANG) == 0) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
        }
        for (pid_t pid : FindRestarted(-1)) kill(pid, SIGKILL);
        // The crash event each instance made in its session outlives the processes.
        RemoveSessionEvent(session_, "Kelvrin_Crashed");
        std::error_code ignored;
        fs::remove_all(tree_.root, ignored);
    }

    pid_t Start(const std::vector<std::string>& arguments) {
        return StartWith(arguments, [this] { setenv("XDG_RUNTIME_DIR", session_.c_str(), 1); });
    }

    // Started after prepare ran in the child; the program, or a command that runs it last.
    pid_t StartWith(const std::vector<std::string>& arguments, const std::function<void()>& prepare,
                    const std::vector<std::string>& before = {}) {
        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir(tree_.bin.c_str()) != 0) _exit(120);
            setenv("RELIKORDA_STATS_LOG", stats_.c_str(), 1);
            prepare();
            std::vector<char*> argv;
            for (const std::string& word : before) argv.push_back(const_cast<char*>(word.c_str()));
            argv.push_back(const_cast<char*>(program_.c_str()));
            for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            execvp(argv[0], argv.data());
            _exit(121);
        }
        started_.push_back(pid);
        return pid;
    }

    // The exit status once the process ended within the time; -1 when it still runs.
    static int WaitForExit(pid_t pid, int timeoutMs = kWaitMs) {
        int status = 0;
        if (!PollUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, timeoutMs)) return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    }

    // Programs started from this tree's copy other than the one given (a restarted instance).
    std::vector<pid_t> FindRestarted(pid_t other) const {
        std::vector<pid_t> found;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator("/proc", error)) {
            const pid_t pid = std::atoi(entry.path().filename().c_str());
            if (pid <= 0 || pid == other) continue;
            std::error_code ignored;
            if (fs::read_symlink(entry.path() / "exe", ignored) == fs::path(program_)) found.push_back(pid);
        }
        return found;
    }

    ScratchTree tree_;
    std::string program_, session_, stats_;
    std::vector<pid_t> started_;
};

}  // namespace

TEST_F(KelvrinTest, ASecondStartShowsTheNoticeAndEndsAfterOk) {
    const pid_t first = Start({});
    XWindow main;
    ASSERT_TRUE(WaitForWindow(first, 1000, 620, &main));
    EXPECT_EQ(main.name, "Relikorda for Android ");
    // Without the restart switch alone, the notice comes at once.
    const std::vector<std::vector<std::string>> starts = {{}, {"-r"}, {"-R", "x"}};
    for (const auto& arguments : starts) {
        const pid_t second = Start(arguments);
        XWindow notice;
        ASSERT_TRUE(WaitForWindow(second, 500, 240, &notice)) << arguments.size();
        if (arguments.empty()) {
            EXPECT_TRUE(SaveShot("already_running", notice));
        }
        Keys(notice, {"Tab", "Return"});
        EXPECT_EQ(WaitForExit(second), 0);
    }
    EXPECT_EQ(WaitForExit(first, 0), -1);  // the first goes on

    // Its close button ends it, after the last statistics; the refused starts reported no start.
    Click(main.x + 984, main.y + 19);
    EXPECT_EQ(WaitForExit(first), 0);
    const std::string stats = ReadText(stats_);
    EXPECT_EQ(stats.find("Event 12300\n"), stats.rfind("Event 12300\n")) << stats;
    EXPECT_NE(stats.find("Event 12300\n"), std::string::npos) << stats;
    EXPECT_NE(stats.find("Value 12364 1\n"), std::string::npos) << stats;
    EXPECT_EQ(stats.substr(stats.size() - 7), "Finish\n") << stats;
}

TEST_F(KelvrinTest, ARestartedInstanceWaitsForTheFirstToEnd) {
    const pid_t first = Start({});
    ASSERT_TRUE(WaitForWindow(first, 1000, 620, nullptr));
    const pid_t restarted = Start({"-R"});
    // Once it holds the single-instance lock file open, it waits for the first to let go.
    ASSERT_TRUE(PollUntil([&] { return HasOpen(restarted, session_ + "/KVRN_Mutex_473192_Tamsk.lock"); }));
    EXPECT_TRUE(WindowsOf(restarted).empty());
    EXPECT_EQ(WaitForExit(restarted, 0), -1);
    kill(first, SIGTERM);
    EXPECT_NE(WaitForExit(first), -1);
    EXPECT_TRUE(WaitForWindow(restarted, 1000, 620, nullptr));
}

TEST_F(KelvrinTest, ChoosingFrenchWritesTheLanguageAndRestartsWithTheSwitch) {
    const pid_t first = Start({});
    XWindow main, menu, dialog, prompt;
    ASSERT_TRUE(WaitForWindow(first, 1000, 620, &main));
    // The "more" button stands left of minimise, maximise and close at the title bar's right end.
    Click(main.x + 885, main.y + 19);
    ASSERT_TRUE(WaitForOtherWindow(first, {main.id}, &menu));
    Click(menu.x + 40, menu.y + 18);  // the first entry: Language
    ASSERT_TRUE(WaitForWindow(first, 450, 250, &dialog));
    Click(dialog.x + 205, dialog.y + 161);  // the combo box
    // Its list, which has the keyboard once it shows.
    XWindow list;
    ASSERT_TRUE(WaitForOtherWindow(first, {main.id, dialog.id}, &list));
    RunProgram({"xdotool", "key", "Down", "Return"});  // Français
    ASSERT_TRUE(PollUntil([&] { return !IsShown(first, list); }));
    EXPECT_TRUE(WaitDrawn(dialog));
    EXPECT_TRUE(SaveShot("language_chosen", dialog));
    Click(dialog.x + 225, dialog.y + 227);  // OK
    ASSERT_TRUE(WaitForWindow(first, 450, 180, &prompt));
    EXPECT_TRUE(SaveShot("language_prompt", prompt));
    Keys(prompt, {"shift+Tab", "Return"});  // from Cancel, which has the focus, to OK

    EXPECT_EQ(WaitForExit(first), 0);
    CBPIniParser config((tree_.res + "/UIConfig.ini").c_str());
    gchar* language = config.GetKeyValueStr("Public", "Language");
    EXPECT_STREQ(language, "French");
    g_free(language);
    const std::vector<pid_t> restarted = FindRestarted(first);
    ASSERT_EQ(restarted.size(), 1u);
    std::string commandLine = ReadText("/proc/" + std::to_string(restarted[0]) + "/cmdline");
    EXPECT_EQ(commandLine, program_ + std::string("\0-R\0", 4));
    EXPECT_TRUE(WaitForWindow(restarted[0], 1000, 620, nullptr));
}

TEST_F(KelvrinTest, TwoUsersWithoutASessionFolderEachStartTheirOwn) {
    if (geteuid() != 0) GTEST_SKIP() << "starting a program as a second user needs root";
    gchar* setpriv = g_find_program_in_path("setpriv");
    if (!setpriv) GTEST_SKIP() << "no setpriv to start a program as a second user";
    g_free(setpriv);
    constexpr uid_t kOther = 4242;
    const std::string other = std::to_string(kOther);
    // The tree is the second user's too: in /tmp, which every user reaches (the test's own
    // temporary folder is its alone). The temporary folder of both is shared as /tmp is.
    const std::string ownTree = tree_.root, ownTemporary = getenv("TMPDIR") ? getenv("TMPDIR") : "";
    setenv("TMPDIR", "/tmp", 1);
    MakeTree();
    if (!ownTemporary.empty()) setenv("TMPDIR", ownTemporary.c_str(), 1);
    fs::remove_all(ownTree);
    fs::permissions(tree_.root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    const std::string shared = tree_.root + "/shared-tmp", home = tree_.root + "/home-" + other;
    fs::create_directory(shared);
    fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
    fs::create_directory(home);
    const std::string xauthority = home + "/Xauthority";
    fs::copy_file(getenv("XAUTHORITY"), xauthority);
    // The second user made a folder and a held lock where this user's would go: neither counts.
    const std::string planted = shared + "/relikorda-0";
    fs::create_directory(planted);
    fs::permissions(planted, fs::perms::all);
    const int held = open((planted + "/KVRN_Mutex_473192_Tamsk.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    for (const std::string& path : {home, xauthority, planted, planted + "/KVRN_Mutex_473192_Tamsk.lock"})
        ASSERT_EQ(chown(path.c_str(), kOther, kOther), 0) << path;

    const auto withoutSession = [&shared] {
        unsetenv("XDG_RUNTIME_DIR");
        setenv("TMPDIR", shared.c_str(), 1);
    };
    const pid_t first = StartWith({}, withoutSession);
    const pid_t second = StartWith({}, [&] {
        withoutSession();
        setenv("HOME", home.c_str(), 1);
        setenv("XAUTHORITY", xauthority.c_str(), 1);
    }, {"setpriv", "--reuid=" + other, "--regid=" + other, "--clear-groups"});
    EXPECT_TRUE(WaitForWindow(first, 1000, 620, nullptr));
    EXPECT_TRUE(WaitForWindow(second, 1000, 620, nullptr));
    // Each holds its lock in a folder of its own, which only its user reaches.
    struct stat own {};
    ASSERT_EQ(lstat((shared + "/relikorda-" + other).c_str(), &own), 0);
    EXPECT_EQ(own.st_uid, kOther);
    EXPECT_EQ(own.st_mode & 0777, 0700u);
    EXPECT_TRUE(HasOpen(second, shared + "/relikorda-" + other + "/KVRN_Mutex_473192_Tamsk.lock"));
    close(held);
    // The crash events they made: the second user's in its folder, this user's with no folder of
    // its own (the planted one is refused).
    platform::NamedEvent::RemoveIn(shared + "/relikorda-" + other, "Kelvrin_Crashed");
    platform::NamedEvent::RemoveIn("", "Kelvrin_Crashed");
}
