// Tallowin run as the installer runs it, with the statistics stand-in's log, a registry file and
// the debug output each in a scratch folder.
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

struct Outcome {
    int exitCode = -1;
    std::string out, err;
    std::vector<std::string> stats, debug;
};

// Runs program with the arguments; registry is the registry file's text (none when empty).
Outcome RunTallowin(const std::string& program, const std::vector<std::string>& arguments, const std::string& registry) {
    char pattern[] = "/tmp/rk_tallowin_XXXXXX";
    const std::string folder = mkdtemp(pattern);
    std::vector<std::string> env = {"RELIKORDA_STATS_LOG=" + folder + "/stats.log",
                                    "RELIKORDA_LOG=" + folder + "/debug.log", "PATH=/usr/bin:/bin"};
    if (!registry.empty()) {
        std::ofstream(folder + "/registry.ini") << registry;
        env.push_back("RELIKORDA_REGISTRY=" + folder + "/registry.ini");
    }
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(&entry[0]);
    envp.push_back(nullptr);
    Outcome run;
    gchar *out = nullptr, *err = nullptr;
    gint status = -1;
    if (g_spawn_sync(folder.c_str(), argv.data(), envp.data(), G_SPAWN_DEFAULT, nullptr, nullptr, &out, &err, &status,
                     nullptr) &&
        WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    run.out = out ? out : "";
    run.err = err ? err : "";
    g_free(out);
    g_free(err);
    run.stats = Lines(ReadFile(folder + "/stats.log"));
    run.debug = Lines(ReadFile(folder + "/debug.log"));
    fs::remove_all(folder);
    return run;
}

const std::string kConsent = "[HKEY_LOCAL_MACHINE\\Software\\VORLIX\\Relikorda for Android]\nImprovement=1\n";
const std::vector<std::string> kFinish = {"GetSmartSpy", "TextW 3584 (null)", "Pair 3 5", "Finish"};

std::vector<std::string> Then(std::vector<std::string> first, const std::vector<std::string>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

}  // namespace

TEST(TallowinTest, SendsTheEventTheArgumentAsksForWithTheConsentOfTheRegistry) {
    const std::string longWord(124, 'w');  // "0\" and 124 characters: 126 in all
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        std::string registry;
        std::vector<std::string> stats;
        int joined;
    } cases[] = {
        {"a number", {"5\\word"}, kConsent, Then({"SpySetTextEx 12306 word"}, kFinish), 1},
        {"zero, consent", {"0\\word"}, kConsent, Then({"InstallSpy 1 0", "SpySetTextEx 12307 word"}, kFinish), 1},
        {"not a number, no registry", {"x\\word"}, "",
         Then({"InstallSpy 0 0", "SpySetTextEx 12307 word"}, kFinish), 0},
        {"the value missing", {"0\\w"}, "[HKEY_LOCAL_MACHINE\\Software\\VORLIX\\Relikorda for Android]\nOther=1\n",
         Then({"InstallSpy 0 0", "SpySetTextEx 12307 w"}, kFinish), 0},
        {"another key", {"0\\w"}, "[HKEY_LOCAL_MACHINE\\Software\\VORLIX\\Other]\nImprovement=1\n",
         Then({"InstallSpy 0 0", "SpySetTextEx 12307 w"}, kFinish), 0},
        // Keys and names without regard to case; any contents count, as long as they fit 32 bytes.
        {"other case", {"0\\w"}, "[hkey_local_machine\\SOFTWARE\\vorlix\\relikorda for android]\nimprovement=no\n",
         Then({"InstallSpy 1 0", "SpySetTextEx 12307 w"}, kFinish), 1},
        {"15 characters fit", {"0\\w"}, kConsent + "Improvement=123456789012345\n",
         Then({"InstallSpy 1 0", "SpySetTextEx 12307 w"}, kFinish), 1},
        {"16 do not", {"0\\w"}, kConsent + "Improvement=1234567890123456\n",
         Then({"InstallSpy 0 0", "SpySetTextEx 12307 w"}, kFinish), 0},
        {"a number value", {"0\\w"}, kConsent + "Improvement=dword:00000000\n",
         Then({"InstallSpy 1 0", "SpySetTextEx 12307 w"}, kFinish), 1},
        {"blanks and a sign", {" -7\\a\\b c"}, kConsent, Then({"SpySetTextEx 12306 a\\b c"}, kFinish), 1},
        {"an empty text", {"5\\"}, kConsent, Then({"SpySetTextEx 12306 "}, kFinish), 1},
        {"126 characters", {"0\\" + longWord}, kConsent,
         Then({"InstallSpy 1 0", "SpySetTextEx 12307 " + longWord}, kFinish), 1},
        {"127 characters", {"0\\" + longWord + "w"}, kConsent, kFinish, 1},
        {"no backslash", {"5word"}, kConsent, kFinish, 1},
        {"a second argument is not looked at", {"5\\a", "0\\b"}, kConsent, Then({"SpySetTextEx 12306 a"}, kFinish), 1},
        {"no argument", {}, kConsent, {}, 1},
    };
    for (const Case& c : cases) {
        const Outcome run = RunTallowin(TALLOWIN_PATH, c.arguments, c.registry);
        EXPECT_EQ(run.exitCode, 0) << c.name;
        EXPECT_EQ(run.out + run.err, "") << c.name;
        EXPECT_EQ(run.stats, c.stats) << c.name;
        const int argc = static_cast<int>(c.arguments.size()) + 1;
        std::vector<std::string> debug = {"install spy argc = " + std::to_string(argc) +
                                          ", isjoined = " + std::to_string(c.joined)};
        if (argc > 1) {
            debug.push_back(TALLOWIN_PATH);
            debug.push_back(c.arguments[0]);
        }
        EXPECT_EQ(run.debug, debug) << c.name;
    }
}

TEST(TallowinTest, WithoutTheStatisticsLibraryItStillEndsWithZero) {
    char pattern[] = "/tmp/rk_tallowin_alone_XXXXXX";
    const std::string folder = mkdtemp(pattern);
    const std::string alone = folder + "/Tallowin";
    fs::copy_file(TALLOWIN_PATH, alone);
    for (const char* argument : {"5\\word", "0\\word"}) {
        const Outcome run = RunTallowin(alone, {argument}, kConsent);
        EXPECT_EQ(run.exitCode, 0) << argument;
        EXPECT_EQ(run.out + run.err, "") << argument;
        EXPECT_TRUE(run.stats.empty()) << argument;
        EXPECT_EQ(run.debug.size(), 3u) << argument;
    }
    fs::remove_all(folder);
}
