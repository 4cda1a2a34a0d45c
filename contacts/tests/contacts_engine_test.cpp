// The contacts tables recovered by the controller and the SQLite engine from contacts2.db files
// made by the sqlite3 program: the live rows equal what the SQLite library reads, and the rows of
// the deleted contact come back as recovered rows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>

#include "contacts/tables/CContactsTableAnalyze.h"
#include "contacts/tables/CDataTableAnalyze.h"
#include "contacts/tables/CDataTableRow.h"
#include "contacts/tables/CGroupsTableAnalyze.h"
#include "contacts/tables/CMimetypesTableAnalyze.h"
#include "contacts/tables/CPhoneLookupTableAnalyze.h"
#include "contacts/tables/CRawContactsTableAnalyze.h"
#include "contacts/tables/CRawContactsTableRow.h"
#include "sqlite_recovery/controller/CSQLiteRecoveryControler.h"
#include "contacts/tables/CSearchIndexContentTableAnalyze.h"
#include "contacts/tests/ContactTablesRun.h"
#include "sqlite_recovery/tests/RecordingSink.h"
#include "platform/FileSystem.h"
#include "platform/StringConversion.h"
#include "testing/LiveSQLite.h"

namespace {

std::string FixtureFolder(const std::string& name) {
    const char* root = std::getenv("RK_TESTDATA");
    return std::string(root ? root : "../testdata") + "/contacts2_fixtures/" + name;
}

// The controller of the contacts recovery, with its run list and the mimetypes pass.
class ContactsControler final : public CSQLiteRecoveryControler {
public:
    ContactsControler(const std::string& database, VersionPair version, IProgress* sink) {
        Bind(platform::Utf8ToWide(database).c_str(), &version, nullptr, sink);
    }
    ~ContactsControler() {
        ReleaseAnalyzers();
        if (mimetypes) mimetypes->Release();
    }
    ResultCode Open() {
        ResultCode rc = OpenFile();
        if (Succeeded(rc)) rc = OpenEngine();
        if (Failed(rc)) return rc;
        mimetypes = new CMimetypesTableAnalyze();
        mimetypes->SetVersion(&version_);
        return mimetypes->Analyze(engine_, true);
    }
    ResultCode CreateAnalyzers() override {
        CSQLiteRecoveryControler::CreateAnalyzers();
        contacts = new CContactsTableAnalyze();
        rawContacts = new CRawContactsTableAnalyze();
        groups = new CGroupsTableAnalyze();
        data = new CDataTableAnalyze(mimetypes, groups);
        searchIndex = new CSearchIndexContentTableAnalyze();
        phoneLookup = new CPhoneLookupTableAnalyze();
        analyzers_ = {contacts, rawContacts, groups, data, searchIndex, phoneLookup};
        return RK_OK;
    }
    int ViewCount() { return engine_ ? engine_->ViewCount() : 0; }

    CMimetypesTableAnalyze* mimetypes = nullptr;
    CContactsTableAnalyze* contacts = nullptr;
    CRawContactsTableAnalyze* rawContacts = nullptr;
    CGroupsTableAnalyze* groups = nullptr;
    CDataTableAnalyze* data = nullptr;
    CSearchIndexContentTableAnalyze* searchIndex = nullptr;
    CPhoneLookupTableAnalyze* phoneLookup = nullptr;
};

// "id text" of every row of multimap 0 (data rows: of all multimaps) with the given live flag.
std::multiset<std::string> RowTexts(CTableAnalyze* analyzer, int live) {
    std::multiset<std::string> texts;
    for (int index = 0; index < CTableAnalyze::kRowMapCount; ++index)
        for (auto& entry : *analyzer->GetRows(index))
            if (entry.second->live == live)
                texts.insert(std::to_string(entry.first) + " " + entry.second->ToString());
    return texts;
}

class ContactsEngineTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        folder_ = FixtureFolder(GetParam());
        database_ = folder_ + "/device/fs/data/data/com.android.providers.contacts/databases/contacts2.db";
        if (platform::FileSize(database_) <= 0) GTEST_SKIP() << "no fixture at " << folder_;
        legacy_ = GetParam() == "legacy";
        version_ = legacy_ ? VersionPair{2, 3} : VersionPair{4, 4};
        controler_ = std::make_unique<ContactsControler>(database_, version_, &sink_);
        ASSERT_EQ(controler_->Open(), RK_OK);
        ASSERT_EQ(controler_->Recover(), RK_OK);

        // The same tables as the SQLite library reads them from the checkpointed copy.
        oracle_.SetVersion(version_);
        LiveSQLiteEngine library;
        ASSERT_EQ(library.OpenDatabase(platform::Utf8ToWide(folder_ + "/oracle.db")), RK_OK);
        for (CTableAnalyze* analyzer : std::vector<CTableAnalyze*>{&oracle_.mimetypes, &oracle_.contacts,
                                                                   &oracle_.rawContacts, &oracle_.groups, &oracle_.data,
                                                                   &oracle_.searchIndex, &oracle_.phoneLookup}) {
            ISQLiteTable* table = library.FindTable(analyzer->GetName());
            if (!table) continue;
            ASSERT_EQ(analyzer->BuildRows(table, table->LiveCount(), true), RK_OK);
        }
    }

    std::string folder_, database_;
    bool legacy_ = false;
    VersionPair version_;
    RecordingSink sink_;
    std::unique_ptr<ContactsControler> controler_;
    ContactTablesRun oracle_;
};

}  // namespace

TEST_P(ContactsEngineTest, ViewsAndProgress) {
    // A write-ahead log with a commit gives two views; the rollback journal one.
    EXPECT_EQ(controler_->ViewCount(), legacy_ ? 1 : 2);
    ASSERT_FALSE(sink_.records.empty());
    EXPECT_EQ(sink_.records.back().done, 80u);
}

TEST_P(ContactsEngineTest, LiveRowsEqualTheSqliteLibrarysRows) {
    EXPECT_EQ(controler_->mimetypes->RowCount(), 15u);
    EXPECT_EQ(RowTexts(controler_->contacts, 1), RowTexts(&oracle_.contacts, 1));
    EXPECT_EQ(RowTexts(controler_->rawContacts, 1), RowTexts(&oracle_.rawContacts, 1));
    EXPECT_EQ(RowTexts(controler_->groups, 1), RowTexts(&oracle_.groups, 1));
    EXPECT_EQ(RowTexts(controler_->data, 1), RowTexts(&oracle_.data, 1));
    EXPECT_EQ(RowTexts(controler_->phoneLookup, 1), RowTexts(&oracle_.phoneLookup, 1));
    EXPECT_EQ(controler_->searchIndex->GetRows(0)->size() == 0, legacy_);
    EXPECT_EQ(RowTexts(controler_->searchIndex, 1).size(), RowTexts(&oracle_.searchIndex, 1).size());
}

TEST_P(ContactsEngineTest, RowsOfTheDeletedContactAreRecovered) {
    // What the script deleted: "data <id> ..." lines name the data rows of the deleted contact.
    std::set<int64_t> deletedData;
    std::ifstream list(folder_ + "/deleted.txt");
    for (std::string table, rest; list >> table && std::getline(list, rest);)
        if (table == "data") deletedData.insert(std::stoll(rest));
    ASSERT_FALSE(deletedData.empty());

    // Every recovered row of the deleted raw contact is one of its deleted rows, never live, and
    // parsed into its kind.
    std::set<int32_t> kinds;
    for (int index = 0; index < CTableAnalyze::kRowMapCount; ++index)
        for (auto& entry : *controler_->data->GetRows(index)) {
            auto* row = static_cast<CDataTableRow*>(entry.second);
            if (row->rawContactId != 3) continue;
            EXPECT_EQ(row->live, 0) << row->ToString();
            // A carved cell whose rowid was overwritten has lost its id.
            EXPECT_TRUE(row->id == 0 || deletedData.count(row->id) == 1) << row->id << " " << row->ToString();
            kinds.insert(row->dataKind);
        }
    const std::set<int32_t> everyKind{kDataName, kDataPhoto, kDataNickname, kDataPhone, kDataEmail,
                                      kDataIm, kDataOrganization, kDataPostal, kDataGroupMembership,
                                      kDataContactEvent, kDataWebsite, kDataSipAddress, kDataNote};
    if (GetParam() != "android") {
        // With secure_delete off the deleted cells lie in the main file's free space, partly
        // overwritten by freeblock headers: most of them come back.
        EXPECT_GE(kinds.size(), 8u);
        return;
    }
    // Android's settings: the log's pages and the main file's older copies hold everything.
    EXPECT_EQ(kinds, everyKind);
    auto raw = controler_->rawContacts->GetRows(0)->equal_range(3);
    ASSERT_NE(raw.first, raw.second) << "raw contact 3 not recovered";
    EXPECT_EQ(raw.first->second->live, 0);
    EXPECT_EQ(raw.first->second->ToString(), "Carl Gone");
    EXPECT_EQ(static_cast<CRawContactsTableRow*>(raw.first->second)->contactId, 3);
    EXPECT_EQ(controler_->contacts->GetRows(0)->count(3), 1u);
    auto lookup = controler_->phoneLookup->GetRows(0)->equal_range(31);
    ASSERT_NE(lookup.first, lookup.second);
    EXPECT_EQ(lookup.first->second->ToString(), "+8613912345678");
    EXPECT_EQ(lookup.first->second->live, 0);
    auto index = controler_->searchIndex->GetRows(0)->equal_range(3);
    ASSERT_NE(index.first, index.second);
    EXPECT_EQ(index.first->second->live, 0);
    // The renamed contact's old name is a recovered name row beside the live one.
    std::multiset<std::string> recovered = RowTexts(controler_->data, 0);
    EXPECT_EQ(recovered.count("50 Name:Eve Early"), 1u);
    EXPECT_EQ(RowTexts(controler_->data, 1).count("50 Name:Eve Late"), 1u);
}

INSTANTIATE_TEST_SUITE_P(Settings, ContactsEngineTest, ::testing::Values("android", "plain", "legacy"));
