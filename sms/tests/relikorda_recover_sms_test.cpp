// relikorda-recover on phones with SMS/MMS databases: conversations, renderings and attachments
// land below the output folder, named from the contacts when there are any.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

// Under AddressSanitizer the program's peak memory is the sanitizer's more than its own.
#if defined(__SANITIZE_ADDRESS__)
#define RK_TEST_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RK_TEST_UNDER_ASAN 1
#endif
#endif

namespace {

struct Result {
    int code = -1;
    std::string out;
};

Result Recover(const std::string& device, const std::string& out) {
    Result result;
    std::string command = std::string("'") + RK_RECOVER_PROGRAM + "' --device '" + device + "' --out '" + out +
                          "' 2>&1 < /dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
    int status = pclose(pipe);
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string TestData(const std::string& name) {
    const char* root = std::getenv("RK_TESTDATA");
    return std::string(root ? root : "testdata") + "/" + name;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

// The folder a run wrote into, as its first line names it.
std::string RunFolder(const Result& run) {
    if (run.out.compare(0, 7, "output ") != 0) return std::string();
    return run.out.substr(7, run.out.find('\n') - 7);
}

// The conversations a run wrote, documents and renderings each run together.
struct Written {
    std::string xml, text;
};
Written ReadConversations(const Result& run) {
    Written all;
    for (int id = 0; id < 1000; ++id) {
        char name[12];
        std::snprintf(name, sizeof name, "%04d", id);
        const std::string base = RunFolder(run) + "/sms/" + name;
        std::string xml = ReadFile(base + ".xml");
        if (xml.empty()) break;
        all.xml += xml;
        all.text += ReadFile(base + ".txt");
    }
    return all;
}

// One "sms" element of a document: its start tag and its text.
struct SmsElement {
    std::string tag, body;
};
std::vector<SmsElement> SmsElements(const std::string& xml) {
    std::vector<SmsElement> found;
    for (size_t at = xml.find("<sms "); at != std::string::npos; at = xml.find("<sms ", at + 1)) {
        SmsElement e;
        e.tag = xml.substr(at, xml.find('>', at) + 1 - at);
        const size_t text = xml.find("<text type=\"1\">", at);
        if (text != std::string::npos) {
            const size_t from = text + 15;
            e.body = xml.substr(from, xml.find("</text>", from) - from);
        }
        found.push_back(e);
    }
    return found;
}

std::string Phone(const std::string& name) { return TestData("sms_records/" + name); }

class RecoverSmsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/rk_recover_sms_XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        root_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + root_ + "'").c_str()); }
    std::string root_;
};

}  // namespace

TEST_F(RecoverSmsTest, FixturePhoneWithoutContacts) {
    Result run = Recover(TestData("sms_fixture/journal"), root_ + "/out");
    ASSERT_EQ(run.code, 0) << run.out;
    EXPECT_TRUE(Contains(run.out, "contacts: none")) << run.out;
    EXPECT_TRUE(Contains(run.out, "sms: done\n"));
    EXPECT_TRUE(Contains(run.out, "sms: 4 conversations,")) << run.out;

    // Ann, Ben, the snippet-only number and the made-up partner of the deleted MMS's parts (the
    // deleted SMS and the word-index text are recovered into Ben's and Ann's conversations).
    // Every conversation as a document and a rendering; its attachments beside.
    std::string sms = RunFolder(run) + "/sms";
    bool sawAnn = false;
    for (int id = 0; id < 4; ++id) {
        char name[8];
        std::snprintf(name, sizeof name, "%04d", id);
        std::string xml = ReadFile(sms + "/" + name + ".xml");
        std::string text = ReadFile(sms + "/" + name + ".txt");
        ASSERT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<sms_and_mms ", 0), 0u) << name;
        EXPECT_EQ(xml.find(" name=\""), std::string::npos);  // no contacts, no names
        if (Contains(xml, "number=\"+15550001\"")) {
            sawAnn = true;
            EXPECT_TRUE(Contains(text, "Conversation with +15550001: "));
            EXPECT_TRUE(Contains(text, "  Hi Ann &< welcome\n"));
            EXPECT_TRUE(Contains(text, "SMS to +15550001  [failed]\n  Could not send\n")) << text;
            EXPECT_EQ(ReadFile(std::string(sms) + "/" + name + "/image.jpg"),
                      ReadFile(TestData("sms_fixture/journal/fs/data/data/com.android.providers.telephony/"
                                        "app_parts/PART_1000")));
            EXPECT_EQ(platform::GetEntryKind(std::string(sms) + "/" + name + "/audio.ogg"), platform::EntryKind::File);
        }
    }
    EXPECT_TRUE(sawAnn);
    // The number that only a thread's snippet speaks of: its document as it stands.
    bool sawSnippet = false;
    for (int id = 0; id < 4; ++id) {
        char name[8];
        std::snprintf(name, sizeof name, "%04d", id);
        std::string xml = ReadFile(sms + "/" + name + ".xml");
        if (!Contains(xml, "number=\"+15550003\"")) continue;
        sawSnippet = true;
        EXPECT_EQ(xml,
                  "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
                  "<sms_and_mms number=\"+15550003\" total=\"1\" deleted_count=\"1\">\n"
                  "    <sms type=\"1\" date=\"1704708000\" send=\"1\" failed=\"0\" deleted=\"1\" kind=\"snippet\">\n"
                  "        <text type=\"1\">A snippet nobody keeps</text>\n"
                  "    </sms>\n"
                  "</sms_and_mms>\n");
    }
    EXPECT_TRUE(sawSnippet);
    EXPECT_EQ(platform::GetEntryKind(sms + "/0004.xml"), platform::EntryKind::Missing);
}

TEST_F(RecoverSmsTest, SamplePhoneNamesPartnersFromItsContacts) {
    Result run = Recover(TestData("sample_phone"), root_ + "/out");
    ASSERT_EQ(run.code, 0) << run.out;
    EXPECT_TRUE(Contains(run.out, "contacts: ")) << run.out;
    bool named = false;
    for (int id = 0; id < 100; ++id) {
        char name[8];
        std::snprintf(name, sizeof name, "%04d", id);
        std::string xml = ReadFile(RunFolder(run) + "/sms/" + name + ".xml");
        if (xml.empty()) break;
        named = named || Contains(xml, " name=\"");
    }
    EXPECT_TRUE(named);
}

TEST_F(RecoverSmsTest, WalVariantKeepsPendingAndDeletedMessages) {
    Result run = Recover(TestData("sms_fixture/wal"), root_ + "/out");
    ASSERT_EQ(run.code, 0) << run.out;
    std::string all;
    for (int id = 0; id < 100; ++id) {
        char name[8];
        std::snprintf(name, sizeof name, "%04d", id);
        std::string text = ReadFile(RunFolder(run) + "/sms/" + name + ".txt");
        if (text.empty()) break;
        all += text;
    }
    EXPECT_TRUE(Contains(all, "  Written after the base\n")) << all;   // only in the log
    EXPECT_TRUE(Contains(all, "[deleted]\n  Delete me soon\n")) << all;  // deleted after the base
    EXPECT_TRUE(Contains(all, "  This MMS was deleted\n")) << all;
    EXPECT_TRUE(Contains(all, "  Hi Ann &< welcome\n"));
}

// A body far beyond the most bytes a value may take (32 MiB): it is kept up to there, the log and
// standard error say so once, naming the row, and memory stays near a few times the kept bytes
// rather than growing with the body.
TEST_F(RecoverSmsTest, BodyBeyondTheValueCapIsCutAndSaidSo) {
    const long long kBody = 96ll << 20, kCap = 32ll << 20;
    const std::string databases = root_ + "/phone/fs/data/data/com.android.providers.telephony/databases";
    ASSERT_EQ(std::system(("mkdir -p '" + databases + "'").c_str()), 0);
    std::string sql = "sqlite3 '" + databases + "/mmssms.db' \".read " + std::string(RK_MMSSMS_SCHEMA) +
                      "\" \"INSERT INTO sms(_id, thread_id, address, date, type, body) VALUES "
                      "(1, 1, '+16505550101', 1600000000000, 1, 'short'), (2, 1, '+16505550101', 1600000060000, 1, "
                      "replace(hex(zeroblob(" + std::to_string(kBody / 2) + ")), '0', 'x'));\"";
    ASSERT_EQ(std::system(sql.c_str()), 0);

    // The run's own peak, not that of sqlite3 before it.
    const std::string out = root_ + "/out", errors = root_ + "/errors";
    ASSERT_EQ(std::system(("mkdir -p '" + out + "'").c_str()), 0);
    pid_t pid = fork();
    if (pid == 0) {
        freopen("/dev/null", "w", stdout);
        freopen(errors.c_str(), "w", stderr);
        execl(RK_RECOVER_PROGRAM, RK_RECOVER_PROGRAM, "--device", (root_ + "/phone").c_str(), "--out", out.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    struct rusage use {};
    ASSERT_EQ(wait4(pid, &status, 0, &use), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(errors);

    const std::string line = "warning: table sms, row 2 (page ";
    const std::string said = ReadFile(errors);
    EXPECT_TRUE(Contains(said, line) && Contains(said, "a value of " + std::to_string(kBody) + " bytes was cut at " +
                                                           std::to_string(kCap) + " bytes.\n"))
        << said;
    EXPECT_EQ(said.find("warning: "), said.rfind("warning: ")) << said;  // the one value cut, once
    FILE* list = popen(("ls -d '" + out + "'/*/").c_str(), "r");
    char folder[4096] = {};
    ASSERT_TRUE(list && std::fgets(folder, sizeof folder, list));
    pclose(list);
    std::string runFolder(folder);
    runFolder.erase(runFolder.find_last_not_of("/\n") + 1);
    EXPECT_TRUE(Contains(ReadFile(runFolder + "/relikorda.log"), line));
    const std::string xml = ReadFile(runFolder + "/sms/0000.xml");
    EXPECT_TRUE(Contains(xml, ">" + std::string(static_cast<size_t>(kCap), 'x') + "<"));
#ifndef RK_TEST_UNDER_ASAN
    EXPECT_LT(use.ru_maxrss, 10 * kCap / 1024) << "peak RSS " << use.ru_maxrss << " KiB";
#endif
}

// 10,000 messages of one thread, every third deleted, beside the thread's row: every message once,
// nothing made of the row's snippet (the row is older than the thread's messages and its snippet
// none of their texts).
TEST_F(RecoverSmsTest, EveryMessageOnceBesideTheThreadRow) {
    Result run = Recover(Phone("threads"), root_ + "/out");
    ASSERT_EQ(run.code, 0) << run.out;
    EXPECT_TRUE(Contains(run.out, "sms: 1 conversations, 10000 messages (3333 deleted), 0 attachments\n")) << run.out;
    EXPECT_FALSE(Contains(ReadConversations(run).xml, "A thread row kept by hand"));
}

// A deleted record whose body begins with zeros that a later write left: no message, and the log
// says how many such records were passed over.
TEST_F(RecoverSmsTest, ZeroedFragmentIsNoMessage) {
    Result run = Recover(Phone("fragment"), root_ + "/out");
    ASSERT_EQ(run.code, 0) << run.out;
    const Written all = ReadConversations(run);
    EXPECT_TRUE(Contains(all.text, "Conversation with +15550001: 2 messages, 0 deleted\n")) << all.text;
    EXPECT_FALSE(Contains(all.xml, "<text type=\"1\"></text>")) << all.xml;
    EXPECT_FALSE(Contains(all.text, "[failed]")) << all.text;
    EXPECT_TRUE(Contains(ReadFile(RunFolder(run) + "/relikorda.log"),
                         "Table sms: 1 deleted record passed over: a text column holds bytes that are no text."));
}

// Texts found alone, in a thread's snippet or the word index: the rendering says that their
// direction is unknown and that a snippet's date is its thread's; the documents keep their
// attributes and say where the text was found.
TEST_F(RecoverSmsTest, TextsFoundAloneHaveNoDirection) {
    Result run = Recover(Phone("fragment"), root_ + "/out");
    ASSERT_EQ(run.code, 0) << run.out;
    const Written all = ReadConversations(run);
    EXPECT_TRUE(Contains(all.text,
                         "2017-07-14 02:50:00 UTC (the thread's date)  SMS with +15550002, direction unknown, from "
                         "the thread's snippet  [deleted]\n  Seen only in the snippet\n"))
        << all.text;
    EXPECT_TRUE(Contains(all.text, ", direction unknown, from the word index  [deleted]\n  Kept only by the word index\n"))
        << all.text;
    EXPECT_TRUE(Contains(all.text, "date unknown  SMS with UnknownAdress")) << all.text;
    EXPECT_FALSE(Contains(all.text, "SMS to +15550002")) << all.text;
    EXPECT_TRUE(Contains(all.xml, "<sms type=\"1\" date=\"1500000600\" send=\"1\" failed=\"0\" deleted=\"1\" "
                                  "kind=\"snippet\">"))
        << all.xml;
    EXPECT_TRUE(Contains(all.xml, "<sms type=\"1\" date=\"0\" send=\"1\" failed=\"0\" deleted=\"1\" kind=\"index\">"))
        << all.xml;
}

// An sms table without its type column, as a reduced export keeps it: no message, live or deleted,
// is said to be sent or received; the documents say that the direction is unknown.
TEST_F(RecoverSmsTest, MessagesWithoutTypeHaveNoDirection) {
    const std::string databases = root_ + "/phone/fs/data/data/com.android.providers.telephony/databases";
    ASSERT_EQ(std::system(("mkdir -p '" + databases + "'").c_str()), 0);
    const std::string sql =
        "sqlite3 '" + databases + "/mmssms.db' \"PRAGMA secure_delete = OFF; CREATE TABLE sms (_id INTEGER PRIMARY "
        "KEY, thread_id INTEGER, address TEXT, date INTEGER, body TEXT); INSERT INTO sms VALUES "
        "(1, 1, '+16505550101', 1600000000000, 'Kept without a type'), "
        "(2, 1, '+16505550101', 1600000060000, 'Deleted without a type'), "
        "(3, 1, '+16505550101', 1600000120000, 'Also kept'); DELETE FROM sms WHERE _id = 2;\"";
    ASSERT_EQ(std::system(sql.c_str()), 0);
    Result run = Recover(root_ + "/phone", root_ + "/out");
    ASSERT_EQ(run.code, 0) << run.out;
    const Written all = ReadConversations(run);
    for (const char* body : {"Kept without a type", "Deleted without a type", "Also kept"})
        EXPECT_TRUE(Contains(all.text, std::string("SMS with +16505550101, direction unknown") +
                                           (body[0] == 'D' ? "  [deleted]\n  " : "\n  ") + body + "\n"))
            << body << "\n" << all.text;
    EXPECT_FALSE(Contains(all.text, "SMS to ") || Contains(all.text, "SMS from ")) << all.text;
    EXPECT_EQ(SmsElements(all.xml).size(), 3u) << all.xml;
    for (const SmsElement& e : SmsElements(all.xml)) EXPECT_TRUE(Contains(e.tag, " kind=\"unknown\"")) << e.tag;
}

// Long deleted messages whose overflow pages were freed (OUT/long), then some of those pages taken
// by a later message (OUT/long-taken): each whose start the file still holds comes back with at
// least what its page holds of it (its first 1,000 characters when the page holds that many), its
// own text and nothing else, marked cut exactly when it is not whole; no other deleted message
// appears. A message whole before the later write is cut after it.
TEST_F(RecoverSmsTest, LongDeletedMessagesKeepWhatTheirPagesHold) {
    std::vector<std::string> whole[2];
    const char* const phones[] = {"long", "long-taken"};
    for (int p = 0; p < 2; ++p) {
        SCOPED_TRACE(phones[p]);
        Result run = Recover(Phone(phones[p]), root_ + "/out-" + phones[p]);
        ASSERT_EQ(run.code, 0) << run.out;
        const Written all = ReadConversations(run);
        const std::vector<SmsElement> messages = SmsElements(all.xml);
        const std::string db =
            ReadFile(Phone(phones[p]) + "/fs/data/data/com.android.providers.telephony/databases/mmssms.db");
        std::ifstream list(Phone(phones[p]) + "/deleted.txt");
        int held = 0, cut = 0;
        for (std::string body; std::getline(list, body);) {
            const std::string name = body.substr(0, 3);
            const size_t at = db.find(body.substr(0, 32));
            if (at == std::string::npos) continue;  // SQLite's own moves wrote over its start
            ++held;
            size_t onPage = 0;
            while (onPage < 1000 && onPage < body.size() && at + onPage < db.size() && db[at + onPage] == body[onPage])
                ++onPage;
            const SmsElement* found = nullptr;
            for (const SmsElement& m : messages)
                if (m.body.compare(0, 32, body, 0, 32) == 0) found = &m;
            ASSERT_NE(found, nullptr) << name << " did not come back";
            EXPECT_TRUE(Contains(found->tag, " deleted=\"1\"")) << found->tag;
            EXPECT_EQ(body.compare(0, found->body.size(), found->body), 0) << name << ": not its text";
            EXPECT_GE(found->body.size(), onPage) << name;
            const bool complete = found->body.size() == body.size();
            cut += !complete;
            EXPECT_EQ(Contains(found->tag, " cut=\"1\""), !complete) << found->tag;
            if (complete) whole[p].push_back(name);
        }
        EXPECT_GE(held, 6);
        EXPECT_GE(cut, 1);
        EXPECT_TRUE(Contains(all.xml, "deleted_count=\"" + std::to_string(held) + "\"")) << all.xml.substr(0, 200);
        EXPECT_TRUE(Contains(all.text, "[cut]  [deleted]\n  m"));
    }
    // The later message took overflow pages of a deleted one that was whole before.
    EXPECT_LT(whole[1].size(), whole[0].size());
    for (const std::string& name : whole[1])
        EXPECT_NE(std::find(whole[0].begin(), whole[0].end(), name), whole[0].end()) << name;
}
