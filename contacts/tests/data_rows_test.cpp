#include <gtest/gtest.h>

#include "contacts/tables/CDataTableAnalyze.h"
#include "contacts/tables/CDataTableContactEventRow.h"
#include "contacts/tables/CDataTableEmailV2Row.h"
#include "contacts/tables/CDataTableGroupMembershipRow.h"
#include "contacts/tables/CDataTableIMRow.h"
#include "contacts/tables/CDataTableNameRow.h"
#include "contacts/tables/CDataTableNicknameRow.h"
#include "contacts/tables/CDataTableNoteRow.h"
#include "contacts/tables/CDataTableOrganizationRow.h"
#include "contacts/tables/CDataTablePhoneV2Row.h"
#include "contacts/tables/CDataTablePhotoRow.h"
#include "contacts/tables/CDataTablePostalAddressRow.h"
#include "contacts/tables/CDataTableRelationRow.h"
#include "contacts/tables/CDataTableSipAddressRow.h"
#include "contacts/tables/CDataTableWebsiteRow.h"
#include "contacts/tables/CMimetypesTableAnalyze.h"
#include "sqlite_recovery/tests/FakeSQLiteEngine.h"

namespace {
FieldValue I(int64_t v) { return FieldValue::MakeInteger(v); }

// A data table and a mimetypes analyser whose ids are the DataKind + 1 (identity is 15, and 40
// names no mimetype).
class DataTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        mimeTable.columns = {"_id", "mimetype"};
        for (int32_t kind = 0; kind < kDataUnknown; ++kind)
            mimeTable.live.push_back(
                mimeTable.Record({{"_id", I(kind + 1)}, {"mimetype", mimeTable.Text(MimetypeOfKind(kind))}}));
        ASSERT_EQ(mimetypes.BuildRows(&mimeTable, kDataUnknown, true), RK_OK);
        data.columns = {"_id", "package_id", "mimetype_id", "raw_contact_id", "hash_id", "data_version"};
        for (int n = 1; n <= 15; ++n) data.columns.push_back("data" + std::to_string(n));
    }

    // One record: id, kind, raw contact, version and dataN values; texts given as strings.
    std::vector<FieldValue> Rec(int64_t id, int32_t kind, int64_t raw, std::map<std::string, std::string> texts,
                                int64_t version = 0) {
        std::map<std::string, FieldValue> values{
            {"_id", I(id)}, {"mimetype_id", I(kind + 1)}, {"raw_contact_id", I(raw)}, {"data_version", I(version)}};
        for (auto& t : texts) values[t.first] = data.Text(t.second);
        return data.Record(values);
    }

    // Builds the rows of the given records, live or recovered, into the analyser.
    void Build(CDataTableAnalyze& analyzer, std::vector<std::vector<FieldValue>> records, bool live) {
        (live ? data.live : data.recovered) = std::move(records);
        int count = static_cast<int>((live ? data.live : data.recovered).size());
        ASSERT_EQ(analyzer.BuildRows(&data, count, live), RK_OK);
    }

    template <class Row>
    std::vector<Row*> Filed(CDataTableAnalyze& analyzer, int32_t kind) {
        std::vector<Row*> rows;
        for (auto& entry : *analyzer.GetRows(CDataTableAnalyze::RowMapOfKind(kind)))
            rows.push_back(dynamic_cast<Row*>(entry.second));
        return rows;
    }

    FakeTable mimeTable, data;
    CMimetypesTableAnalyze mimetypes;
};
}  // namespace

TEST_F(DataTableTest, EveryKindIsBuiltAndFiledInItsMultimap) {
    CDataTableAnalyze analyzer(&mimetypes);
    std::vector<std::vector<FieldValue>> records{
           Rec(1, kDataName, 9, {{"data1", "Ann Lee"}, {"data2", "Ann"}, {"data3", "Lee"}, {"data10", "1"}, {"data11", "0"}}),
           Rec(3, kDataNickname, 9, {{"data1", "Annie"}, {"data2", "4"}}),
           Rec(4, kDataPhone, 9, {{"data1", "+1 555 123 4567"}, {"data2", "0"}, {"data3", "Boat"}, {"data4", "+15551234567"}}),
           Rec(5, kDataEmail, 9, {{"data1", "ann@example.com"}, {"data2", "2"}}),
           Rec(6, kDataIm, 9, {{"data1", "ann.lee"}, {"data2", "1"}, {"data5", "3"}}),
           Rec(7, kDataOrganization, 9, {{"data1", "Acme"}, {"data2", "1"}, {"data4", "Engineer"}, {"data5", "R&D"}}),
           Rec(8, kDataPostal, 9, {{"data1", "1 Main St\nSpringfield"}, {"data2", "1"}, {"data4", "1 Main St"}, {"data7", "Springfield"}}),
           Rec(9, kDataGroupMembership, 9, {{"data1", "12"}}),
           Rec(10, kDataContactEvent, 9, {{"data1", "1990-05-17"}, {"data2", "3"}}),
           Rec(11, kDataWebsite, 9, {{"data1", "https://ann.example"}, {"data2", "1"}}),
           Rec(12, kDataRelation, 9, {{"data1", "Bob"}, {"data2", "14"}}),
           Rec(13, kDataSipAddress, 9, {{"data1", "ann@sip.example"}, {"data2", "1"}}),
           Rec(14, kDataNote, 9, {{"data1", "Met at the fair"}}),
           Rec(15, kDataIdentity, 9, {{"data1", "someone"}}),
           Rec(16, 39, 9, {{"data1", "no such mimetype"}})};
    auto photo = Rec(2, kDataPhoto, 9, {{"data14", "77"}});
    photo[data.FindColumn("data15")] = data.Blob(std::string("\x89PNG\r\n\x1a\n\0\0", 10));
    records.push_back(photo);
    Build(analyzer, records, true);

    // Relation, identity and unknown mimetypes give no filed row; every other kind one.
    EXPECT_EQ(analyzer.RowCount(), 13u);
    auto* name = Filed<CDataTableNameRow>(analyzer, kDataName).at(0);
    EXPECT_EQ(name->ToString(), "Name:Ann Lee");
    EXPECT_EQ(name->familyName, "Lee");
    EXPECT_EQ(name->fullNameStyle, 1);
    EXPECT_EQ(name->rawContactId, 9);
    EXPECT_EQ(name->tableKind, kTableData);
    EXPECT_EQ(name->live, 1);
    auto* pic = Filed<CDataTablePhotoRow>(analyzer, kDataPhoto).at(0);
    EXPECT_EQ(pic->byteCount, 10);
    EXPECT_EQ(pic->photoFileId, 77);
    EXPECT_EQ(pic->bytes[1], 'P');
    EXPECT_EQ(pic->ToString(), "Photo:YES:");
    EXPECT_EQ(Filed<CDataTableNicknameRow>(analyzer, kDataNickname).at(0)->ToString(), "Nickname(SHORT):Annie");
    auto* phone = Filed<CDataTablePhoneV2Row>(analyzer, kDataPhone).at(0);
    EXPECT_EQ(phone->ToString(), "Phone(Boat):+1 555 123 4567");
    EXPECT_EQ(phone->normalizedNumber, "76543215551+");  // {2, 3}: stored reversed
    EXPECT_EQ(Filed<CDataTableEmailV2Row>(analyzer, kDataEmail).at(0)->ToString(), "Email(WORK):ann@example.com");
    EXPECT_EQ(Filed<CDataTableIMRow>(analyzer, kDataIm).at(0)->ToString(), "SKYPE(HOME):ann.lee");
    auto* org = Filed<CDataTableOrganizationRow>(analyzer, kDataOrganization).at(0);
    EXPECT_EQ(org->ToString(), "Organization(WORK):Engineer,Acme");
    EXPECT_EQ(org->department, "R&D");
    EXPECT_EQ(Filed<CDataTablePostalAddressRow>(analyzer, kDataPostal).at(0)->ToString(),
              "Postal Address:1 Main St\nSpringfield");
    EXPECT_EQ(Filed<CDataTableGroupMembershipRow>(analyzer, kDataGroupMembership).at(0)->ToString(),
              "Group Membership:12");
    EXPECT_EQ(Filed<CDataTableContactEventRow>(analyzer, kDataContactEvent).at(0)->ToString(), "Event(BIRTHDAY):1990-05-17");
    EXPECT_EQ(Filed<CDataTableWebsiteRow>(analyzer, kDataWebsite).at(0)->ToString(), "Website(HOMEPAGE):https://ann.example");
    EXPECT_EQ(Filed<CDataTableSipAddressRow>(analyzer, kDataSipAddress).at(0)->ToString(), "Internet Call(HOME):ann@sip.example");
    EXPECT_EQ(Filed<CDataTableNoteRow>(analyzer, kDataNote).at(0)->ToString(), "Note:Met at the fair");
    EXPECT_EQ(analyzer.MembershipIndex().count(9), 1u);
    // The relation row is built and checked even though it is not filed.
    CDataTableRow* relation = analyzer.BuildDataRow(kDataRelation, 10);
    ASSERT_NE(relation, nullptr);
    EXPECT_EQ(relation->ToString(), "Relation(SPOUSE):Bob");
    relation->Release();
    EXPECT_EQ(analyzer.BuildDataRow(kDataIdentity, 13), nullptr);
}

TEST_F(DataTableTest, PhoneTextsAndTheNormalizedNumberOnNewerDevices) {
    CDataTableAnalyze analyzer(&mimetypes);
    VersionPair kitkat{4, 4};
    analyzer.SetVersion(&kitkat);
    auto letters = Rec(1, kDataPhone, 1, {{"data1", "CALL ME"}, {"data4", "+15551234567"}});
    Build(analyzer, {letters}, false);
    EXPECT_EQ(analyzer.RowCount(), 0u);  // carved from free space: must look like a number
    Build(analyzer, {letters}, true);
    auto rows = Filed<CDataTablePhoneV2Row>(analyzer, kDataPhone);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]->normalizedNumber, "+15551234567");
    EXPECT_EQ(rows[0]->type, 7);  // no data2
    // A type out of range, a present optional value without text, a blank number drop the record.
    auto blob = Rec(3, kDataPhone, 1, {{"data1", "555"}});
    blob[data.FindColumn("data4")] = data.Blob("555");
    Build(analyzer, {Rec(2, kDataPhone, 1, {{"data1", "555"}, {"data2", "21"}}), blob,
                     Rec(4, kDataPhone, 1, {{"data1", "   "}})},
          true);
    EXPECT_EQ(analyzer.RowCount(), 1u);
}

TEST_F(DataTableTest, NicknameEmailAndImTypes) {
    CDataTableAnalyze analyzer(&mimetypes);
    Build(analyzer,
          {Rec(1, kDataNickname, 1, {{"data1", "Nick"}}), Rec(2, kDataNickname, 1, {{"data1", "Bad"}, {"data2", "9"}}),
           Rec(3, kDataEmail, 1, {{"data1", "a@b.cd"}}), Rec(4, kDataEmail, 1, {{"data1", "not an address"}, {"data2", "1"}}),
           Rec(5, kDataIm, 1, {{"data1", "h1"}, {"data2", "3"}, {"data5", "-1"}, {"data6", "Matrix"}}),
           Rec(6, kDataIm, 1, {{"data1", "h2"}, {"data2", "3"}, {"data5", "9"}}),
           Rec(7, kDataIm, 1, {{"data1", "h3"}, {"data5", "1"}})},
          false);
    auto nick = Filed<CDataTableNicknameRow>(analyzer, kDataNickname);
    ASSERT_EQ(nick.size(), 1u);
    EXPECT_EQ(nick[0]->type, 1);
    EXPECT_EQ(Filed<CDataTableEmailV2Row>(analyzer, kDataEmail).size(), 0u);  // recovered without data2
    auto im = Filed<CDataTableIMRow>(analyzer, kDataIm);
    ASSERT_EQ(im.size(), 1u);
    EXPECT_EQ(im[0]->protocol, -1);
    EXPECT_EQ(im[0]->customProtocol, "Matrix");
    EXPECT_EQ(im[0]->ToString(), "Matrix(OTHER):h1");
    // A live address that a sync adapter left without a type is kept, as "other"; it need not
    // look like an address.
    Build(analyzer, {Rec(3, kDataEmail, 1, {{"data1", "a@b.cd"}}), Rec(4, kDataEmail, 1, {{"data1", "odd"}, {"data2", "0"}, {"data3", "  "}})},
          true);
    auto mail = Filed<CDataTableEmailV2Row>(analyzer, kDataEmail);
    ASSERT_EQ(mail.size(), 2u);
    EXPECT_EQ(mail[0]->type, 3);
    EXPECT_EQ(mail[1]->ToString(), "Email():odd");  // a blank label becomes empty
}

TEST_F(DataTableTest, NameStylesAbsentAreUndefinedPresentAreChecked) {
    // Sync adapters leave data10/data11 NULL: such a row is kept, recovered or live; a style that
    // is there must be one.
    auto bare = Rec(1, kDataName, 1, {{"data1", "Synced Name"}});
    auto bad = Rec(2, kDataName, 1, {{"data1", "Bad style"}, {"data10", "1"}, {"data11", "2"}});
    for (bool live : {false, true}) {
        CDataTableAnalyze analyzer(&mimetypes);
        Build(analyzer, {bare, bad}, live);
        auto names = Filed<CDataTableNameRow>(analyzer, kDataName);
        ASSERT_EQ(names.size(), 1u) << live;
        EXPECT_EQ(names[0]->ToString(), "Name:Synced Name");
        EXPECT_EQ(names[0]->fullNameStyle, 0);
        EXPECT_EQ(names[0]->phoneticNameStyle, 0);
    }
}

TEST_F(DataTableTest, OrganizationPostalWebsiteAndGroupChecks) {
    CDataTableAnalyze analyzer(&mimetypes);
    Build(analyzer,
          {Rec(1, kDataOrganization, 1, {{"data5", "Only a department"}}),
           Rec(2, kDataOrganization, 1, {{"data1", "  "}, {"data4", "Boss"}}),
           Rec(3, kDataOrganization, 1, {{"data4", "Boss"}, {"data10", "2"}}),
           Rec(4, kDataOrganization, 1, {{"data4", "Boss"}}),
           Rec(5, kDataPostal, 1, {{"data1", "Somewhere"}, {"data2", "4"}}),
           Rec(6, kDataPostal, 1, {{"data4", "Street only"}}),
           Rec(7, kDataWebsite, 1, {{"data1", "a.example"}, {"data2", "custom"}}),
           Rec(8, kDataWebsite, 1, {{"data1", "b.example"}, {"data2", "0"}, {"data3", "Shop"}}),
           Rec(9, kDataGroupMembership, 1, {{"data1", "12a"}}),
           Rec(10, kDataGroupMembership, 1, {{"data1", "12345678901"}}),
           Rec(11, kDataGroupMembership, 1, {{"data1", "1234567890"}}),
           Rec(12, kDataContactEvent, 1, {{"data1", "2001-01-01"}, {"data2", "4"}})},
          true);
    auto orgs = Filed<CDataTableOrganizationRow>(analyzer, kDataOrganization);
    ASSERT_EQ(orgs.size(), 1u);
    EXPECT_EQ(orgs[0]->id, 4);
    EXPECT_EQ(orgs[0]->ToString(), "Organization(OTHER):Boss,");
    auto postal = Filed<CDataTablePostalAddressRow>(analyzer, kDataPostal);
    ASSERT_EQ(postal.size(), 1u);
    EXPECT_EQ(postal[0]->street, "Street only");
    auto sites = Filed<CDataTableWebsiteRow>(analyzer, kDataWebsite);
    ASSERT_EQ(sites.size(), 2u);
    EXPECT_EQ(sites[0]->ToString(), "Website(OTHER):a.example");
    EXPECT_EQ(sites[1]->ToString(), "Website(Shop):b.example");
    auto groups = Filed<CDataTableGroupMembershipRow>(analyzer, kDataGroupMembership);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0]->groupRowId, "1234567890");
    EXPECT_EQ(Filed<CDataTableContactEventRow>(analyzer, kDataContactEvent).size(), 0u);
}

TEST_F(DataTableTest, NicknameVersionRule) {
    CDataTableAnalyze analyzer(&mimetypes);
    Build(analyzer, {Rec(5, kDataNickname, 1, {{"data1", "First"}}, 2), Rec(5, kDataNickname, 1, {{"data1", "Second"}}, 2),
                     Rec(5, kDataNickname, 2, {{"data1", "Other raw contact"}}, 1)},
          false);
    auto nicks = Filed<CDataTableNicknameRow>(analyzer, kDataNickname);
    ASSERT_EQ(nicks.size(), 2u);
    EXPECT_EQ(nicks[0]->name, "First");
    Build(analyzer, {Rec(5, kDataNickname, 1, {{"data1", "Newer"}}, 3)}, false);
    nicks = Filed<CDataTableNicknameRow>(analyzer, kDataNickname);
    ASSERT_EQ(nicks.size(), 2u);
    EXPECT_EQ(nicks[0]->name, "Other raw contact");
    EXPECT_EQ(nicks[1]->name, "Newer");
    Build(analyzer, {Rec(5, kDataNickname, 1, {{"data1", "Live one"}}, 1)}, true);
    nicks = Filed<CDataTableNicknameRow>(analyzer, kDataNickname);
    ASSERT_EQ(nicks.size(), 2u);
    EXPECT_EQ(nicks[1]->name, "Live one");
    EXPECT_EQ(nicks[1]->live, 1);
}

TEST_F(DataTableTest, EqualRowsMergeIntoOneTakingTheNewLiveFlag) {
    CDataTableAnalyze analyzer(&mimetypes);
    auto mail = Rec(3, kDataEmail, 1, {{"data1", "a@b.cd"}, {"data2", "1"}});
    Build(analyzer, {mail}, false);
    Build(analyzer, {mail, Rec(3, kDataEmail, 1, {{"data1", "a@b.cd"}, {"data2", "2"}})}, true);
    auto rows = Filed<CDataTableEmailV2Row>(analyzer, kDataEmail);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]->live, 1);
    EXPECT_TRUE(rows[0]->SameValue(rows[1]));
    EXPECT_FALSE(rows[0]->Equals(rows[1]));
    analyzer.Reset();
    EXPECT_EQ(rows[0]->live, 0);
}

TEST_F(DataTableTest, MembershipReplacedExactlyOnce) {
    CDataTableAnalyze analyzer(&mimetypes);
    // The same membership under a new id, then a newer version under the same id.
    Build(analyzer, {Rec(20, kDataGroupMembership, 1, {{"data1", "7"}}), Rec(21, kDataGroupMembership, 1, {{"data1", "7"}}),
                     Rec(21, kDataGroupMembership, 1, {{"data1", "7"}}, 4), Rec(22, kDataGroupMembership, 1, {{"data1", "8"}})},
          false);
    auto rows = Filed<CDataTableGroupMembershipRow>(analyzer, kDataGroupMembership);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]->id, 21);
    EXPECT_EQ(rows[0]->dataVersion, 4);
    EXPECT_EQ(rows[1]->groupRowId, "8");
    const auto& index = analyzer.MembershipIndex();
    ASSERT_EQ(index.size(), 2u);
    for (auto& entry : index) EXPECT_TRUE(entry.second == rows[0] || entry.second == rows[1]);
}

TEST_F(DataTableTest, RecordsWithoutAKindOrWithBadKeysGiveNoRow) {
    CDataTableAnalyze noMimetypes(nullptr);
    Build(noMimetypes, {Rec(1, kDataNote, 1, {{"data1", "x"}})}, true);
    EXPECT_EQ(noMimetypes.RowCount(), 0u);
    CDataTableAnalyze analyzer(&mimetypes);
    data.badRecords = {0};
    Build(analyzer, {Rec(1, kDataNote, 1, {{"data1", "x"}}), Rec(2, kDataNote, 1, {{"data1", "y"}})}, true);
    EXPECT_EQ(analyzer.RowCount(), 1u);
    EXPECT_EQ(DataKindOfMimetypeId(&mimetypes, 14), kDataNote);
    EXPECT_EQ(DataKindOfMimetypeId(&mimetypes, 99), kDataUnknown);
}

TEST(SearchIndexRowsTest, ContentLinesGiveEmailAndImRows) {
    std::vector<CDataTableRow*> rows;
    ASSERT_EQ(ParseSearchContentRows("ann@example.com\nSkype/ann.lee\nann@example.com\nMatrix/@ann:x.org\na/b/c\n"
                                     "Jabber/\nplain words",
                                     rows),
              RK_OK);
    ASSERT_EQ(rows.size(), 3u);
    int emails = 0;
    for (CDataTableRow* row : rows) {
        EXPECT_EQ(row->live, 0);
        EXPECT_EQ(row->id, 0);
        EXPECT_EQ(row->rawContactId, -1);
        if (auto* mail = dynamic_cast<CDataTableEmailV2Row*>(row)) {
            EXPECT_EQ(mail->address, "ann@example.com");
            EXPECT_EQ(mail->type, 3);
            ++emails;
        } else if (auto* im = dynamic_cast<CDataTableIMRow*>(row)) {
            if (im->protocol == 3) {
                EXPECT_EQ(im->handle, "ann.lee");
            } else {
                EXPECT_EQ(im->protocol, -1);
                EXPECT_EQ(im->customProtocol, "Matrix");
                EXPECT_EQ(im->handle, "@ann:x.org");
            }
        }
        row->Release();
    }
    EXPECT_EQ(emails, 1);
    EXPECT_EQ(ImProtocolFromName("Google Talk/x"), 5);
    EXPECT_EQ(ImProtocolFromName("skype/x"), -1);
    EXPECT_EQ(ImProtocolFromName("NETMEETING"), 8);
}

TEST(SearchIndexRowsTest, TokensGivePhoneRowsAndLookupNumbersToo) {
    std::vector<CDataTableRow*> rows;
    ASSERT_EQ(ParseSearchTokenRows("+8613912345678 13912345678 5678 Ann 13912345678", rows), RK_OK);
    ASSERT_EQ(rows.size(), 1u);
    auto* phone = dynamic_cast<CDataTablePhoneV2Row*>(rows[0]);
    ASSERT_NE(phone, nullptr);
    EXPECT_EQ(phone->number, "13912345678");
    EXPECT_EQ(phone->type, 7);
    EXPECT_EQ(phone->rawContactId, -1);
    phone->Release();
    ASSERT_EQ(MakePhoneRowFromLookup(rows, "+15551234567", 42), RK_OK);
    ASSERT_EQ(rows.size(), 1u);
    phone = dynamic_cast<CDataTablePhoneV2Row*>(rows[0]);
    EXPECT_EQ(phone->rawContactId, 42);
    EXPECT_EQ(phone->dataKind, kDataPhone);
    // Numbers are the same value when they match as phone numbers.
    CDataTablePhoneV2Row national;
    national.number = "5551234567";
    national.normalizedNumber = "5551234567";
    EXPECT_TRUE(phone->SameValue(&national));
    CDataTableEmailV2Row mail;
    EXPECT_FALSE(phone->SameValue(&mail));
    phone->Release();
}
