// The crash handler in a program of its own (a copy in a scratch folder, as Kelvrin lies beside
// Crashwick), the debug log, and the single-instance guard.
#include <gtest/gtest.h>
#include <glib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "gui/shell/AppMain.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "platform/FileSystem.h"
#include "platform/NamedObjects.h"

namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;

// A folder with copies of the test program and Crashwick, its own session folder and crash log.
struct CrashFolder {
    std::string root, app, session, crashLog;

    CrashFolder() {
        root = MakeTempFolder();
        app = root + "/app";
        session = root + "/session";
        const std::string out = root + "/out";
        for (const std::string& folder : {app, session, out}) fs::create_directory(folder);
        const std::string bin = platform::ParentFolder(platform::GetExecutablePath());
        for (const char* program : {"crash_child", "Crashwick"})
            fs::copy_file(bin + "/" + program, app + "/" + program);
        crashLog = out + "/crashwick.log";
        // Reachable by an unprivileged child too.
        for (const std::string& folder : {root, session, out}) chmod(folder.c_str(), 0777);
    }
    ~CrashFolder() {
        RemoveSessionEvent(session, "Kelvrin_Crashed");
        // A child run as nobody finds the session folder not its own and uses its folder in the
        // temporary one.
        const char* temporary = getenv("TMPDIR");
        platform::NamedEvent::RemoveIn(std::string(temporary && *temporary ? temporary : "/tmp") + "/relikorda-" +
                                           std::to_string(kNobody),
                                       "Kelvrin_Crashed");
        std::error_code ignored;
        fs::permissions(app, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(root, ignored);
    }

    // Runs crash_child with the arguments; its exit status as waitpid gives it. With asNobody, the
    // child runs as an unprivileged user (when this test runs as root).
    int Run(const std::vector<std::string>& arguments, std::string* output = nullptr, bool asNobody = false) {
        const std::string outFile = root + "/out/stdout";
        const pid_t child = fork();
        if (child == 0) {
            setenv("XDG_RUNTIME_DIR", session.c_str(), 1);
            setenv("RELIKORDA_CRASH_LOG", crashLog.c_str(), 1);
            if (freopen(outFile.c_str(), "w", stdout) == nullptr) _exit(120);
            if (asNobody && geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(121);
            std::vector<char*> argv{const_cast<char*>("crash_child")};
            for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            execv((app + "/crash_child").c_str(), argv.data());
            _exit(122);
        }
        int status = 0;
        waitpid(child, &status, 0);
        if (output) *output = ReadText(outFile);
        return status;
    }

    // Crashwick runs on after the crashed program: its line comes when it comes.
    std::string WaitForCrashwick() const {
        std::string line;
        for (int tries = 0; tries < 500 && (line = ReadText(crashLog)).empty(); ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return line;
    }
};

}  // namespace

TEST(CrashHandlerTest, ACrashWritesTheDumpSignalsTheEventAndStartsCrashwick) {
    CrashFolder folder;
    std::string page;
    const int status = folder.Run({"segv"}, &page);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);  // the process still ends by its signal
    const std::string dump = ReadText(folder.app + "/KVRN0.dmp");
    EXPECT_EQ(dump.rfind("Kelvrin crash dump\n", 0), 0u);
    EXPECT_NE(dump.find("\nsignal 11\n"), std::string::npos);
    ASSERT_FALSE(page.empty());
    EXPECT_NE(dump.find("\naddress " + page), std::string::npos) << page;
    EXPECT_NE(dump.find("crash_child"), std::string::npos);  // the memory map names the program
    EXPECT_EQ(folder.WaitForCrashwick(), "Crashwick started; dump: " + folder.app + "/KVRN0.dmp\n");

    setenv("XDG_RUNTIME_DIR", folder.session.c_str(), 1);
    platform::NamedEvent crashed;
    ASSERT_TRUE(crashed.Create("Kelvrin_Crashed"));
    EXPECT_TRUE(crashed.Wait(1000));
    EXPECT_FALSE(crashed.Wait(0));  // posted once
    unsetenv("XDG_RUNTIME_DIR");
}

TEST(CrashHandlerTest, WithAnUnwritableFolderNoDumpButCrashwickStillStarts) {
    CrashFolder folder;
    chmod(folder.app.c_str(), 0555);
    const int status = folder.Run({"segv"}, nullptr, true);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(folder.WaitForCrashwick(), "Crashwick started; dump: none\n");
    EXPECT_FALSE(fs::exists(folder.app + "/KVRN0.dmp"));
}

TEST(CrashHandlerTest, DumpsAreNumberedPerProcessAndTheLogIsCutAndAppended) {
    CrashFolder folder;
    std::string output;
    ASSERT_EQ(folder.Run({"dumps"}, &output), 0);
    EXPECT_EQ(output, "0 0\n");
    EXPECT_TRUE(fs::exists(folder.app + "/KVRN0.dmp"));
    EXPECT_TRUE(fs::exists(folder.app + "/KVRN1.dmp"));

    // "HH:MM:SS " and at most 2000 characters of text.
    ASSERT_EQ(folder.Run({"log", "10"}, &output), 0);
    EXPECT_EQ(output, "20\n");
    ASSERT_EQ(folder.Run({"log", "3000"}, &output), 0);
    EXPECT_EQ(output, "2009\n");
    const std::string log = ReadText(folder.app + "/PR.log");
    ASSERT_EQ(log.size(), 20u + 2009u);  // grown across the two runs
    EXPECT_EQ(log.substr(0, 20).substr(8), " xxxxxxxxxx\n");
    EXPECT_EQ(log.back(), 'x');  // the cut took the line end too
}

TEST(SingleInstanceTest, OnlyTheRestartSwitchAloneWaitsForTheFirstInstance) {
    struct Switch {
        std::vector<const char*> argv;
        bool restart;
    } switches[] = {{{"Kelvrin", "-R"}, true}, {{"Kelvrin"}, false}, {{"Kelvrin", "-r"}, false},
                    {{"Kelvrin", "-R", "x"}, false}, {{"Kelvrin", "-RR"}, false}};
    for (const Switch& s : switches)
        EXPECT_EQ(IsRestartSwitch(static_cast<int>(s.argv.size()), const_cast<char**>(s.argv.data())), s.restart)
            << s.argv.size();

    const std::string session = MakeTempFolder();
    setenv("XDG_RUNTIME_DIR", session.c_str(), 1);
    auto first = std::make_unique<platform::NamedMutex>();
    ASSERT_EQ(first->Create("KVRN_Mutex_473192_Tamsk"), platform::NamedMutex::Open::Owned);
    EXPECT_TRUE(IsAnotherInstanceRunning(false));
    // A restarted instance goes on once the first ends within its wait.
    std::thread ending([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        first.reset();
    });
    const gint64 start = g_get_monotonic_time();
    EXPECT_FALSE(IsAnotherInstanceRunning(true));
    EXPECT_LT(g_get_monotonic_time() - start, 5000000);
    ending.join();
    // ...and gives the name up again, so the next start is not refused.
    platform::NamedMutex next;
    EXPECT_EQ(next.Create("KVRN_Mutex_473192_Tamsk"), platform::NamedMutex::Open::Owned);
    EXPECT_TRUE(IsAnotherInstanceRunning(false));
    next.Close();
    EXPECT_FALSE(IsAnotherInstanceRunning(false));  // this process holds the name from now on
    platform::NamedMutex third;
    EXPECT_EQ(third.Create("KVRN_Mutex_473192_Tamsk"), platform::NamedMutex::Open::AlreadyExists);
    EXPECT_FALSE(third.Wait(100));
    unsetenv("XDG_RUNTIME_DIR");
}
