// The analyser base, the controller, the engine and the contacts tables together, as the contacts
// library runs them: pulled from a stand-in device, recovered, one record per raw contact.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <vector>

#include "sqlite_recovery/controller/CBaseAnalyzer.h"
#include "contacts/tables/CContactsTableAnalyze.h"
#include "contacts/tables/CDataTableAnalyze.h"
#include "outside/device/CDeviceFolder.h"
#include "contacts/tables/CGroupsTableAnalyze.h"
#include "contacts/tables/CMimetypesTableAnalyze.h"
#include "contacts/tables/CPhoneLookupTableAnalyze.h"
#include "contacts/tables/CRawContactsTableAnalyze.h"
#include "contacts/tables/CRawContactsTableRow.h"
#include "sqlite_recovery/controller/CSQLiteRecoveryControler.h"
#include "contacts/tables/CSearchIndexContentTableAnalyze.h"
#include "sqlite_recovery/framework/ItemRecords.h"
#include "sqlite_recovery/tests/RecordingSink.h"
#include "platform/FileSystem.h"
#include "platform/StringConversion.h"

namespace {

using ResultMap = std::map<CTableRow*, std::vector<CTableRow*>>;

// A minimal recovery object: every raw contact with the data rows that name it.
class TablesRecovery : public CSQLiteRecoveryControler, public IAndroidRecovery<ResultMap> {
public:
    ~TablesRecovery() override { Uninitialize(); }

    ResultCode Initialize(const wchar_t* path, const VersionPair* version, ICommon* context, IProgress* sink) override {
        if (!path) return RK_FAIL(RK_E_FAIL);
        Bind(path, version, context, sink);
        ResultCode rc = OpenFile();
        if (Succeeded(rc)) rc = OpenEngine();
        if (Failed(rc)) return rc;
        mimetypes_ = new CMimetypesTableAnalyze();
        mimetypes_->SetVersion(version);
        return mimetypes_->Analyze(engine_, true);
    }
    ResultCode Uninitialize() override {
        result_.clear();
        ReleaseAnalyzers();
        delete mimetypes_;
        mimetypes_ = nullptr;
        CloseEngine();
        CloseFile();
        return RK_OK;
    }
    void Release() override { delete this; }
    ResultCode Recover() override {
        ReleaseAnalyzers();
        ResultCode rc = CSQLiteRecoveryControler::Recover();
        if (Failed(rc)) return rc;
        result_.clear();
        for (auto& raw : *raw_->GetRows(0)) {
            // As the contact join does: only raw contacts with an id and a contact get an entry.
            if (raw.first <= 0 || static_cast<CRawContactsTableRow*>(raw.second)->contactId <= 0) {
                continue;
            }
            std::vector<CTableRow*>& rows = result_[raw.second];
            for (int index = 0; index < CTableAnalyze::kRowMapCount; ++index)
                for (auto& entry : *data_->GetRows(index))
                    if (static_cast<CDataTableRow*>(entry.second)->rawContactId == raw.first) rows.push_back(entry.second);
        }
        return RK_OK;
    }
    ResultMap* GetResult() override { return &result_; }
    ResultCode CreateAnalyzers() override {
        CSQLiteRecoveryControler::CreateAnalyzers();
        auto* groups = new CGroupsTableAnalyze();
        raw_ = new CRawContactsTableAnalyze();
        data_ = new CDataTableAnalyze(mimetypes_, groups);
        analyzers_ = {new CContactsTableAnalyze(), raw_, groups, data_, new CSearchIndexContentTableAnalyze(),
                      new CPhoneLookupTableAnalyze()};
        return RK_OK;
    }

private:
    CMimetypesTableAnalyze* mimetypes_ = nullptr;
    CRawContactsTableAnalyze* raw_ = nullptr;
    CDataTableAnalyze* data_ = nullptr;
    ResultMap result_;
};

class TablesAnalyzer
    : public CBaseAnalyzer<IRecoveryAnalyzer<IDataContainer<_CONTACT_INFOMATION>, IVirtualDevice>, ResultMap,
                           CDataContainer<_CONTACT_INFOMATION>> {
public:
    std::map<unsigned, std::string> names;  // record id -> raw contact's name and row count
    std::wstring folderDuringRun;

    std::wstring SaveFolderName() const override { return L"Contact"; }
    std::wstring PullDatabase() override {
        folderDuringRun = SaveFolder();
        return PullFirstCandidate({L"/data/data/com.android.providers.contacts/databases/contacts2.db",
                                   L"/data/data/com.motorola.blur.providers.contacts/databases/contacts2.db"},
                                  L"contacts2.db");
    }
    IAndroidRecovery<ResultMap>* NewAndroidRecovery() override { return new TablesRecovery(); }
    bool MakeRecordData(const char* xmlText, _CONTACT_INFOMATION* record) override {
        names[record->id] = xmlText;
        record->data = nullptr;  // the data objects are the contacts library's
        return true;
    }
    int DataChangedKind() const override { return DATA_KIND_CONTACTS; }
    void ProcessEntry(Entry entry) override {
        std::string text = entry->first->ToString() + (entry->first->live ? "" : " (deleted)") + " " +
                           std::to_string(entry->second.size());
        AddItem(text.c_str(), NextItemId());
    }
};

}  // namespace

TEST(TablesAnalyzerRunTest, FromTheDeviceToRecords) {
    const char* root = std::getenv("RK_TESTDATA");
    std::string device = std::string(root ? root : "../testdata") + "/contacts2_fixtures/android/device";
    if (platform::GetEntryKind(device) != platform::EntryKind::Directory) GTEST_SKIP() << "no fixture at " << device;
    CDeviceFolder phone;
    ASSERT_TRUE(phone.Load(device));
    RecordingSink sink;
    TablesAnalyzer analyzer;
    IDataContainer<_CONTACT_INFOMATION>* box = analyzer.Initialize(&phone, &sink);
    ASSERT_NE(box, nullptr);
    ASSERT_EQ(analyzer.StartRecovery(nullptr), RK_OK);

    // 0, 1, 5, the controller's twelve steps (six tables, two views) up to 80, 85, then the end.
    std::vector<uint64_t> expected{0, 1, 5};
    for (int k = 1; k <= 12; ++k) expected.push_back(static_cast<uint64_t>((k * 100 / 12) * 80 / 100));
    expected.push_back(85);
    expected.push_back(100);
    EXPECT_EQ(sink.Done(), expected);
    EXPECT_EQ(sink.records.back().state, 3u);

    std::set<std::string> names;
    for (auto& entry : analyzer.names) names.insert(entry.second);
    EXPECT_EQ(names, (std::set<std::string>{"Ann Lee 15", "Bob Stone 4", "Carl Gone (deleted) 13", "Dora Soft 2",
                                            "Eve Late 3"}));
    EXPECT_EQ(box->Count(), 5);
    EXPECT_EQ(sink.changes, std::vector<int>(5, DATA_KIND_CONTACTS));
    for (unsigned id = 0; id < 5; ++id) EXPECT_TRUE(box->Contains(id));
    EXPECT_FALSE(analyzer.folderDuringRun.empty());
    EXPECT_EQ(platform::GetEntryKind(platform::WideToUtf8(analyzer.folderDuringRun)), platform::EntryKind::Missing);
}
