#include <gtest/gtest.h>

#include "contacts/tables/CContactsTableAnalyze.h"
#include "contacts/tables/CContactsTableRow.h"
#include "contacts/tables/CGroupsTableAnalyze.h"
#include "contacts/tables/CGroupsTableRow.h"
#include "contacts/tables/CMimetypesTableAnalyze.h"
#include "contacts/tables/CMimetypesTableRow.h"
#include "contacts/tables/CPhoneLookupTableAnalyze.h"
#include "contacts/tables/CPhoneLookupTableRow.h"
#include "contacts/tables/CRawContactsTableAnalyze.h"
#include "contacts/tables/CRawContactsTableRow.h"
#include "contacts/tables/CSearchIndexContentTableAnalyze.h"
#include "contacts/tables/CSearchIndexContentTableRow.h"
#include "contacts/tables/ContactTableRules.h"
#include "sqlite_recovery/tests/FakeSQLiteEngine.h"
#include "sqlite_recovery/tests/RecordingSink.h"

namespace {
FieldValue I(int64_t v) { return FieldValue::MakeInteger(v); }

std::vector<CTableRow*> Rows(CTableAnalyze& analyzer, int index = 0) {
    std::vector<CTableRow*> rows;
    for (auto& entry : *analyzer.GetRows(index)) rows.push_back(entry.second);
    return rows;
}

struct RawContacts {
    FakeTable table;
    RawContacts() {
        table.columns = {"_id", "account_id", "version", "deleted", "contact_id", "display_name", "display_name_alt",
                         "display_name_source"};
    }
    std::vector<FieldValue> Record(int64_t id, int64_t version, int64_t deleted, int64_t contact, const std::string& name,
                                   int64_t source = 40) {
        return table.Record({{"_id", I(id)}, {"version", I(version)}, {"deleted", I(deleted)}, {"contact_id", I(contact)},
                             {"display_name", table.Text(name)}, {"display_name_alt", table.Text(name + " alt")},
                             {"display_name_source", I(source)}});
    }
};
}  // namespace

TEST(ContactTablesTest, LiveRecordEqualToRecoveredLeavesOneLiveRow) {
    FakeTable table;
    table.columns = {"_id", "name_raw_contact_id", "photo_id"};
    table.recovered = {table.Record({{"_id", I(4)}, {"name_raw_contact_id", I(7)}, {"photo_id", I(9)}}),
                       table.Record({{"_id", I(4)}, {"name_raw_contact_id", I(8)}})};
    table.live = {table.Record({{"_id", I(4)}, {"name_raw_contact_id", I(7)}, {"photo_id", I(9)}})};
    CContactsTableAnalyze contacts;
    ASSERT_EQ(contacts.BuildRows(&table, 2, false), RK_OK);
    ASSERT_EQ(contacts.BuildRows(&table, 1, true), RK_OK);
    std::vector<CTableRow*> rows = Rows(contacts);
    ASSERT_EQ(rows.size(), 2u);
    int live = 0;
    for (CTableRow* row : rows) {
        auto* c = static_cast<CContactsTableRow*>(row);
        EXPECT_EQ(c->tableKind, kTableContacts);
        if (c->nameRawContactId == 7) {
            EXPECT_EQ(c->live, 1);
            EXPECT_EQ(c->photoId, 9);
            ++live;
        } else {
            EXPECT_EQ(c->live, 0);
            EXPECT_EQ(c->photoId, 0);
        }
    }
    EXPECT_EQ(live, 1);
}

TEST(ContactTablesTest, RawContactVersionRule) {
    for (int order = 0; order < 2; ++order) {
        RawContacts raw;
        auto v3 = raw.Record(5, 3, 0, 2, "Three"), v5 = raw.Record(5, 5, 0, 2, "Five");
        raw.table.recovered = order == 0 ? std::vector<std::vector<FieldValue>>{v3, v5}
                                         : std::vector<std::vector<FieldValue>>{v5, v3};
        CRawContactsTableAnalyze analyzer;
        ASSERT_EQ(analyzer.BuildRows(&raw.table, 2, false), RK_OK);
        std::vector<CTableRow*> rows = Rows(analyzer);
        ASSERT_EQ(rows.size(), 1u) << order;
        EXPECT_EQ(static_cast<CRawContactsTableRow*>(rows[0])->version, 5);
        EXPECT_EQ(rows[0]->ToString(), "Five");
    }
    // A live record of the same contact with a version of at least 5 replaces it...
    RawContacts raw;
    raw.table.recovered = {raw.Record(5, 5, 0, 2, "Five")};
    raw.table.live = {raw.Record(5, 6, 0, 2, "Six"), raw.Record(5, 7, 0, 3, "Other contact")};
    CRawContactsTableAnalyze analyzer;
    analyzer.BuildRows(&raw.table, 1, false);
    analyzer.BuildRows(&raw.table, 1, true);
    std::vector<CTableRow*> rows = Rows(analyzer);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]->ToString(), "Six");
    EXPECT_EQ(rows[0]->live, 1);
    // ...one of another contact is filed beside it, and a later recovered record is dropped.
    RawContacts other;
    other.table.recovered = {other.Record(5, 5, 0, 2, "Five")};
    other.table.live = {other.Record(5, 7, 0, 3, "Moved")};
    CRawContactsTableAnalyze beside;
    beside.BuildRows(&other.table, 1, false);
    beside.BuildRows(&other.table, 1, true);
    EXPECT_EQ(Rows(beside).size(), 2u);
    other.table.recovered = {other.Record(5, 9, 0, 2, "Nine")};
    ASSERT_EQ(beside.BuildRows(&other.table, 1, false), RK_OK);
    EXPECT_EQ(Rows(beside).size(), 2u);  // a live row of id 5 is filed: the recovered one goes
}

TEST(ContactTablesTest, RawContactChecksAndSourceKinds) {
    RawContacts raw;
    raw.table.live = {raw.Record(1, 1, 2, 1, "Deleted twice"), raw.Record(2, 1, 0, 1, "Zero", 0),
                      raw.Record(3, 1, 1, 1, "Ninety-nine", 99), raw.Record(4, 1, 0, 1, "Structured", 40),
                      raw.Record(6, 1, 0, 1, "Email", 10), raw.Record(7, 1, 0, 1, "Nick", 35),
                      raw.Record(8, 1, 0, 1, "Phone", 20), raw.Record(9, 1, 0, 1, "Org", 30)};
    CRawContactsTableAnalyze analyzer;
    ASSERT_EQ(analyzer.BuildRows(&raw.table, 8, true), RK_OK);
    std::map<int64_t, int32_t> kinds;
    for (CTableRow* row : Rows(analyzer)) kinds[row->id] = static_cast<CRawContactsTableRow*>(row)->sourceKind;
    EXPECT_EQ(kinds, (std::map<int64_t, int32_t>{{2, 0}, {3, 0}, {4, 5}, {6, 1}, {7, 2}, {8, 4}, {9, 3}}));
    auto* three = static_cast<CRawContactsTableRow*>(analyzer.GetRows(0)->find(3)->second);
    EXPECT_EQ(three->deleted, 1);
    EXPECT_EQ(three->displayNameAlt, "Ninety-nine alt");

    CRawContactsTableRow* placeholder = MakePlaceholderRawContact(12, 34);
    ASSERT_NE(placeholder, nullptr);
    EXPECT_EQ(placeholder->live, 0);
    EXPECT_EQ(placeholder->deleted, 1);
    EXPECT_EQ(placeholder->sourceKind, 5);
    EXPECT_EQ(placeholder->contactId, 34);
    EXPECT_EQ(placeholder->id, 12);
    placeholder->Release();
}

// Bytes carved from other cells, decoded under raw_contacts' columns, hold values of storage
// classes these columns never store; such a record with the id of a live raw contact must not
// stay beside it as a second contact.
TEST(ContactTablesTest, RecoveredRawContactOfWrongStorageClassesIsDropped) {
    RawContacts raw;
    auto blobDeleted = raw.Record(1, 12, 0, 2360579, "");
    auto numberName = raw.Record(1, 3, 0, 77, "");
    auto textVersion = raw.Record(1, 3, 0, 78, "");
    auto realContact = raw.Record(1, 3, 0, 0, "");
    blobDeleted[3] = raw.table.Blob("");
    numberName[5] = I(30807850811651);
    textVersion[2] = raw.table.Text("-,");
    realContact[4] = FieldValue::MakeReal(2.5);
    auto kept = raw.Record(1, 3, 0, 79, "Kept");
    kept[6] = FieldValue::MakeNull();  // a NULL fits any column
    raw.table.recovered = {blobDeleted, numberName, textVersion, realContact, kept};
    CRawContactsTableAnalyze analyzer;
    ASSERT_EQ(analyzer.BuildRows(&raw.table, 5, false), RK_OK);
    std::vector<CTableRow*> rows = Rows(analyzer);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]->ToString(), "Kept");
    // Live records are what the database holds: read as they stand.
    raw.table.live = {numberName};
    ASSERT_EQ(analyzer.BuildRows(&raw.table, 1, true), RK_OK);
    EXPECT_EQ(Rows(analyzer).size(), 2u);
}

TEST(ContactTablesTest, MimetypesKnownOnly) {
    FakeTable table;
    table.columns = {"_id", "mimetype"};
    table.live = {table.Record({{"_id", I(1)}, {"mimetype", table.Text("vnd.android.cursor.item/email_v2")}}),
                  table.Record({{"_id", I(2)}, {"mimetype", table.Text("vnd.android.cursor.item/unheard_of")}}),
                  table.Record({{"_id", I(3)}, {"mimetype", table.Text("")}}),
                  table.Record({{"_id", I(4)}, {"mimetype", table.Text("vnd.android.cursor.item/relation")}}),
                  table.Record({{"_id", I(5)}, {"mimetype", table.Text("vnd.android.cursor.item/name")}})};
    CMimetypesTableAnalyze mimetypes;
    ASSERT_EQ(mimetypes.BuildRows(&table, 5, true), RK_OK);
    std::map<int64_t, int32_t> kinds;
    for (CTableRow* row : Rows(mimetypes)) kinds[row->id] = static_cast<CMimetypesTableRow*>(row)->dataKind;
    EXPECT_EQ(kinds, (std::map<int64_t, int32_t>{{1, kDataEmail}, {4, kDataRelation}, {5, kDataName}}));
    EXPECT_EQ(MimetypeKindOf("vnd.android.cursor.item/photo"), kDataPhoto);
    EXPECT_EQ(MimetypeKindOf("vnd.android.cursor.item/Photo"), kDataUnknown);
    EXPECT_EQ(MimetypeKindOf("vnd.android.cursor.item/photo "), kDataUnknown);
    for (int32_t kind = 0; kind < kDataUnknown; ++kind) EXPECT_EQ(MimetypeKindOf(MimetypeOfKind(kind)), kind);
}

TEST(ContactTablesTest, GroupsNeedATitleAndAFlag) {
    FakeTable table;
    table.columns = {"_id", "version", "title", "deleted"};
    table.live = {table.Record({{"_id", I(1)}, {"version", I(2)}, {"title", table.Text("Friends")}, {"deleted", I(0)}}),
                  table.Record({{"_id", I(2)}, {"title", table.Text("")}, {"deleted", I(0)}}),
                  table.Record({{"_id", I(3)}, {"title", table.Text("Gone")}, {"deleted", I(3)}}),
                  table.Record({{"_id", I(4)}, {"title", table.Text("Family")}, {"deleted", I(1)}})};
    CGroupsTableAnalyze groups;
    ASSERT_EQ(groups.BuildRows(&table, 4, true), RK_OK);
    std::vector<CTableRow*> rows = Rows(groups);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]->ToString(), "Friends");
    EXPECT_EQ(static_cast<CGroupsTableRow*>(rows[0])->version, 2);
    EXPECT_EQ(static_cast<CGroupsTableRow*>(rows[1])->deleted, 1);
}

TEST(ContactTablesTest, AbsentColumnReadsAsNullNotAsTheFirstColumn) {
    // A layout without "version": the _id must not be read in its place.
    FakeTable table;
    table.columns = {"_id", "title", "deleted"};
    table.live = {table.Record({{"_id", I(77)}, {"title", table.Text("Work")}, {"deleted", I(0)}})};
    CGroupsTableAnalyze groups;
    ASSERT_EQ(groups.BuildRows(&table, 1, true), RK_OK);
    ASSERT_EQ(groups.RowCount(), 1u);
    EXPECT_EQ(static_cast<CGroupsTableRow*>(groups.GetRows(0)->begin()->second)->version, 0);
}

TEST(ContactTablesTest, PhoneLookupReversalAndBadRecordsAreSkipped) {
    FakeTable table;
    table.columns = {"data_id", "raw_contact_id", "normalized_number", "min_match"};
    auto rec = [&](int64_t id, const std::string& number, const std::string& minMatch) {
        return table.Record({{"data_id", I(id)}, {"raw_contact_id", I(id * 10)}, {"normalized_number", table.Text(number)},
                             {"min_match", table.Text(minMatch)}});
    };
    table.live = {rec(1, "87654321", "4321"), rec(2, "321", "321"), rec(3, "", "1"), rec(4, "9876", "x"),
                  rec(5, "4455", "55")};
    CPhoneLookupTableAnalyze legacy;  // {2, 3}: numbers are stored reversed
    ASSERT_EQ(legacy.BuildRows(&table, 5, true), RK_OK);
    std::map<int64_t, std::string> numbers;
    for (CTableRow* row : Rows(legacy)) {
        auto* p = static_cast<CPhoneLookupTableRow*>(row);
        numbers[p->id] = p->normalizedNumber + "|" + p->minMatch;
        EXPECT_EQ(p->rawContactId, p->id * 10);
    }
    // The third and fourth records are bad; the fifth is still read.
    EXPECT_EQ(numbers, (std::map<int64_t, std::string>{{1, "12345678|1234"}, {2, "123|123"}, {5, "5544|55"}}));

    VersionPair kitkat{3, 0};
    CPhoneLookupTableAnalyze modern;
    modern.SetVersion(&kitkat);
    FakeTable second;
    second.columns = table.columns;
    second.live = {second.Record({{"data_id", I(1)}, {"raw_contact_id", I(1)}, {"normalized_number", second.Text("321")},
                                  {"min_match", second.Text("321")}}),
                   second.Record({{"data_id", I(2)}, {"raw_contact_id", I(1)},
                                  {"normalized_number", second.Text("+15551234567")},
                                  {"min_match", second.Text("7654321")}})};
    ASSERT_EQ(modern.BuildRows(&second, 2, true), RK_OK);
    ASSERT_EQ(modern.RowCount(), 1u);
    EXPECT_EQ(modern.GetRows(0)->begin()->second->ToString(), "+15551234567");
}

TEST(ContactTablesTest, SearchIndexContentAndCancellation) {
    FakeTable table;
    table.columns = {"docid", "c0contact_id", "c1content", "c2name", "c3tokens"};
    table.live = {table.Record({{"docid", I(3)}, {"c0contact_id", I(8)}, {"c1content", table.Text("ann@example.com")},
                                {"c2name", table.Text("Ann")}, {"c3tokens", table.Text("5551234567 Ann")}})};
    CSearchIndexContentTableAnalyze index;
    ASSERT_EQ(index.BuildRows(&table, 1, true), RK_OK);
    auto* row = static_cast<CSearchIndexContentTableRow*>(index.GetRows(0)->begin()->second);
    EXPECT_EQ(row->contactId, 8);
    EXPECT_EQ(row->content, "ann@example.com");
    EXPECT_EQ(row->tokens, "5551234567 Ann");
    EXPECT_EQ(row->tableKind, kTableSearchIndexContent);

    RecordingSink sink;
    sink.stopAfter = 1;
    CSearchIndexContentTableAnalyze cancelled;
    cancelled.SetSink(&sink);
    ResultCode rc = cancelled.BuildRows(&table, 1, true);
    EXPECT_EQ(ErrorNumber(rc), 13u);
    EXPECT_EQ(cancelled.RowCount(), 0u);
}

TEST(ContactTablesTest, UndecodableRecordIsSkipped) {
    FakeTable table;
    table.columns = {"_id", "name_raw_contact_id", "photo_id"};
    table.live = {table.Record({{"_id", I(1)}}), table.Record({{"_id", I(2)}}), table.Record({{"_id", I(3)}})};
    table.badRecords = {1};
    CContactsTableAnalyze contacts;
    ASSERT_EQ(contacts.BuildRows(&table, 3, true), RK_OK);
    EXPECT_EQ(contacts.RowCount(), 2u);
    EXPECT_EQ(contacts.GetRows(0)->count(2), 0u);
}

TEST(ContactTablesTest, ParseDecimalLikeAtoi) {
    EXPECT_EQ(ParseDecimalInt64("  -12x"), -12);
    EXPECT_EQ(ParseDecimalInt64("+7"), 7);
    EXPECT_EQ(ParseDecimalInt64("abc"), 0);
    EXPECT_EQ(ParseDecimalInt64(""), 0);
    EXPECT_EQ(ParseDecimalInt64("99999999999999999999"), INT64_MAX);
    EXPECT_EQ(ParseDecimalInt64("-9223372036854775808"), INT64_MIN);
}
