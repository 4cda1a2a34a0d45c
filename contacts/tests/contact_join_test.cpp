#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "contacts/CAndroidContactRecovery.h"
#include "contacts/tables/CContactsTableRow.h"
#include "contacts/tables/CDataTableAnalyze.h"
#include "contacts/tables/CDataTableEmailV2Row.h"
#include "contacts/tables/CDataTableGroupMembershipRow.h"
#include "contacts/tables/CDataTableIMRow.h"
#include "contacts/tables/CDataTableNameRow.h"
#include "contacts/tables/CDataTablePhoneV2Row.h"
#include "contacts/tables/CDataTableSipAddressRow.h"
#include "contacts/tables/CGroupsTableRow.h"
#include "contacts/tables/CPhoneLookupTableRow.h"
#include "contacts/tables/CRawContactsTableRow.h"
#include "contacts/tables/CSearchIndexContentTableRow.h"
#include "contacts/CContactXmlBuilder.h"
#include "contacts/ContactJoin.h"
#include "contacts/JoinedContactFromRows.h"
#include "contacts/EntryRowOwner.h"

namespace {

// The analysers' row multimaps, filled by hand; the rows are released with them.
struct Tables {
    RowMultimap contacts, raw, groups, lookup, search, data[CTableAnalyze::kRowMapCount];

    ~Tables() {
        for (RowMultimap* map : {&contacts, &raw, &groups, &lookup, &search})
            for (auto& e : *map) e.second->Release();
        for (RowMultimap& map : data)
            for (auto& e : map) e.second->Release();
    }

    JoinSources Sources() {
        JoinSources s;
        s.contacts = &contacts;
        s.rawContacts = &raw;
        s.groups = &groups;
        s.phoneLookup = &lookup;
        s.searchIndex = &search;
        for (int i = 0; i < CTableAnalyze::kRowMapCount; ++i) s.data[i] = &data[i];
        return s;
    }

    CRawContactsTableRow* Raw(int64_t id, int64_t contactId, bool live = true, int64_t deleted = 0) {
        auto* row = new CRawContactsTableRow();
        row->id = id;
        row->contactId = contactId;
        row->live = live;
        row->deleted = deleted;
        raw.emplace(id, row);
        return row;
    }
    void Contact(int64_t id, int64_t nameRaw) {
        auto* row = new CContactsTableRow();
        row->id = id;
        row->nameRawContactId = nameRaw;
        row->live = 1;
        contacts.emplace(id, row);
    }
    template <class R>
    R* Data(int64_t id, int64_t rawId, bool live) {
        auto* row = new R();
        row->id = id;
        row->rawContactId = rawId;
        row->live = live;
        data[CDataTableAnalyze::RowMapOfKind(row->dataKind)].emplace(id, row);
        return row;
    }
    CDataTablePhoneV2Row* Phone(int64_t id, int64_t rawId, const std::string& number, bool live = true) {
        auto* row = Data<CDataTablePhoneV2Row>(id, rawId, live);
        row->number = number;
        row->type = 2;
        return row;
    }
    CDataTableEmailV2Row* Email(int64_t id, int64_t rawId, const std::string& address, bool live = true) {
        auto* row = Data<CDataTableEmailV2Row>(id, rawId, live);
        row->address = address;
        row->type = 1;
        return row;
    }
    CDataTableNameRow* Name(int64_t id, int64_t rawId, const std::string& name, bool live = true) {
        auto* row = Data<CDataTableNameRow>(id, rawId, live);
        row->displayName = name;
        return row;
    }
    void Group(int64_t id, const std::string& title, bool live) {
        auto* row = new CGroupsTableRow();
        row->id = id;
        row->title = title;
        row->live = live;
        groups.emplace(id, row);
    }
    void Search(int64_t docid, int64_t contactId, const std::string& content, const std::string& tokens) {
        auto* row = new CSearchIndexContentTableRow();
        row->id = docid;
        row->contactId = contactId;
        row->content = content;
        row->tokens = tokens;
        row->live = 1;
        search.emplace(docid, row);
    }
    void Lookup(int64_t dataId, int64_t rawId, const std::string& number) {
        auto* row = new CPhoneLookupTableRow();
        row->id = dataId;
        row->rawContactId = rawId;
        row->normalizedNumber = number;
        row->minMatch = number;
        row->live = 1;
        lookup.emplace(dataId, row);
    }
};

struct Joined {
    JoinData join;
    ContactResultMap result;
    ResultCode rc = 0;

    explicit Joined(Tables& tables) { rc = JoinContactRows(tables.Sources(), join, result); }
    ~Joined() { result.clear(); }

    std::vector<std::pair<CRawContactsTableRow*, std::vector<CTableRow*>*>> Entries(int64_t rawId) {
        std::vector<std::pair<CRawContactsTableRow*, std::vector<CTableRow*>*>> out;
        for (auto& e : result) {
            auto* raw = dynamic_cast<CRawContactsTableRow*>(e.first);
            if (raw && raw->id == rawId) out.emplace_back(raw, &e.second);
        }
        return out;
    }
    std::vector<CTableRow*>& Only(int64_t rawId) {
        auto entries = Entries(rawId);
        EXPECT_EQ(entries.size(), 1u) << "raw " << rawId;
        static std::vector<CTableRow*> none;
        return entries.empty() ? none : *entries[0].second;
    }
};

std::vector<std::string> Texts(const std::vector<CTableRow*>& rows) {
    std::vector<std::string> out;
    for (CTableRow* row : rows) out.push_back(row->ToString() + (row->live ? "" : " [r]"));
    return out;
}

}  // namespace

TEST(ContactJoinTest, LiveContactGetsItsRowsSortedByKind) {
    Tables t;
    t.Raw(1, 1);
    t.Contact(1, 1);
    t.Email(12, 1, "ann@example.org");
    t.Phone(11, 1, "555-0101");
    t.Name(10, 1, "Ann");
    Joined j(t);
    ASSERT_TRUE(Succeeded(j.rc));
    ASSERT_EQ(j.result.size(), 1u);
    std::vector<CTableRow*>& rows = j.Only(1);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(static_cast<CDataTableRow*>(rows[0])->dataKind, kDataName);
    EXPECT_EQ(static_cast<CDataTableRow*>(rows[1])->dataKind, kDataPhone);
    EXPECT_EQ(static_cast<CDataTableRow*>(rows[2])->dataKind, kDataEmail);
    EXPECT_TRUE(j.join.PlaceholderRows.empty());
}

TEST(ContactJoinTest, ContactWithoutItsRawContactGetsAPlaceholder) {
    Tables t;
    t.Contact(40, 7);
    Joined j(t);
    auto entries = j.Entries(7);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].first->contactId, 40);
    EXPECT_EQ(entries[0].first->deleted, 1);
    EXPECT_EQ(entries[0].first->live, 0);
    EXPECT_TRUE(entries[0].second->empty());
}

TEST(ContactJoinTest, RecoveredRawContactsThatLostTheirIdGetOneEach) {
    // Carving loses a freed raw_contacts row's _id: each reads 0. Kate's name row (of raw contact
    // 7) names her row; Liam's row has no data left; a second copy of Liam's row, and an older copy
    // of the live Mona's, must not make contacts of their own.
    Tables t;
    auto lost = [&](const std::string& name, int64_t contactId) {
        auto* row = t.Raw(0, contactId, false, 0);
        row->displayName = name;
        row->sourceKind = 5;
        return row;
    };
    lost("Kate Keller", 7);
    lost("Liam Lindqvist", 8);
    lost("Liam Lindqvist", 8)->version = 2;
    lost("Mona Moreau", 9);
    t.Raw(9, 9)->displayName = "Mona Moreau";
    t.Name(70, 7, "Kate Keller", false);
    t.Phone(71, 7, "5550007", false);
    Joined j(t);
    ASSERT_TRUE(Succeeded(j.rc));
    EXPECT_TRUE(j.Entries(0).empty());
    std::vector<std::string> names;
    for (auto& e : j.result) names.push_back(static_cast<CRawContactsTableRow*>(e.first)->displayName);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Kate Keller", "Liam Lindqvist", "Mona Moreau"}));
    // Kate's row took the id of her data rows: one contact, with them.
    auto kate = j.Entries(7);
    ASSERT_EQ(kate.size(), 1u);
    EXPECT_EQ(kate[0].first->displayName, "Kate Keller");
    EXPECT_EQ(kate[0].first->contactId, 7);
    EXPECT_EQ(kate[0].second->size(), 2u);
    EXPECT_TRUE(j.join.PlaceholderRows.empty());
    // Liam is a deleted contact of his own, named by his display name.
    for (auto& e : j.result) {
        auto* raw = static_cast<CRawContactsTableRow*>(e.first);
        if (raw->displayName != "Liam Lindqvist") continue;
        EXPECT_LT(raw->id, 0);
        EXPECT_EQ(Texts(e.second), (std::vector<std::string>{"Name:Liam Lindqvist [r]"}));
    }
    // The live Mona, whose data rows are gone: her display name names her.
    EXPECT_EQ(Texts(j.Only(9)), (std::vector<std::string>{"Name:Mona Moreau"}));
}

TEST(ContactJoinTest, LostRawContactsOfOneNameAreToldApartByTheirContact) {
    // Four raw contacts named Sam Ellis lost their _id: an older copy of the live one (contact 1);
    // the one of contact 5, whose data rows keep the name; the one of contact 8, whose data rows
    // lost it; the one of contact 9, of which nothing else is left. Where this phone numbers its
    // contacts as their raw contacts, each is its own deleted contact, with its own rows. Where it
    // does not, a contact id says nothing of the raw contact: only a name row ties one.
    for (bool numberedAlike : {true, false}) {
        SCOPED_TRACE(numberedAlike);
        Tables t;
        auto lost = [&](int64_t contactId) {
            auto* row = t.Raw(0, contactId, false, 0);
            row->displayName = "Sam Ellis";
            row->sourceKind = 5;
        };
        for (int64_t contactId : {1, 5, 8, 9}) lost(contactId);
        t.Raw(1, 1)->displayName = "Sam Ellis";
        t.Raw(2, numberedAlike ? 2 : 20)->displayName = "Ann Lee";
        t.Name(10, 1, "Sam Ellis");
        t.Name(50, 5, "Sam Ellis", false);
        t.Phone(51, 5, "5550005", false);
        t.Phone(81, 8, "5550008", false);
        t.Email(82, 8, "sam8@example.com", false);
        Joined j(t);
        ASSERT_TRUE(Succeeded(j.rc));
        std::vector<std::string> deleted;
        for (auto& e : j.result) {
            auto* raw = static_cast<CRawContactsTableRow*>(e.first);
            if (raw->live || e.second.empty()) continue;
            std::string texts = std::to_string(raw->contactId) + ":";
            for (const std::string& text : Texts(e.second)) texts += " " + text;
            deleted.push_back(texts);
        }
        std::sort(deleted.begin(), deleted.end());
        if (numberedAlike) {
            EXPECT_EQ(deleted, (std::vector<std::string>{
                                   "5: Name:Sam Ellis [r] Phone(MOBILE):5550005 [r]",
                                   "8: Name:Sam Ellis [r] Phone(MOBILE):5550008 [r] Email(HOME):sam8@example.com [r]",
                                   "9: Name:Sam Ellis [r]"}));
            EXPECT_TRUE(j.join.PlaceholderRows.empty());
        } else {
            // Raw contact 8's rows stand apart, under a made-up contact id; the other three are as above.
            ASSERT_EQ(deleted.size(), 4u);
            EXPECT_EQ(deleted[0].substr(deleted[0].find(':')), ": Phone(MOBILE):5550008 [r] Email(HOME):sam8@example.com [r]");
            EXPECT_EQ(std::vector<std::string>(deleted.begin() + 1, deleted.end()),
                      (std::vector<std::string>{"5: Name:Sam Ellis [r] Phone(MOBILE):5550005 [r]", "8: Name:Sam Ellis [r]",
                                                "9: Name:Sam Ellis [r]"}));
        }
        EXPECT_EQ(Texts(j.Only(1)), (std::vector<std::string>{"Name:Sam Ellis"}));
    }
}

TEST(ContactJoinTest, LiveRawContactOutsideAnyContactIsLive) {
    // Not yet aggregated (contact_id NULL): its own rows join it, and its contact is live.
    Tables t;
    t.Raw(3, 0);
    t.Name(30, 3, "Ida Import");
    t.Phone(31, 3, "5550142");
    Joined j(t);
    ASSERT_TRUE(Succeeded(j.rc));
    ASSERT_EQ(j.result.size(), 1u);
    auto* raw = static_cast<CRawContactsTableRow*>(j.result.begin()->first);
    EXPECT_EQ(raw->live, 1);
    EXPECT_EQ(raw->deleted, 0);
    EXPECT_EQ(Texts(j.result.begin()->second), (std::vector<std::string>{"Name:Ida Import", "Phone(MOBILE):5550142"}));
    EXPECT_TRUE(j.join.PlaceholderRows.empty());
    std::vector<std::string> documents;
    CContactXmlBuilder builder(nullptr, [&](const char* xml) { documents.emplace_back(xml); });
    builder.ProcessContact(JoinedContactFromRows(*raw, j.result.begin()->second));
    ASSERT_EQ(documents.size(), 1u);
    EXPECT_NE(documents[0].find("<contact deleted=\"0\">"), std::string::npos) << documents[0];
    EXPECT_EQ(documents[0].find("deleted=\"1\""), std::string::npos) << documents[0];
}

TEST(ContactJoinTest, RowsOfALostRawContactShareOnePlaceholder) {
    {
        Tables t;
        t.Contact(40, 7);
        t.Phone(1, 7, "5550001");
        t.Email(2, 7, "a@b.cd");
        t.Name(3, 7, "Gone");
        Joined j(t);
        auto entries = j.Entries(7);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].first->contactId, 40);
        EXPECT_EQ(entries[0].second->size(), 3u);
    }
    {
        Tables t;
        t.Phone(1, 7, "5550001");
        t.Email(2, 7, "a@b.cd");
        t.Name(3, 7, "Gone");
        Joined j(t);
        auto entries = j.Entries(7);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_LT(entries[0].first->contactId, 0);  // made up
        EXPECT_EQ(entries[0].second->size(), 3u);
    }
}

TEST(ContactJoinTest, RowsWithoutARawContactAreContactsOfTheirOwn) {
    Tables t;
    t.Phone(1, 0, "5550001");
    t.Phone(2, 0, "5550002");
    Joined j(t);
    auto entries = j.Entries(0);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].second->size(), 1u);
    EXPECT_EQ(entries[1].second->size(), 1u);
    EXPECT_NE(entries[0].first->contactId, entries[1].first->contactId);
}

TEST(ContactJoinTest, LivePhoneReplacesItsRecoveredCopy) {
    for (bool liveFirst : {true, false}) {
        Tables t;
        t.Raw(1, 1);
        if (liveFirst) {
            t.Phone(1, 1, "+1 650 555 0101", true);
            t.Phone(2, 1, "6505550101", false);
        } else {
            t.Phone(1, 1, "6505550101", false);
            t.Phone(2, 1, "+1 650 555 0101", true);
        }
        Joined j(t);
        std::vector<CTableRow*>& rows = j.Only(1);
        ASSERT_EQ(rows.size(), 1u) << liveFirst;
        EXPECT_EQ(rows[0]->live, 1);
    }
}

TEST(ContactJoinTest, SearchIndexFillsInWhatWasLost) {
    {
        // Everything the index knows is there: nothing is added.
        Tables t;
        t.Raw(1, 1);
        t.Phone(1, 1, "16505550101");
        t.Email(2, 1, "ann@example.org");
        t.Search(1, 1, "ann@example.org", "16505550101 Ann");
        Joined j(t);
        EXPECT_EQ(j.Only(1).size(), 2u);
        EXPECT_TRUE(j.join.CreatedRows.empty());
    }
    {
        // The contact and its data rows are gone; the index row brings back phone, e-mail and IM.
        Tables t;
        t.Search(5, 5, "eve@example.co.uk\nSkype/eve.e", "447700900123 Eve");
        Joined j(t);
        ASSERT_EQ(j.result.size(), 1u);
        std::vector<CTableRow*>& rows = j.result.begin()->second;
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_EQ(static_cast<CDataTableRow*>(rows[0])->dataKind, kDataPhone);
        EXPECT_EQ(static_cast<CDataTableRow*>(rows[1])->dataKind, kDataEmail);
        EXPECT_EQ(static_cast<CDataTableRow*>(rows[2])->dataKind, kDataIm);
        for (CTableRow* row : rows) EXPECT_EQ(row->live, 0);
        auto* raw = dynamic_cast<CRawContactsTableRow*>(j.result.begin()->first);
        EXPECT_EQ(raw->contactId, 5);
        EXPECT_LT(raw->id, 0);
    }
    {
        // A row of no contact is a contact of its own.
        Tables t;
        t.Search(9, 0, "x@y.zz", "");
        Joined j(t);
        ASSERT_EQ(j.result.size(), 1u);
        EXPECT_EQ(j.result.begin()->second.size(), 1u);
    }
}

TEST(ContactJoinTest, IndexTokensMatchTheStoredNormalizedNumber) {
    // The index keeps "16505550111" for a number written "(650) 555-0111" whose normalized form is
    // "+16505550111": the number is there, so nothing is made and the contact stays live.
    Tables t;
    t.Raw(1, 1);
    t.Phone(1, 1, "(650) 555-0111")->normalizedNumber = "+16505550111";
    t.Search(1, 1, "", "16505550111 6505550111");
    Joined j(t);
    EXPECT_EQ(j.Only(1).size(), 1u);
    EXPECT_TRUE(j.join.CreatedRows.empty());
}

TEST(ContactJoinTest, IndexLineOfASipAddressIsNoLostEmail) {
    Tables t;
    t.Raw(1, 1);
    t.Data<CDataTableSipAddressRow>(1, 1, true)->address = "jack@sip.example.net";
    t.Search(1, 1, "jack@sip.example.net", "");
    Joined j(t);
    EXPECT_EQ(j.Only(1).size(), 1u);
    EXPECT_TRUE(j.join.CreatedRows.empty());
}

TEST(ContactJoinTest, PhoneLookupBringsBackALostNumber) {
    Tables t;
    t.Raw(3, 3);
    t.Name(1, 3, "Carol");
    t.Lookup(77, 3, "13800138000");
    Joined j(t);
    std::vector<CTableRow*>& rows = j.Only(3);
    ASSERT_EQ(rows.size(), 2u);
    auto* phone = dynamic_cast<CDataTablePhoneV2Row*>(rows[1]);
    ASSERT_NE(phone, nullptr);
    EXPECT_EQ(phone->number, "13800138000");
    EXPECT_EQ(phone->type, 7);
    EXPECT_EQ(phone->live, 0);

    // When the phone row is still there, the lookup adds nothing.
    Tables u;
    u.Raw(3, 3);
    u.Phone(1, 3, "138 0013 8000");
    u.Lookup(1, 3, "13800138000");
    Joined k(u);
    EXPECT_EQ(k.Only(3).size(), 1u);
}

TEST(ContactJoinTest, DisplayNameGivesANameRow) {
    Tables t;
    CRawContactsTableRow* ann = t.Raw(1, 1);
    ann->sourceKind = 5;
    ann->displayName = "Ann";
    t.Phone(1, 1, "5550001");
    CRawContactsTableRow* empty = t.Raw(2, 2);
    empty->sourceKind = 5;
    empty->displayName = "Nobody";
    Joined j(t);
    std::vector<CTableRow*>& rows = j.Only(1);
    ASSERT_EQ(rows.size(), 2u);
    auto* name = dynamic_cast<CDataTableNameRow*>(rows[0]);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->displayName, "Ann");
    EXPECT_EQ(name->live, 1);  // read from the live raw contact
    // A live raw contact of which nothing else is left keeps its name; a deleted one does not.
    EXPECT_EQ(Texts(j.Only(2)), (std::vector<std::string>{"Name:Nobody"}));
    Tables u;
    CRawContactsTableRow* gone = u.Raw(3, 3, false);
    gone->sourceKind = 5;
    gone->displayName = "Gone";
    Joined k(u);
    EXPECT_TRUE(k.Only(3).empty());
}

TEST(ContactJoinTest, RepeatedRecoveredValuesAreDropped) {
    Tables t;
    t.Raw(1, 1);
    t.Email(1, 1, "a@b.cd", false);
    t.Email(2, 1, "a@b.cd", false);
    t.Email(3, 1, "x@y.zz", true);
    t.Email(4, 1, "x@y.zz", true);
    t.Email(5, 1, "w@y.zz", true);
    Joined j(t);
    std::vector<CTableRow*>& rows = j.Only(1);
    // A value joins once; live rows come first, the recovered repeat goes.
    EXPECT_EQ(Texts(rows),
              (std::vector<std::string>{"Email(HOME):x@y.zz", "Email(HOME):w@y.zz", "Email(HOME):a@b.cd [r]"}));
}

TEST(ContactJoinTest, MembershipAttachesLiveGroupsOnly) {
    Tables t;
    t.Raw(1, 1);
    t.Group(12, "Old", false);
    t.Group(12, "Friends", true);
    auto* member = t.Data<CDataTableGroupMembershipRow>(5, 1, true);
    member->groupRowId = "12";
    Joined j(t);
    ASSERT_EQ(member->groups.size(), 1u);
    EXPECT_EQ(member->groups[0]->title, "Friends");
}

TEST(ContactJoinTest, SyntheticIdsKeepFalling) {
    JoinData join;
    int64_t a = NextSyntheticContactId(join);
    join.ContactToRaw.emplace(a - 1, 1);
    int64_t b = NextSyntheticContactId(join);
    EXPECT_LT(a, 0);
    EXPECT_EQ(b, a - 2);  // a - 1 is taken
    int64_t r = NextSyntheticRawId(join);
    EXPECT_LT(r, 0);
    EXPECT_GT(NextSyntheticRawId(join) - r, -2);
}

TEST(ContactRecoveryTest, RefusesWhatIsNotReady) {
    CAndroidContactRecovery* recovery = new CAndroidContactRecovery();
    ResultCode rc = recovery->Recover();
    EXPECT_TRUE(Failed(rc));
    EXPECT_EQ(ErrorNumber(rc), 1u);
    rc = recovery->Initialize(nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(Failed(rc));
    EXPECT_EQ(ErrorNumber(rc), 1u);
    JoinData join;
    rc = CAndroidContactRecovery::JoinRows(nullptr, &join);
    EXPECT_TRUE(Failed(rc));
    EXPECT_EQ(ErrorNumber(rc), 1u);
    EXPECT_TRUE(recovery->GetResult()->empty());
    EXPECT_TRUE(Succeeded(recovery->Uninitialize()));
    IAndroidRecovery<ContactResultMap>* asInterface = recovery;
    asInterface->Release();
}

// A raw contact row that notes its id when it goes.
struct WatchedRow : CRawContactsTableRow {
    WatchedRow(int64_t rowId, std::vector<int64_t>* goneIds) : gone(goneIds) { id = rowId; }
    ~WatchedRow() override { gone->push_back(id); }
    std::vector<int64_t>* gone;
};

TEST(EntryRowOwnerTest, ARowGoesWithTheLastEntryThatHoldsIt) {
    std::vector<int64_t> gone;
    auto* a = new WatchedRow(1, &gone);
    auto* b = new WatchedRow(2, &gone);
    auto* c = new WatchedRow(3, &gone);
    auto* shared = new WatchedRow(10, &gone);
    auto* late = new WatchedRow(11, &gone);
    auto* unheld = new WatchedRow(12, &gone);
    WatchedRow foreign(13, &gone);  // held by an entry but owned elsewhere (a group)
    ContactResultMap result{{a, {shared, &foreign}}, {b, {shared, late}}, {c, {}}};
    EntryRowOwner owner;
    owner.TakeOver(result, {late, shared, c, unheld, b, a});
    EXPECT_EQ(gone, std::vector<int64_t>({12}));
    owner.Done(result, result.find(a));
    EXPECT_EQ(gone, std::vector<int64_t>({12, 1}));  // b still holds the shared row
    owner.Done(result, result.find(b));
    std::sort(gone.begin() + 2, gone.end());
    EXPECT_EQ(gone, std::vector<int64_t>({12, 1, 2, 10, 11}));
    ASSERT_EQ(result.size(), 1u);
    result.clear();
    owner.ReleaseAll();
    EXPECT_EQ(gone, std::vector<int64_t>({12, 1, 2, 10, 11, 3}));
}
