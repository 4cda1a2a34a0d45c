// relikorda-recover's contacts job on the sample phone: the XML documents and the vCard file that
// a user takes away.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <tinyxml.h>

#include "platform/FileSystem.h"

extern char** environ;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

class ContactsJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* root = std::getenv("RK_TESTDATA");
        ASSERT_NE(root, nullptr);
        testdata_ = root;
        char name[] = "/tmp/rk_contacts_job_XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        temp_ = name;
    }
    void TearDown() override { std::system(("rm -rf " + temp_).c_str()); }

    int Run(const std::string& device, const std::string& out, std::string* output) {
        std::vector<std::string> args{RK_RECOVER_PROGRAM, "--device", device, "--out", out};
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(&arg[0]);
        argv.push_back(nullptr);
        std::string file = temp_ + "/stdout";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid;
        int status = 0, code = -1;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0 && waitpid(pid, &status, 0) == pid &&
            WIFEXITED(status))
            code = WEXITSTATUS(status);
        posix_spawn_file_actions_destroy(&actions);
        *output = ReadAll(file);
        return code;
    }

    std::string testdata_, temp_;
};

}  // namespace

// The folder a run wrote into, as its first line names it.
std::string RunFolder(const std::string& report) {
    if (report.compare(0, 7, "output ") != 0) return std::string();
    return report.substr(7, report.find('\n') - 7);
}

TEST_F(ContactsJobTest, WritesEveryContactAsXmlAndVCard) {
    std::string report;
    ASSERT_EQ(Run(testdata_ + "/sample_phone", temp_ + "/out", &report), 0) << report;
    std::string out = RunFolder(report);
    ASSERT_EQ(platform::ParentFolder(out), temp_ + "/out") << report;
    EXPECT_NE(report.find("contacts: 50%\n"), std::string::npos) << report;
    EXPECT_NE(report.find("contacts: done\n"), std::string::npos) << report;
    EXPECT_NE(report.find("contacts: 6 live, 4 deleted\n"), std::string::npos) << report;

    std::vector<std::string> names;
    ASSERT_TRUE(platform::ListDirectory(out + "/contacts", names));
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 10u);
    int deletedDocuments = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "%04zu.xml", i);
        EXPECT_EQ(names[i], expected);
        TiXmlDocument document;
        ASSERT_TRUE(document.LoadFile((out + "/contacts/" + names[i]).c_str())) << names[i];
        ASSERT_NE(document.RootElement(), nullptr);
        EXPECT_STREQ(document.RootElement()->Value(), "contact");
        deletedDocuments += std::string(document.RootElement()->Attribute("deleted")) == "1";
    }
    EXPECT_EQ(deletedDocuments, 4);

    std::string cards = ReadAll(out + "/contacts.vcf");
    EXPECT_EQ(Count(cards, "BEGIN:VCARD\r\nVERSION:3.0\r\n"), 10u);
    EXPECT_EQ(Count(cards, "END:VCARD\r\n"), 10u);
    EXPECT_EQ(Count(cards, "X-RELIKORDA-DELETED:TRUE\r\n"), 4u);
    EXPECT_EQ(Count(cards, "\n"), Count(cards, "\r\n"));
    // Folded lines: none longer than 75 bytes.
    std::istringstream lines(cards);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 76u) << line;  // with its CR
    for (const char* expected : {"FN:Alice Anders\r\n", "TEL;TYPE=X-BOAT:650-555-0199\r\n",
                                 "EMAIL;TYPE=INTERNET,HOME:alice@example.com\r\n", "ORG:Acme Corp\r\n",
                                 "TITLE:Chief Engineer\r\n", "BDAY:1984-07-21\r\n", "X-SIP:alice@sip.example.com\r\n",
                                 "NOTE:Met at the conference\\; likes <tea> & cake\r\n", "CATEGORIES:My Contacts,Family\r\n",
                                 "PHOTO;ENCODING=b;TYPE=JPEG:/9j/", "FN:Frank Foster\r\n", "FN:Henry Holt\r\n"})
        EXPECT_NE(cards.find(expected), std::string::npos) << expected;
}

TEST_F(ContactsJobTest, ADeviceWithoutContactsHasNone) {
    std::string report;
    ASSERT_EQ(Run(testdata_ + "/sample_phone/storage/sdcard.img", temp_ + "/out", &report), 0) << report;
    EXPECT_NE(report.find("contacts: none"), std::string::npos) << report;
    EXPECT_EQ(platform::GetEntryKind(RunFolder(report) + "/contacts.vcf"), platform::EntryKind::Missing);
    EXPECT_EQ(platform::GetEntryKind(RunFolder(report)), platform::EntryKind::Directory);
}

TEST_F(ContactsJobTest, DeletedContactsWhoseNameRowSurvivesComeBackByNameOnce) {
    // deleted_contacts: 24 contacts, 10 deleted; with secure_delete off (rollback, wal) every
    // deleted name row survives somewhere; with the phone's settings (android) some do, in the
    // main file's older pages. Every contact comes back once at most, each live one and each
    // deleted one whose name row survives exactly once.
    for (const char* variant : {"rollback", "wal", "android"}) {
        SCOPED_TRACE(variant);
        const std::string folder = testdata_ + "/deleted_contacts/" + variant;
        std::string files;
        for (const char* suffix : {"", "-wal"})
            files += ReadAll(folder + "/device/fs/data/data/com.android.providers.contacts/databases/contacts2.db" +
                             suffix);
        std::string report;
        ASSERT_EQ(Run(folder + "/device", temp_ + "/" + variant, &report), 0) << report;
        const std::string cards = ReadAll(RunFolder(report) + "/contacts.vcf");
        std::istringstream list(ReadAll(folder + "/contacts.tsv"));
        size_t deleted = 0, surviving = 0;
        for (std::string line; std::getline(list, line);) {
            std::istringstream fields(line);
            std::string state, name, needle, bytes;
            std::getline(fields, state, '\t');
            std::getline(fields, name, '\t');
            std::getline(fields, needle, '\t');
            for (size_t i = 0; i + 1 < needle.size(); i += 2)
                bytes += static_cast<char>(std::stoi(needle.substr(i, 2), nullptr, 16));
            const size_t times = Count(cards, "FN:" + name + "\r\n");
            if (state == "live") {
                EXPECT_EQ(times, 1u) << name;
                continue;
            }
            ++deleted;
            const bool survives = files.find(bytes) != std::string::npos;
            surviving += survives;
            EXPECT_EQ(times, survives ? 1u : 0u) << name;
        }
        EXPECT_EQ(deleted, 10u);
        EXPECT_EQ(surviving, std::string(variant) == "android" ? 4u : 10u);
        EXPECT_EQ(Count(cards, "BEGIN:VCARD"), 14u + surviving);
    }
}

TEST_F(ContactsJobTest, EveryDeletedContactOfAManyComesBackByName) {
    // The bench's 9,000 contacts with 2,700 removed; names repeat among them, and the last ones
    // removed kept only their raw_contacts rows, or those and some data rows without the name.
    const std::string folder = testdata_ + "/contact_devices/many_deleted";
    std::string report;
    ASSERT_EQ(Run(folder + "/device", temp_ + "/out", &report), 0) << report;
    EXPECT_NE(report.find("contacts: 6300 live, 2700 deleted\n"), std::string::npos) << report;
    std::map<std::string, int> wanted, found;
    std::istringstream list(ReadAll(folder + "/deleted.txt"));
    for (std::string line; std::getline(list, line);) ++wanted[line];
    const std::string cards = ReadAll(RunFolder(report) + "/contacts.vcf");
    for (size_t at = cards.find("BEGIN:VCARD"); at != std::string::npos; at = cards.find("BEGIN:VCARD", at + 1)) {
        const std::string card = cards.substr(at, cards.find("END:VCARD", at) - at);
        if (card.find("X-RELIKORDA-DELETED:TRUE") == std::string::npos) continue;
        const size_t fn = card.find("\r\nFN:") + 5;
        ++found[card.substr(fn, card.find("\r\n", fn) - fn)];
    }
    EXPECT_EQ(found, wanted);
}

TEST_F(ContactsJobTest, ContactsAreWrittenAsStored) {
    // Ida's raw contact is in no contact yet (contact_id NULL): live, as all her rows are. Sal's
    // name and note keep their blanks, tab and line breaks in the XML and, escaped, in the vCard.
    std::string report;
    ASSERT_EQ(Run(testdata_ + "/contact_devices/as_stored/device", temp_ + "/out", &report), 0) << report;
    EXPECT_NE(report.find("contacts: 2 live, 0 deleted\n"), std::string::npos) << report;
    const std::string out = RunFolder(report);
    std::string documents;
    for (const char* name : {"/contacts/0000.xml", "/contacts/0001.xml"}) documents += ReadAll(out + name);
    EXPECT_EQ(Count(documents, "deleted=\"1\""), 0u) << documents;
    EXPECT_EQ(Count(documents, "<contact deleted=\"0\">"), 2u) << documents;
    EXPECT_NE(documents.find("given=\"Sal\">  Sal   Space </value>"), std::string::npos) << documents;
    EXPECT_NE(documents.find("<title res=\"7681\"> a  b&#x09;c;&#x0D;&#x0A;d&#x0A;  </title>"), std::string::npos)
        << documents;
    const std::string cards = ReadAll(out + "/contacts.vcf");
    EXPECT_EQ(Count(cards, "X-RELIKORDA-DELETED"), 0u) << cards;
    for (const char* line : {"\r\nFN:Ida Import\r\n", "\r\nTEL;TYPE=CELL:+1 650-555-0142\r\n", "\r\nFN:  Sal   Space \r\n",
                             "\r\nNOTE: a  b\tc\\;\\nd\\n  \r\n"})
        EXPECT_NE(cards.find(line), std::string::npos) << line << cards;
}

namespace {

// The cards of a vCard file: FN, the TEL values and whether the card is marked deleted.
struct Card {
    std::string name;
    std::vector<std::string> numbers;
    bool deleted = false;
};

std::vector<Card> ReadCards(std::string text) {
    for (size_t at = text.find("\r\n "); at != std::string::npos; at = text.find("\r\n ", at)) text.erase(at, 3);
    std::vector<Card> cards;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "BEGIN:VCARD") cards.emplace_back();
        if (cards.empty()) continue;
        if (line.compare(0, 3, "FN:") == 0) cards.back().name = line.substr(3);
        if (line.compare(0, 3, "TEL") == 0) cards.back().numbers.push_back(line.substr(line.find(':') + 1));
        if (line == "X-RELIKORDA-DELETED:TRUE") cards.back().deleted = true;
    }
    return cards;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

}  // namespace

TEST_F(ContactsJobTest, ALiveRowIsNeverADeletedContact) {
    // Databases whose pages hold old copies of live rows (pages split and merged, raw contacts moved
    // to other contacts), a log of edits, a data leaf zeroed, and no database at all; each scored
    // against sqlite3's reading of the sound database (live.tsv: raw contact, name, numbers).
    const struct {
        const char* variant;
        int status;
        bool ran;           // the job ran to its end (read in part when its status is not 0)
        const char* lines;  // expected on standard output
    } kCases[] = {
        {"copies", 0, true, "contacts: done\ncontacts: 288 live, 12 deleted\n"},
        {"edits", 0, true, "contacts: done\ncontacts: 300 live, 0 deleted\n"},
        {"zeroed", 9, true, "contacts: done\ncontacts: 288 live, 12 deleted; the database was read only in part\n"},
        {"not_a_database", 9, false, "contacts: failed (error 1); what was found before the failure is kept\n"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.variant);
        const std::string folder = testdata_ + "/stale_rows/" + c.variant;
        std::string report;
        EXPECT_EQ(Run(folder + "/device", temp_ + "/" + c.variant, &report), c.status) << report;
        EXPECT_NE(report.find(c.lines), std::string::npos) << report;
        EXPECT_EQ(c.ran, report.find("contacts: done") != std::string::npos) << report;
        if (!c.ran) continue;
        std::set<std::string> liveNames, liveNumbers, deletedNames;
        for (const std::string& line : Lines(ReadAll(folder + "/live.tsv"))) {
            std::istringstream fields(line);
            std::string raw, name, number;
            std::getline(fields, raw, '\t');
            std::getline(fields, name, '\t');
            liveNames.insert(name);
            while (std::getline(fields, number, '\t')) liveNumbers.insert(number);
        }
        std::set<std::string> earlier;
        for (const std::string& value : Lines(ReadAll(folder + "/earlier.txt"))) earlier.insert(value);
        std::set<std::string> liveCards;
        const std::string cards = ReadAll(RunFolder(report) + "/contacts.vcf");
        for (const Card& card : ReadCards(cards)) {
            if (!card.deleted) {
                liveCards.insert(card.name);
                // A number from before an edit is no number the contact has now.
                for (const std::string& number : card.numbers) EXPECT_EQ(earlier.count(number), 0u) << number;
                continue;
            }
            deletedNames.insert(card.name);
            // No deleted card is a live contact's copy or its version before an edit.
            EXPECT_EQ(liveNames.count(card.name) + earlier.count(card.name) + liveNumbers.count(card.name), 0u)
                << card.name;
            for (const std::string& number : card.numbers)
                EXPECT_EQ(liveNumbers.count(number) + earlier.count(number), 0u) << card.name << " " << number;
        }
        for (const std::string& name : liveNames) EXPECT_EQ(liveCards.count(name), 1u) << name << " not live";
        // It is kept, as an earlier value.
        for (const std::string& value : earlier) {
            if (value.find_first_not_of("0123456789") != std::string::npos) continue;  // a name
            EXPECT_NE(cards.find("X-RELIKORDA-EARLIER;X-FIELD=phone:" + value + "\r\n"), std::string::npos) << value;
        }
        // What was deleted for good still comes back as deleted.
        std::set<std::string> deleted;
        for (const std::string& name : Lines(ReadAll(folder + "/deleted.txt"))) deleted.insert(name);
        EXPECT_EQ(deletedNames, deleted);
    }
}
