// relikorda-recover on phones whose databases sqlite3 made and storage then damaged (a page
// zeroed, a page's type changed, the free list pointing past the end, the first page lost),
// scored against sqlite3 on the sound copy: the damage is said on standard error and in the exit
// status, and a lost page costs only the live rows it held.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/StringConversion.h"
#include "sqlite_recovery/framework/FileUtils.h"

extern char** environ;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The lines sqlite3 prints for the query on the database.
std::set<std::string> Sqlite3Lines(const std::string& db, const std::string& query) {
    std::set<std::string> lines;
    FILE* pipe = popen(("sqlite3 -readonly '" + db + "' \"" + query + "\"").c_str(), "r");
    if (!pipe) return lines;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n') text.pop_back();
        lines.insert(text);
    }
    pclose(pipe);
    return lines;
}

// Every file of the folder (recursively) whose name ends so.
std::vector<std::string> FilesEnding(const std::string& folder, const std::string& suffix) {
    std::vector<std::string> files;
    FILE* pipe = popen(("find '" + folder + "' -type f -name '*" + suffix + "'").c_str(), "r");
    char line[4096];
    while (pipe && std::fgets(line, sizeof line, pipe)) {
        std::string path(line);
        if (!path.empty() && path.back() == '\n') path.pop_back();
        files.push_back(path);
    }
    if (pipe) pclose(pipe);
    return files;
}

// The texts of the messages of the run's conversation documents, live and deleted apart.
void MessageTexts(const std::string& run, std::set<std::string>* live, std::set<std::string>* deleted) {
    for (const std::string& file : FilesEnding(run, ".xml")) {
        if (file.find("/sms/") == std::string::npos) continue;
        const std::string xml = ReadAll(file);
        for (size_t at = xml.find("<sms "); at != std::string::npos; at = xml.find("<sms ", at + 1)) {
            const size_t tag = xml.find('>', at);
            const bool gone = xml.compare(xml.find("deleted=", at), 11, "deleted=\"1\"") == 0;
            const std::string open = "<text type=\"1\">";
            const size_t text = xml.find(open, tag), end = xml.find("</text>", text);
            if (text == std::string::npos || end == std::string::npos) break;
            (gone ? deleted : live)->insert(xml.substr(text + open.size(), end - text - open.size()));
        }
    }
}

// The names of the run's live and deleted contacts (the vCards' FN).
void ContactNames(const std::string& run, std::set<std::string>* live, std::set<std::string>* deleted) {
    for (const std::string& file : FilesEnding(run, "contacts.vcf")) {
        std::stringstream cards(ReadAll(file));
        std::string line, name;
        bool gone = false;
        while (std::getline(cards, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.compare(0, 3, "FN:") == 0) name = line.substr(3);
            if (line == "X-RELIKORDA-DELETED:TRUE") gone = true;
            if (line == "END:VCARD") {
                (gone ? deleted : live)->insert(name);
                gone = false;
            }
        }
    }
}

struct RunResult {
    int code = -1;
    std::string err;
};

RunResult Recover(const std::string& phone, const std::string& out) {
    std::vector<std::string> all{RK_RECOVER_PROGRAM, "--device", phone, "--out", out};
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    const std::string errFile = out + ".stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    RunResult run;
    pid_t pid;
    int status = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0 && waitpid(pid, &status, 0) == pid &&
        WIFEXITED(status))
        run.code = WEXITSTATUS(status);
    posix_spawn_file_actions_destroy(&actions);
    run.err = ReadAll(errFile);
    return run;
}

struct Case {
    const char* phone;
    bool sms;
    int exitCode;
    const char* said;          // on standard error; null: nothing of the database's damage is
    double leastLiveShare;     // of sqlite3's live rows, at least this share back live (besides
                               // the rows the damaged page held, which are not asked for)
};

TEST(DamagedDatabase, DamageIsSaidAndCostsOnlyItsPage) {
    const char* testdata = std::getenv("RK_TESTDATA");
    ASSERT_NE(testdata, nullptr);
    const std::string root = std::string(testdata) + "/damaged_databases";
    char pattern[] = "/tmp/rk_damaged_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string temp = pattern;
    const std::set<std::string> liveTexts = Sqlite3Lines(root + "/sound/mmssms.db", "SELECT body FROM sms");
    const std::set<std::string> liveNames =
        Sqlite3Lines(root + "/sound/contacts2.db", "SELECT display_name FROM raw_contacts WHERE deleted=0");
    ASSERT_GT(liveTexts.size(), 1000u);
    ASSERT_GT(liveNames.size(), 150u);

    const Case cases[] = {
        {"sms-sound", true, 0, nullptr, 1.0},
        {"sms-leaf", true, 10, "mmssms.db was read only in part: 1 of its", 1.0},
        {"sms-interior", true, 10, "mmssms.db was read only in part: 1 of its", 1.0},
        {"sms-type", true, 10, "mmssms.db was read only in part: 1 of its", 1.0},
        {"sms-trunk", true, 10, "mmssms.db was read only in part: 1 of its", 1.0},
        {"contacts-sound", false, 0, nullptr, 1.0},
        // Beyond a lost page of a tree: without the header and schema, by the tables' known layout.
        {"contacts-page1", false, 9, "contacts2.db was read only in part: its first page", 0.9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.phone);
        const std::string out = temp + "/" + c.phone;
        const RunResult run = Recover(root + "/" + c.phone, out);
        EXPECT_EQ(run.code, c.exitCode) << run.err;
        if (c.said) EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
        else EXPECT_EQ(run.err.find("read only in part"), std::string::npos) << run.err;

        std::set<std::string> live, deleted;
        if (c.sms) MessageTexts(out, &live, &deleted);
        else ContactNames(out, &live, &deleted);
        const std::set<std::string>& oracle = c.sms ? liveTexts : liveNames;
        size_t back = 0, shownDeleted = 0;
        for (const std::string& row : oracle) {
            back += live.count(row);
            shownDeleted += !live.count(row) && deleted.count(row);
        }
        // The rows on the damaged page are gone; every other live row is read, and none is a
        // deleted one.
        const long lost = std::atol(ReadAll(root + "/" + c.phone + ".rows").c_str());
        EXPECT_GE(static_cast<double>(back), c.leastLiveShare * static_cast<double>(oracle.size() - lost));
        EXPECT_EQ(shownDeleted, 0u);
        for (const std::string& row : live) EXPECT_TRUE(oracle.count(row)) << "live, yet not in sqlite3's rows: " << row;
    }
    DeleteFolderTree(platform::Utf8ToWide(temp));
}

}  // namespace
