// The contacts tables of the sample phone, recovered by the controller and the engine, against
// what the phone's script recorded: every live row, and the rows of the contact it deleted.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "contacts/tables/CContactsTableAnalyze.h"
#include "contacts/tables/CDataTableAnalyze.h"
#include "contacts/tables/CDataTableRow.h"
#include "contacts/tables/CGroupsTableAnalyze.h"
#include "contacts/tables/CMimetypesTableAnalyze.h"
#include "contacts/tables/CPhoneLookupTableAnalyze.h"
#include "contacts/tables/CRawContactsTableAnalyze.h"
#include "sqlite_recovery/controller/CSQLiteRecoveryControler.h"
#include "contacts/tables/CSearchIndexContentTableAnalyze.h"
#include "platform/FileSystem.h"
#include "platform/StringConversion.h"

namespace {

// A .tsv of the sample phone's expected rows: a header of column names, then one row a line.
struct Tsv {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;

    bool Load(const std::string& path) {
        std::ifstream in(path);
        std::string line;
        if (!std::getline(in, line)) return false;
        header = Split(line);
        while (std::getline(in, line)) rows.push_back(Split(line));
        return true;
    }
    int Column(const std::string& name) const {
        for (size_t i = 0; i < header.size(); ++i)
            if (header[i] == name) return static_cast<int>(i);
        return -1;
    }
    std::set<int64_t> Ids(const std::string& column, const std::string& fate = "") const {
        std::set<int64_t> ids;
        int c = Column(column), f = Column("fate");
        for (const auto& row : rows)
            if (fate.empty() || (f >= 0 && row[f] == fate)) ids.insert(std::stoll(row[c]));
        return ids;
    }
    static std::vector<std::string> Split(const std::string& line) {
        std::vector<std::string> cells;
        std::stringstream in(line);
        for (std::string cell; std::getline(in, cell, '\t');) cells.push_back(cell);
        return cells;
    }
};

class SampleControler final : public CSQLiteRecoveryControler {
public:
    SampleControler(const std::string& database, VersionPair version) {
        Bind(platform::Utf8ToWide(database).c_str(), &version, nullptr, nullptr);
    }
    ~SampleControler() {
        ReleaseAnalyzers();
        delete mimetypes;
    }
    ResultCode Run() {
        ResultCode rc = OpenFile();
        if (Succeeded(rc)) rc = OpenEngine();
        if (Failed(rc)) return rc;
        mimetypes = new CMimetypesTableAnalyze();
        mimetypes->SetVersion(&version_);
        rc = mimetypes->Analyze(engine_, true);
        return Failed(rc) ? rc : Recover();
    }
    ResultCode CreateAnalyzers() override {
        CSQLiteRecoveryControler::CreateAnalyzers();
        tables["contacts"] = new CContactsTableAnalyze();
        tables["raw_contacts"] = new CRawContactsTableAnalyze();
        tables["groups"] = new CGroupsTableAnalyze();
        data = new CDataTableAnalyze(mimetypes, static_cast<CGroupsTableAnalyze*>(tables["groups"]));
        tables["search_index_content"] = new CSearchIndexContentTableAnalyze();
        tables["phone_lookup"] = new CPhoneLookupTableAnalyze();
        analyzers_ = {tables["contacts"], tables["raw_contacts"], tables["groups"], data,
                      tables["search_index_content"], tables["phone_lookup"]};
        return RK_OK;
    }
    std::set<int64_t> Ids(CTableAnalyze* analyzer, int live) {
        std::set<int64_t> ids;
        for (int index = 0; index < CTableAnalyze::kRowMapCount; ++index)
            for (auto& entry : *analyzer->GetRows(index))
                if (entry.second->live == live) ids.insert(entry.first);
        return ids;
    }

    CMimetypesTableAnalyze* mimetypes = nullptr;
    CDataTableAnalyze* data = nullptr;
    std::map<std::string, CTableAnalyze*> tables;
};

class SamplePhoneTablesTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        const char* root = std::getenv("RK_TESTDATA");
        phone_ = std::string(root ? root : "../testdata") + "/" + GetParam();
        std::string database = phone_ + "/fs/data/data/com.android.providers.contacts/databases/contacts2.db";
        if (platform::FileSize(database) <= 0) GTEST_SKIP() << "no sample phone at " << phone_;
        legacy_ = GetParam() == "sample_phone_legacy";
        controler_ = std::make_unique<SampleControler>(database, legacy_ ? VersionPair{2, 3} : VersionPair{4, 4});
        ASSERT_EQ(controler_->Run(), RK_OK);
    }
    Tsv Expected(const std::string& table, const std::string& which) {
        Tsv tsv;
        tsv.Load(phone_ + "/expected/contacts2.db/" + table + "." + which + ".tsv");
        return tsv;
    }
    // The live data rows that are filed: every kind but relation, identity and unknown mimetypes.
    std::set<int64_t> FiledDataIds(const Tsv& data, int64_t rawContact = 0, const std::string& fate = "") {
        std::map<int64_t, int32_t> kinds;
        Tsv mimetypes = Expected("mimetypes", "live");
        for (const auto& row : mimetypes.rows) kinds[std::stoll(row[0])] = MimetypeKindOf(row[1]);
        std::set<int64_t> ids;
        int id = data.Column("_id"), mime = data.Column("mimetype_id"), raw = data.Column("raw_contact_id");
        int f = data.Column("fate");
        for (const auto& row : data.rows) {
            if (!fate.empty() && row[f] != fate) continue;
            if (rawContact && std::stoll(row[raw]) != rawContact) continue;
            auto kind = kinds.find(std::stoll(row[mime]));
            if (kind != kinds.end() && CDataTableAnalyze::RowMapOfKind(kind->second) >= 0) ids.insert(std::stoll(row[id]));
        }
        return ids;
    }
    std::string phone_;
    bool legacy_ = false;
    std::unique_ptr<SampleControler> controler_;
};

}  // namespace

TEST_P(SamplePhoneTablesTest, EveryLiveRow) {
    EXPECT_EQ(controler_->mimetypes->RowCount(), Expected("mimetypes", "live").rows.size() - 1);  // less the unknown
    for (const char* table : {"contacts", "raw_contacts", "groups"})
        EXPECT_EQ(controler_->Ids(controler_->tables[table], 1), Expected(table, "live").Ids("_id")) << table;
    EXPECT_EQ(controler_->Ids(controler_->tables["phone_lookup"], 1), Expected("phone_lookup", "live").Ids("data_id"));
    if (!legacy_) {
        EXPECT_EQ(controler_->Ids(controler_->tables["search_index_content"], 1),
                  Expected("search_index_content", "live").Ids("docid"));
    }
    EXPECT_EQ(controler_->Ids(controler_->data, 1), FiledDataIds(Expected("data", "live")));
}

TEST_P(SamplePhoneTablesTest, RowsOfTheHardDeletedContact) {
    // Frank Foster (raw contact 6) was removed with everything after the checkpoint.
    std::set<int64_t> expected = FiledDataIds(Expected("data", "deleted"), 6, "deleted");
    ASSERT_FALSE(expected.empty());
    std::set<int64_t> found;
    for (int index = 0; index < CTableAnalyze::kRowMapCount; ++index)
        for (auto& entry : *controler_->data->GetRows(index)) {
            auto* row = static_cast<CDataTableRow*>(entry.second);
            if (row->rawContactId == 6 && !row->live) found.insert(row->id);
        }
    for (int64_t id : found) EXPECT_TRUE(id == 0 || expected.count(id)) << id;
    if (GetParam() == "sample_phone") {
        // Android's settings: the main file keeps the pages from before the deletion.
        EXPECT_EQ(found, expected);
        EXPECT_EQ(controler_->Ids(controler_->tables["raw_contacts"], 0).count(6), 1u);
    } else {
        EXPECT_FALSE(found.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Variants, SamplePhoneTablesTest,
                         ::testing::Values("sample_phone", "sample_phone_nosd", "sample_phone_legacy"));
