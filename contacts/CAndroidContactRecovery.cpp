#include "contacts/CAndroidContactRecovery.h"

#include <initializer_list>
#include <new>
#include <utility>
#include <vector>

#include "contacts/tables/CContactsTableAnalyze.h"
#include "contacts/tables/CDataTableAnalyze.h"
#include "contacts/tables/CGroupsTableAnalyze.h"
#include "contacts/tables/CMimetypesTableAnalyze.h"
#include "contacts/tables/CPhoneLookupTableAnalyze.h"
#include "contacts/tables/CRawContactsTableAnalyze.h"
#include "contacts/tables/CRawContactsTableRow.h"
#include "contacts/tables/CDataTableRow.h"
#include "contacts/tables/CSearchIndexContentTableAnalyze.h"

CAndroidContactRecovery::~CAndroidContactRecovery() { Uninitialize(); }

ResultCode CAndroidContactRecovery::Initialize(const wchar_t* databasePath, const VersionPair* version,
                                               ICommon* context, IProgress* sink) {
    ResultCode rc = InitializeControler(databasePath, version, context, sink);
    if (Failed(rc)) return rc;

    if (!mimetypes_) mimetypes_ = new (std::nothrow) CMimetypesTableAnalyze();
    if (!mimetypes_) return RK_FAIL(RK_E_FAIL);
    mimetypes_->SetVersion(&version_);
    // The data rows take their kinds from the mimetypes of the last commit.
    rc = mimetypes_->Analyze(engine_, true);
    if (Failed(rc)) return rc;
    result_.clear();
    initialized_ = true;
    return rc;
}

ResultCode CAndroidContactRecovery::Uninitialize() {
    if (!initialized_) return RK_OK;
    // The result points into the join's rows and the analysers' rows: it goes first.
    result_.clear();
    entryRows_.ReleaseAll();
    delete join_;
    join_ = nullptr;
    UninitializeControler();
    if (mimetypes_) mimetypes_->Release();
    mimetypes_ = nullptr;
    initialized_ = false;
    return RK_OK;
}

ResultCode CAndroidContactRecovery::CreateAnalyzers() {
    auto* contacts = new (std::nothrow) CContactsTableAnalyze();
    auto* rawContacts = new (std::nothrow) CRawContactsTableAnalyze();
    auto* groups = new (std::nothrow) CGroupsTableAnalyze();
    auto* data = groups ? new (std::nothrow) CDataTableAnalyze(mimetypes_, groups) : nullptr;
    auto* phoneLookup = new (std::nothrow) CPhoneLookupTableAnalyze();
    auto* searchIndex = new (std::nothrow) CSearchIndexContentTableAnalyze();
    return ListAnalyzers({contacts, rawContacts, groups, data, searchIndex, phoneLookup});
}

ResultCode CAndroidContactRecovery::Recover() {
    if (!initialized_) return RK_FAIL(RK_E_FAIL);
    // The rows of an earlier run go, and with them anything that pointed to them.
    result_.clear();
    entryRows_.ReleaseAll();
    delete join_;
    join_ = nullptr;
    ReleaseAnalyzers();
    ResultCode rc = CSQLiteRecoveryControler::Recover();
    if (Failed(rc)) return rc;
    // Every record is read: the reader and its buffers go before the rows are joined.
    CloseEngine();
    join_ = new (std::nothrow) JoinData();
    if (!join_) return RK_FAIL(RK_E_FAIL);
    rc = JoinRows(this, join_);
    // The entries hold raw contacts, data rows and the groups of memberships: the rows the join
    // alone read are not read again, and a large phone's take much memory.
    for (CTableAnalyze* analyzer : std::initializer_list<CTableAnalyze*>{
             Listed<CContactsTableAnalyze>(), Listed<CPhoneLookupTableAnalyze>(), Listed<CSearchIndexContentTableAnalyze>()})
        if (analyzer) analyzer->ReleaseRows();
    HandRowsToEntries();
    return rc;
}

void CAndroidContactRecovery::HandRowsToEntries() {
    // Groups stay with their analyser: memberships point to them, and they are few.
    std::vector<CTableRow*> rows;
    for (CTableAnalyze* analyzer :
         std::initializer_list<CTableAnalyze*>{Listed<CRawContactsTableAnalyze>(), Listed<CDataTableAnalyze>()}) {
        for (int m = 0; analyzer && m < CTableAnalyze::kRowMapCount; ++m) {
            RowMultimap* map = analyzer->GetRows(m);
            if (!map) continue;
            for (auto& entry : *map) rows.push_back(entry.second);
            map->clear();
        }
    }
    if (join_) {
        for (auto& entry : join_->PlaceholderRows) rows.push_back(entry.second);
        for (auto& entry : join_->CreatedRows) rows.push_back(entry.second);
        join_->PlaceholderRows.clear();
        join_->CreatedRows.clear();
        // The id maps served the join alone.
        delete join_;
        join_ = nullptr;
    }
    entryRows_.TakeOver(result_, std::move(rows));
}

JoinSources CAndroidContactRecovery::Sources() const {
    JoinSources sources;
    sources.contacts = ListedRows<CContactsTableAnalyze>();
    sources.rawContacts = ListedRows<CRawContactsTableAnalyze>();
    sources.groups = ListedRows<CGroupsTableAnalyze>();
    sources.phoneLookup = ListedRows<CPhoneLookupTableAnalyze>();
    sources.searchIndex = ListedRows<CSearchIndexContentTableAnalyze>();
    for (int m = 0; m < CTableAnalyze::kRowMapCount; ++m) sources.data[m] = ListedRows<CDataTableAnalyze>(m);
    return sources;
}

ResultCode CAndroidContactRecovery::JoinRows(CAndroidContactRecovery* recovery, JoinData* join) {
    if (!recovery || !join) return RK_FAIL(RK_E_FAIL);
    return JoinContactRows(recovery->Sources(), *join, recovery->result_);
}
