// The table analysers over contacts2.db files made by the sqlite3 program: the live rows as the
// SQLite library itself reads them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>

#include "contacts/tables/CContactsTableRow.h"
#include "contacts/tables/CDataTableEmailV2Row.h"
#include "contacts/tables/CDataTableIMRow.h"
#include "contacts/tables/CDataTableNameRow.h"
#include "contacts/tables/CDataTablePhoneV2Row.h"
#include "contacts/tables/CDataTablePhotoRow.h"
#include "contacts/tables/CGroupsTableRow.h"
#include "contacts/tables/CPhoneLookupTableRow.h"
#include "contacts/tables/CRawContactsTableRow.h"
#include "contacts/tables/CSearchIndexContentTableRow.h"
#include "contacts/tests/ContactTablesRun.h"
#include "platform/FileSystem.h"
#include "platform/StringConversion.h"
#include "testing/LiveSQLite.h"

namespace {

std::string FixtureFolder(const std::string& name) {
    const char* root = std::getenv("RK_TESTDATA");
    return std::string(root ? root : "../testdata") + "/contacts2_fixtures/" + name;
}

class ContactsFixtureTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        folder_ = FixtureFolder(GetParam());
        if (platform::FileSize(folder_ + "/oracle.db") <= 0) GTEST_SKIP() << "no fixture at " << folder_;
        legacy_ = GetParam() == "legacy";
        engine_ = std::make_unique<LiveSQLiteEngine>();
        ASSERT_EQ(engine_->OpenDatabase(platform::Utf8ToWide(folder_ + "/oracle.db")), RK_OK);
        run_.SetVersion(legacy_ ? VersionPair{2, 3} : VersionPair{4, 4});
        ASSERT_EQ(run_.mimetypes.Analyze(engine_.get(), true), RK_OK);
        for (CTableAnalyze* analyzer : run_.RunList()) ASSERT_EQ(analyzer->Analyze(engine_.get(), true), RK_OK);
    }
    std::string folder_;
    bool legacy_ = false;
    std::unique_ptr<LiveSQLiteEngine> engine_;
    ContactTablesRun run_;
};

}  // namespace

TEST_P(ContactsFixtureTest, SingleTables) {
    // The fifteen known mimetypes; the vendor's own is dropped.
    EXPECT_EQ(run_.mimetypes.RowCount(), 15u);
    auto contacts = ContactTablesRun::Rows<CContactsTableRow>(run_.contacts);
    ASSERT_EQ(contacts.size(), 4u);
    EXPECT_EQ(contacts.count(3), 0u);
    EXPECT_EQ(contacts.find(1)->second->photoId, 2);
    EXPECT_EQ(contacts.find(2)->second->photoId, 0);  // NULL

    auto raw = ContactTablesRun::Rows<CRawContactsTableRow>(run_.rawContacts);
    ASSERT_EQ(raw.size(), 4u);
    EXPECT_EQ(raw.find(1)->second->ToString(), "Ann Lee");
    EXPECT_EQ(raw.find(1)->second->sourceKind, 5);
    EXPECT_EQ(raw.find(1)->second->displayNameAlt, "Lee, Ann");
    EXPECT_EQ(raw.find(4)->second->deleted, 1);
    EXPECT_EQ(raw.find(4)->second->version, 2);  // raised by the provider's trigger
    EXPECT_EQ(raw.find(5)->second->ToString(), "Eve Late");
    EXPECT_EQ(raw.find(5)->second->sourceKind, 4);
    for (auto& entry : raw) {
        EXPECT_EQ(entry.second->live, 1);
        EXPECT_EQ(entry.second->contactId, entry.first);
    }

    auto groups = ContactTablesRun::Rows<CGroupsTableRow>(run_.groups);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups.find(1)->second->ToString(), "Friends");
    EXPECT_EQ(groups.find(1)->second->version, 2);

    auto lookup = ContactTablesRun::Rows<CPhoneLookupTableRow>(run_.phoneLookup);
    ASSERT_EQ(lookup.size(), 4u);
    // Stored reversed on the old layout and read back in order there; never reversed on a newer one.
    EXPECT_EQ(lookup.find(4)->second->ToString(), "+15551234567");
    EXPECT_EQ(lookup.find(4)->second->minMatch, "1234567");
    EXPECT_EQ(lookup.find(21)->second->rawContactId, 2);

    auto index = ContactTablesRun::Rows<CSearchIndexContentTableRow>(run_.searchIndex);
    if (legacy_) {
        EXPECT_TRUE(index.empty());
    } else {
        ASSERT_EQ(index.size(), 4u);
        EXPECT_EQ(index.find(1)->second->contactId, 1);
        EXPECT_EQ(index.find(1)->second->tokens, "15551234567 5550100 Ann Lee");
        EXPECT_EQ(index.find(4)->second->content, "");  // NULL
        std::vector<CDataTableRow*> parsed;
        ASSERT_EQ(ParseSearchContentRows(index.find(1)->second->content, parsed), RK_OK);
        ASSERT_EQ(parsed.size(), 2u);
        EXPECT_EQ(parsed[0]->ToString(), "SKYPE(OTHER):ann.lee");
        EXPECT_EQ(parsed[1]->ToString(), "Email(OTHER):ann@example.com");
        for (CDataTableRow* row : parsed) row->Release();
        ASSERT_EQ(ParseSearchTokenRows(index.find(1)->second->tokens, parsed), RK_OK);
        ASSERT_EQ(parsed.size(), 1u);  // 5550100 is too short
        EXPECT_EQ(static_cast<CDataTablePhoneV2Row*>(parsed[0])->number, "15551234567");
        parsed[0]->Release();
    }
}

TEST_P(ContactsFixtureTest, DataRowsOfEveryKind) {
    std::multimap<int64_t, std::string> texts = run_.DataTexts(true);
    std::multimap<int64_t, std::string> expected{
        {1, "Name:Ann Lee"},
        {2, "Photo:YES:"},
        {3, "Nickname(SHORT):Annie"},
        {4, "Phone(MOBILE):+1 555 123 4567"},
        {5, "Phone(Boat):555-0100"},
        {6, "Email(WORK):ann@example.com"},
        {7, "SKYPE(HOME):ann.lee"},
        {8, "Matrix(OTHER):@ann:matrix.example"},
        {9, "Organization(WORK):Engineer,Acme"},
        {10, "Postal Address:1 Main St\nSpringfield"},
        {11, "Group Membership:1"},
        {12, "Note:Met at the fair"},
        {14, "Event(BIRTHDAY):1990-05-17"},
        {15, "Website(HOMEPAGE):https://ann.example"},
        {16, "Internet Call(HOME):ann@sip.example"},
        {20, "Name:Bob Stone"},
        {21, "Phone(WORK):+44 20 7946 0018"},
        {22, "Email(OTHER):bob@example.org"},
        {23, "Group Membership:2"},
        {40, "Name:Dora Soft"},
        {41, "Phone(HOME):0161 496 0000"},
        {50, "Name:Eve Late"},
        {51, "Email(OTHER):eve@example.com"},
    };
    EXPECT_EQ(texts, expected);
    EXPECT_TRUE(run_.DataTexts(false).empty());

    auto* photo = dynamic_cast<CDataTablePhotoRow*>(run_.DataRows(kDataPhoto).at(0));
    ASSERT_NE(photo, nullptr);
    EXPECT_EQ(photo->byteCount, 6000);
    EXPECT_EQ(photo->photoFileId, 77);
    auto* name = dynamic_cast<CDataTableNameRow*>(run_.DataRows(kDataName).at(0));
    EXPECT_EQ(name->familyName, "Lee");
    EXPECT_EQ(name->fullNameStyle, 1);
    for (CDataTableRow* row : run_.DataRows(kDataPhone)) {
        auto* phone = static_cast<CDataTablePhoneV2Row*>(row);
        // Stored reversed on the old layout, read back in order.
        if (phone->id == 4) {
            EXPECT_EQ(phone->normalizedNumber, "+15551234567");
        }
    }
    EXPECT_EQ(run_.data.MembershipIndex().size(), 2u);
    auto* im = dynamic_cast<CDataTableIMRow*>(run_.DataRows(kDataIm).at(1));
    EXPECT_EQ(im->protocol, -1);
    EXPECT_EQ(im->customProtocol, "Matrix");
}

INSTANTIATE_TEST_SUITE_P(Settings, ContactsFixtureTest, ::testing::Values("android", "plain", "legacy"));
