#include "contacts/CAndroidContactRecovery.h"

#include <new>

#include "contacts/tables/CContactsTableAnalyze.h"
#include "contacts/tables/CDataTableAnalyze.h"
#include "contacts/tables/CGroupsTableAnalyze.h"
#include "contacts/tables/CMimetypesTableAnalyze.h"
#include "contacts/tables/CPhoneLookupTableAnalyze.h"
#include "contacts/tables/CRawContactsTableAnalyze.h"
#include "contacts/tables/CSearchIndexContentTableAnalyze.h"

CAndroidContactRecovery::~CAndroidContactRecovery() { Uninitialize(); }

ResultCode CAndroidContactRecovery::Initialize(const wchar_t* databasePath, const VersionPair* version,
                                               ICommon* context, IProgress* sink) {
    if (!databasePath) return RK_FAIL(RK_E_FAIL);
    databasePath_ = databasePath;
    if (version) version_ = *version;
    context_ = context;
    sink_ = sink;
    ResultCode rc = OpenFile();
    if (Failed(rc)) return rc;
    if (Failed(rc = OpenEngine())) return rc;

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
    delete join_;
    join_ = nullptr;
    ReleaseAnalyzers();
    if (mimetypes_) mimetypes_->Release();
    mimetypes_ = nullptr;
    CloseEngine();
    CloseFile();
    initialized_ = false;
    return RK_OK;
}

ResultCode CAndroidContactRecovery::CreateAnalyzers() {
    analyzers_.clear();
    auto* contacts = new (std::nothrow) CContactsTableAnalyze();
    auto* rawContacts = new (std::nothrow) CRawContactsTableAnalyze();
    auto* groups = new (std::nothrow) CGroupsTableAnalyze();
    auto* data = groups ? new (std::nothrow) CDataTableAnalyze(mimetypes_, groups) : nullptr;
    auto* phoneLookup = new (std::nothrow) CPhoneLookupTableAnalyze();
    auto* searchIndex = new (std::nothrow) CSearchIndexContentTableAnalyze();
    if (!contacts || !rawContacts || !groups || !data || !phoneLookup || !searchIndex) {
        for (CTableAnalyze* made : std::initializer_list<CTableAnalyze*>{contacts, rawContacts, groups, data, phoneLookup, searchIndex})
            if (made) made->Release();
        return RK_FAIL(RK_E_FAIL);
    }
    contacts_ = contacts;
    rawContacts_ = rawContacts;
    groups_ = groups;
    data_ = data;
    phoneLookup_ = phoneLookup;
    searchIndex_ = searchIndex;
    analyzers_ = {contacts, rawContacts, groups, data, searchIndex, phoneLookup};
    return RK_OK;
}

ResultCode CAndroidContactRecovery::ReleaseAnalyzers() {
    ResultCode rc = CSQLiteRecoveryControler::ReleaseAnalyzers();
    if (Succeeded(rc)) {
        contacts_ = nullptr;
        rawContacts_ = nullptr;
        groups_ = nullptr;
        data_ = nullptr;
        phoneLookup_ = nullptr;
        searchIndex_ = nullptr;
    }
    return rc;
}

ResultCode CAndroidContactRecovery::Recover() {
    if (!initialized_) return RK_FAIL(RK_E_FAIL);
    // The rows of an earlier run go, and with them anything that pointed to them.
    result_.clear();
    delete join_;
    join_ = nullptr;
    ReleaseAnalyzers();
    ResultCode rc = CSQLiteRecoveryControler::Recover();
    if (Failed(rc)) return rc;
    join_ = new (std::nothrow) JoinData();
    if (!join_) return RK_FAIL(RK_E_FAIL);
    return JoinRows(this, join_);
}

JoinSources CAndroidContactRecovery::Sources() const {
    JoinSources sources;
    if (contacts_) sources.contacts = contacts_->GetRows(0);
    if (rawContacts_) sources.rawContacts = rawContacts_->GetRows(0);
    if (groups_) sources.groups = groups_->GetRows(0);
    if (phoneLookup_) sources.phoneLookup = phoneLookup_->GetRows(0);
    if (searchIndex_) sources.searchIndex = searchIndex_->GetRows(0);
    if (data_)
        for (int m = 0; m < CTableAnalyze::kRowMapCount; ++m) sources.data[m] = data_->GetRows(m);
    return sources;
}

ResultCode CAndroidContactRecovery::JoinRows(CAndroidContactRecovery* recovery, JoinData* join) {
    if (!recovery || !join) return RK_FAIL(RK_E_FAIL);
    return JoinContactRows(recovery->Sources(), *join, recovery->result_);
}
