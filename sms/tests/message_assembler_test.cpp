#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sms/CAddrTableRow.h"
#include "sms/CCanonicalAddressesTableRow.h"
#include "sms/CPartTableRow.h"
#include "sms/CPduTableRow.h"
#include "sms/CSmsTableRow.h"
#include "sms/CThreadsTableRow.h"
#include "sms/CWordsContentTableRow.h"
#include "sms/ConversationRowOwner.h"
#include "sms/MessageAssembler.h"

namespace {

// Seven tables filled by hand, rows owned here.
class Tables {
public:
    ~Tables() {
        for (SmsRowMap* map : {&threads, &addr, &canonical, &sms, &pdu, &part, &words}) ReleaseSmsRows(*map);
    }

    CThreadsTableRow* Thread(int64_t id, std::vector<int64_t> recipients, const std::string& snippet = "",
                             int64_t date = 0) {
        auto* row = new CThreadsTableRow;
        row->id = id;
        row->live = 1;
        row->recipientIds = recipients;
        row->snippet = snippet;
        row->date = date;
        threads.emplace(id, row);
        return row;
    }
    void Addr(int64_t id, const std::string& address) {
        auto* row = new CAddrTableRow;
        row->id = id;
        row->address = address;
        row->type = 137;
        addr.emplace(id, row);
    }
    void Canonical(int64_t id, const std::string& address) {
        auto* row = new CCanonicalAddressesTableRow;
        row->id = id;
        row->address = address;
        canonical.emplace(id, row);
    }
    CSmsTableRow* Sms(int64_t id, int64_t thread, const std::string& address, const std::string& body,
                      int64_t date, bool live = true, int type = 1) {
        auto* row = new CSmsTableRow;
        row->id = id;
        row->threadId = thread;
        row->address = address;
        row->body = body;
        row->date = date;
        row->live = live;
        row->type = type;
        sms.emplace(id, row);
        return row;
    }
    CPduTableRow* Pdu(int64_t id, int64_t thread, int64_t date, bool live = true, int box = 1) {
        auto* row = new CPduTableRow;
        row->id = id;
        row->threadId = thread;
        row->date = date;
        row->live = live;
        row->messageBox = box;
        pdu.emplace(id, row);
        return row;
    }
    CPartTableRow* Part(int64_t id, int64_t mid, const std::string& text, bool live = true,
                        const std::string& cl = "text.txt") {
        auto* row = new CPartTableRow;
        row->id = id;
        row->messageId = mid;
        row->contentClass = 1;
        row->contentLocation = cl;
        row->text = text;
        row->live = live;
        part.emplace(id, row);
        return row;
    }
    void Words(int64_t id, int64_t source, const std::string& text) {
        auto* row = new CWordsContentTableRow;
        row->id = id;
        row->rowId = source;
        row->sourceId = source;
        row->tableToUse = 1;
        row->indexText = text;
        words.emplace(id, row);
    }

    SmsTableRows View() const {
        SmsTableRows view;
        view.threads = &threads;
        view.addr = &addr;
        view.canonicalAddresses = &canonical;
        view.sms = &sms;
        view.pdu = &pdu;
        view.part = &part;
        view.wordsContent = &words;
        return view;
    }

    SmsRowMap threads, addr, canonical, sms, pdu, part, words;
};

struct Assembled {
    SmsResultMap result;
    std::unique_ptr<MessageAssembler> assembler;

    const std::vector<CTableRow*>* Entry(const std::string& key) const {
        auto found = result.find(key);
        return found == result.end() ? nullptr : &found->second;
    }
    std::vector<std::string> UnknownKeys() const {
        std::vector<std::string> keys;
        for (auto& entry : result)
            if (entry.first.compare(0, 13, "UnknownAdress") == 0) keys.push_back(entry.first);
        return keys;
    }
};

std::unique_ptr<Assembled> Assemble(const Tables& tables) {
    auto out = std::make_unique<Assembled>();
    out->assembler = std::make_unique<MessageAssembler>(tables.View(), &out->result);
    EXPECT_TRUE(Succeeded(out->assembler->Build()));
    return out;
}

std::vector<std::string> Bodies(const std::vector<CTableRow*>& rows) {
    std::vector<std::string> bodies;
    for (CTableRow* row : rows) {
        if (auto* sms = dynamic_cast<CSmsTableRow*>(row)) bodies.push_back(sms->body);
        else bodies.push_back("<mms>");
    }
    return bodies;
}

}  // namespace

TEST(MessageAssemblerTest, SpellingsOfOneNumberShareTheFirstSpelling) {
    Tables t;
    t.Addr(1, "+1 555-0100");
    t.Sms(1, 0, "5550100", "a", 10);
    t.Sms(2, 0, "+15550100", "b", 20);
    t.Addr(2, "+15550199");  // never writes
    auto a = Assemble(t);
    ASSERT_EQ(a->result.size(), 1u);
    ASSERT_TRUE(a->Entry("+1 555-0100"));
    EXPECT_EQ(Bodies(*a->Entry("+1 555-0100")), (std::vector<std::string>{"a", "b"}));
}

TEST(MessageAssemblerTest, EmailAddressesAndSenderNamesAreComparedExactly) {
    Tables t;
    t.Sms(1, 0, "a-b@example.org", "one", 10);
    t.Sms(2, 0, "ab@example.org", "two", 20);
    t.Sms(3, 0, "AcmeTel", "three", 30);
    t.Sms(4, 0, "MyBank", "four", 40);  // no digit in either: phone rules would make them one
    t.Canonical(5, "info@bank.example");
    t.Thread(8, {5});
    t.Pdu(6, 8, 50);
    auto a = Assemble(t);
    EXPECT_TRUE(a->Entry("a-b@example.org"));
    EXPECT_TRUE(a->Entry("ab@example.org"));
    ASSERT_TRUE(a->Entry("AcmeTel"));
    EXPECT_EQ(Bodies(*a->Entry("AcmeTel")), (std::vector<std::string>{"three"}));
    EXPECT_TRUE(a->Entry("MyBank"));
    EXPECT_TRUE(a->Entry("info@bank.example"));  // an MMS partner from canonical_addresses
    EXPECT_TRUE(a->UnknownKeys().empty());
}

TEST(MessageAssemblerTest, GroupThreadsLandInEveryPartner) {
    Tables t;
    t.Canonical(1, "+15550001");
    t.Canonical(2, "+15550002");
    t.Thread(7, {1, 2});
    t.Sms(1, 7, "", "to both", 10, true, 2);
    t.Pdu(3, 7, 20);
    t.Part(1, 3, "mms to both");
    auto a = Assemble(t);
    ASSERT_TRUE(a->Entry("+15550001") && a->Entry("+15550002"));
    EXPECT_EQ(Bodies(*a->Entry("+15550001")), (std::vector<std::string>{"to both", "<mms>"}));
    EXPECT_EQ(Bodies(*a->Entry("+15550002")), (std::vector<std::string>{"to both", "<mms>"}));
}

TEST(MessageAssemblerTest, AddresslessThreadWithoutPartnerGetsOneUnknownPartner) {
    Tables t;
    t.Sms(1, 9, "", "first", 10);
    t.Sms(2, 9, "", "second", 20);
    auto a = Assemble(t);
    auto keys = a->UnknownKeys();
    ASSERT_EQ(keys.size(), 1u);
    const auto& rows = *a->Entry(keys[0]);
    ASSERT_EQ(rows.size(), 2u);
    auto* copy = static_cast<CSmsTableRow*>(rows[0]);
    EXPECT_EQ(copy->address, keys[0]);
    EXPECT_EQ(copy->live, 1);  // still on the phone
    EXPECT_EQ(Bodies(rows), (std::vector<std::string>{"first", "second"}));
}

TEST(MessageAssemblerTest, AddresslessMessageIsDroppedOnlyForItsOwnThreadsText) {
    Tables t;
    t.Sms(1, 0, "+15550001", "ok", 10);
    t.Sms(2, 0, "", "ok", 30, false);  // same thread 0: already there
    t.Sms(3, -4, "", "ok", 40, false);  // another thread: its own message
    auto a = Assemble(t);
    EXPECT_EQ(Bodies(*a->Entry("+15550001")), (std::vector<std::string>{"ok"}));
    ASSERT_EQ(a->UnknownKeys().size(), 1u);
    EXPECT_EQ(Bodies(*a->Entry(a->UnknownKeys()[0])), (std::vector<std::string>{"ok"}));
}

TEST(MessageAssemblerTest, RecoveredSmsDuplicatesNeedTheSameDayAndDirection) {
    Tables t;
    t.Sms(1, 0, "+15550001", "see you", 100);
    t.Sms(2, 0, "+15550001", "see you", 100, false);      // the same message again
    t.Sms(3, 0, "+15550001", "see you", 500, false);      // said again another day
    t.Sms(4, 0, "+15550001", "see you", 500, false, 2);   // and answered the same
    t.Sms(5, 0, "+15550001", "you", 500, false, 2);       // part of the previous at its date
    t.Sms(6, 0, "+15550001", "different", 900, false);
    auto a = Assemble(t);
    EXPECT_EQ(Bodies(*a->Entry("+15550001")), (std::vector<std::string>{"see you", "see you", "see you", "different"}));
}

TEST(MessageAssemblerTest, ConversationsWithEqualDatesListLiveRowsFirst) {
    Tables t;
    t.Sms(1, 0, "+15550001", "recovered", 100, false);
    t.Sms(2, 0, "+15550001", "live", 100, true);
    t.Sms(3, 0, "+15550001", "early", 50, false);
    auto a = Assemble(t);
    EXPECT_EQ(Bodies(*a->Entry("+15550001")), (std::vector<std::string>{"early", "live", "recovered"}));
}

TEST(MessageAssemblerTest, LivePartsJoinLivePdusAndRecoveredPartsGetADatedCopy) {
    Tables t;
    t.Canonical(1, "+15550001");
    t.Thread(5, {1});
    CPduTableRow* live = t.Pdu(10, 5, 1000, true);
    CPduTableRow* oldVersion = t.Pdu(10, 5, 900, false);
    CPartTableRow* livePart = t.Part(1, 10, "live text");
    CPartTableRow* gone1 = t.Part(2, 10, "deleted text", false, "a.txt");
    CPartTableRow* gone2 = t.Part(3, 10, "more deleted text", false, "b.txt");
    (void)oldVersion;
    auto a = Assemble(t);
    ASSERT_EQ(live->parts, (std::vector<CTableRow*>{livePart}));
    // Recovered parts join the recovered version when there is one.
    EXPECT_EQ(oldVersion->parts, (std::vector<CTableRow*>{gone1, gone2}));
    EXPECT_EQ(Bodies(*a->Entry("+15550001")), (std::vector<std::string>{"<mms>", "<mms>"}));
}

TEST(MessageAssemblerTest, RecoveredPartsOfALiveMmsLandOnACopyWithItsDate) {
    Tables t;
    t.Canonical(1, "+15550001");
    t.Thread(5, {1});
    CPduTableRow* live = t.Pdu(10, 5, 1000, true, 2);
    t.Part(1, 10, "live text");
    CPartTableRow* gone1 = t.Part(2, 10, "old picture caption", false, "a.txt");
    CPartTableRow* gone2 = t.Part(3, 10, "another", false, "b.txt");
    auto a = Assemble(t);
    const auto& rows = *a->Entry("+15550001");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], live);
    auto* copy = static_cast<CPduTableRow*>(rows[1]);
    EXPECT_EQ(copy->live, 0);
    EXPECT_EQ(copy->date, 1000);
    EXPECT_EQ(copy->messageBox, 2);  // taken from the live one beside it
    EXPECT_EQ(copy->parts, (std::vector<CTableRow*>{gone1, gone2}));
}

TEST(MessageAssemblerTest, RecoveredMmsRepeatingALiveOneIsRemovedOnlyWithTheSameParts) {
    Tables t;
    t.Canonical(1, "+15550001");
    t.Thread(5, {1});
    t.Pdu(10, 5, 1000, true);
    t.Part(1, 10, "hello");
    t.Pdu(11, 5, 1000, false);
    t.Part(2, 11, "hello", false);  // the same content: a repeat
    t.Pdu(12, 5, 1000, false);
    t.Part(3, 12, "other words", false);  // same time, other content
    auto a = Assemble(t);
    const auto& rows = *a->Entry("+15550001");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1]->id, 12);
}

TEST(MessageAssemblerTest, RecoveredMmsAfterARecoveredOneStays) {
    Tables t;
    t.Canonical(1, "+15550001");
    t.Thread(5, {1});
    t.Pdu(11, 5, 1000, false);
    t.Part(2, 11, "hello", false);
    t.Pdu(12, 5, 1000, false);
    t.Part(3, 12, "hello", false, "other.txt");
    auto a = Assemble(t);
    EXPECT_EQ(a->Entry("+15550001")->size(), 2u);
}

TEST(MessageAssemblerTest, OrphanPartsGetAMadeUpPduUnderANewPartner) {
    Tables t;
    t.Part(1, 77, "lost words", false);
    t.Part(2, 77, "more lost words", false, "b.txt");
    auto a = Assemble(t);
    auto keys = a->UnknownKeys();
    ASSERT_EQ(keys.size(), 1u);
    const auto& rows = *a->Entry(keys[0]);
    ASSERT_EQ(rows.size(), 1u);
    auto* pdu = static_cast<CPduTableRow*>(rows[0]);
    EXPECT_EQ(pdu->id, 77);
    EXPECT_EQ(pdu->date, 0);
    EXPECT_EQ(pdu->messageBox, 5);
    EXPECT_LT(pdu->threadId, 0);
    EXPECT_EQ(pdu->parts.size(), 2u);
}

TEST(MessageAssemblerTest, SnippetsBecomeMessagesOnlyWhenNoMessageHoldsThem) {
    Tables t;
    t.Canonical(1, "+15550001");
    t.Canonical(2, "+15550002");
    t.Sms(1, 3, "+15550001", "long body with the snippet inside", 10);
    t.Sms(2, 4, "+15550002", "unrelated", 10);
    t.Thread(3, {1}, "the snippet", 500);
    t.Thread(4, {2}, "a lost text", 600);
    t.Thread(5, {}, " \n ", 700);
    t.Thread(6, {}, "nobody's", 800);
    auto a = Assemble(t);
    EXPECT_EQ(Bodies(*a->Entry("+15550001")), (std::vector<std::string>{"long body with the snippet inside"}));
    const auto& second = *a->Entry("+15550002");
    ASSERT_EQ(second.size(), 2u);
    auto* snippet = static_cast<CSmsTableRow*>(second[1]);
    EXPECT_EQ(snippet->body, "a lost text");
    EXPECT_EQ(snippet->type, 7);
    EXPECT_EQ(snippet->date, 600);
    EXPECT_EQ(snippet->id, -1);
    auto keys = a->UnknownKeys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(Bodies(*a->Entry(keys[0])), (std::vector<std::string>{"nobody's"}));
}

// A live thread's snippet is its newest live message's text: when a live message of the thread is
// as new as the thread or newer, the snippet makes no message. A recovered thread row, or one newer
// than its live messages (its newest message deleted), still gives its snippet.
TEST(MessageAssemblerTest, LiveThreadsSnippetStandsForItsNewestLiveMessage) {
    Tables t;
    t.Canonical(1, "+15550001");
    t.Canonical(2, "+15550002");
    t.Canonical(3, "+15550003");
    t.Sms(1, 1, "+15550001", "newer than the thread", 200);
    t.Thread(1, {1}, "a placeholder", 100);
    t.Pdu(2, 2, 100);
    t.Part(2, 2, "picture text", true, "a.txt");
    t.Thread(2, {2}, "the MMS subject", 100);
    t.Sms(3, 3, "+15550003", "older", 50);
    t.Sms(4, 3, "+15550003", "deleted newest", 300, false);
    t.Thread(3, {3}, "a lost text", 250);
    t.Thread(4, {1}, "from an old row", 90)->live = 0;
    auto a = Assemble(t);
    EXPECT_EQ(Bodies(*a->Entry("+15550001")), (std::vector<std::string>{"from an old row", "newer than the thread"}));
    EXPECT_EQ(Bodies(*a->Entry("+15550002")), (std::vector<std::string>{"<mms>"}));
    EXPECT_EQ(Bodies(*a->Entry("+15550003")), (std::vector<std::string>{"older", "a lost text", "deleted newest"}));
}

TEST(MessageAssemblerTest, SnippetOfAThreadLinkedBySmsGoesToThatPartner) {
    Tables t;
    t.Sms(1, 8, "+15550003", "hi", 10);
    t.Thread(8, {}, "bye", 20);
    t.Canonical(1, "+15550004");
    t.Canonical(2, "+15550005");
    t.Sms(2, 9, "+15550004", "x", 10);
    t.Sms(3, 10, "+15550005", "y", 10);
    t.Thread(11, {1, 2}, "both", 30);
    auto a = Assemble(t);
    EXPECT_EQ(Bodies(*a->Entry("+15550003")), (std::vector<std::string>{"hi", "bye"}));
    EXPECT_EQ(Bodies(*a->Entry("+15550004")), (std::vector<std::string>{"x", "both"}));
    EXPECT_EQ(Bodies(*a->Entry("+15550005")), (std::vector<std::string>{"y", "both"}));
}

TEST(MessageAssemblerTest, IndexTextsThatNoMessageHoldsBecomeMessagesOnce) {
    Tables t;
    t.Sms(4, 1, "+15550001", "known text", 10);
    t.Words(1, 4, "known text");
    t.Words(2, 40, "forgotten");
    t.Words(3, 41, "forgotten");
    auto a = Assemble(t);
    EXPECT_EQ(Bodies(*a->Entry("+15550001")), (std::vector<std::string>{"known text"}));
    auto keys = a->UnknownKeys();
    ASSERT_EQ(keys.size(), 1u);
    const auto& rows = *a->Entry(keys[0]);
    ASSERT_EQ(rows.size(), 1u);
    auto* row = static_cast<CSmsTableRow*>(rows[0]);
    EXPECT_EQ(row->body, "forgotten");
    EXPECT_EQ(row->id, 40);
    EXPECT_EQ(row->date, 0);
    EXPECT_EQ(row->type, 7);
}

// The counters are process-wide, so the first names of a process are checked in a new process
// running only this test.
TEST(MessageAssemblerTest, FreshProcessStartsAtUnknownAdress0) {
    if (std::getenv("RK_SMS_FRESH_PROCESS")) {
        Tables t;
        t.Sms(1, 9, "", "lonely", 10);
        SmsResultMap result;
        MessageAssembler assembler(t.View(), &result);
        ASSERT_TRUE(Succeeded(assembler.Build()));
        ASSERT_EQ(result.size(), 1u);
        EXPECT_EQ(result.begin()->first, "UnknownAdress0");
        SmsResultMap again;
        MessageAssembler second(t.View(), &again);
        second.Build();
        ASSERT_EQ(again.size(), 1u);
        EXPECT_EQ(again.begin()->first, "UnknownAdress1");
        return;
    }
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("RK_SMS_FRESH_PROCESS", "1", 1);
        execl("/proc/self/exe", "sms_test", "--gtest_filter=MessageAssemblerTest.FreshProcessStartsAtUnknownAdress0",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

namespace {

// Rows that count their releases.
std::map<const CTableRow*, int> g_released;
struct CountedSms : CSmsTableRow {
    void Release() override {
        ++g_released[this];
        delete this;
    }
};
struct CountedPdu : CPduTableRow {
    void Release() override {
        ++g_released[this];
        delete this;
    }
};
struct CountedPart : CPartTableRow {
    void Release() override {
        ++g_released[this];
        delete this;
    }
};

}  // namespace

TEST(ConversationRowOwnerTest, ARowGoesWithTheLastConversationThatHoldsIt) {
    g_released.clear();
    CTableRow* group = new CountedSms;  // a group thread's message, in both conversations
    CTableRow* own = new CountedSms;
    CTableRow* unplaced = new CountedSms;
    auto* mms = new CountedPdu;
    CTableRow* part = new CountedPart;
    mms->parts.push_back(part);
    SmsResultMap result = {{"+1555001", {group, mms}}, {"+1555002", {group, own}}};
    ConversationRowOwner owner;
    owner.TakeOver(result, {own, part, unplaced, mms, group});
    EXPECT_EQ(g_released, (std::map<const CTableRow*, int>{{unplaced, 1}}));
    owner.Done(result, result.find("+1555001"));
    EXPECT_EQ(g_released, (std::map<const CTableRow*, int>{{unplaced, 1}, {mms, 1}, {part, 1}}));
    EXPECT_EQ(result.size(), 1u);
    owner.ReleaseAll(result);
    EXPECT_EQ(g_released, (std::map<const CTableRow*, int>{{unplaced, 1}, {mms, 1}, {part, 1}, {group, 1}, {own, 1}}));
    EXPECT_TRUE(result.empty());

    // Rows not handed over stay their owners'.
    CountedSms kept;
    result = {{"+1555003", {&kept}}};
    owner.ReleaseAll(result);
    EXPECT_TRUE(result.empty());
    EXPECT_EQ(g_released.count(&kept), 0u);
}
