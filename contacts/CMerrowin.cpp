#include "contacts/CMerrowin.h"

#include <new>

#include "contacts/CAndroidContactRecovery.h"
#include "contacts/CContactData.h"
#include "contacts/tables/CRawContactsTableRow.h"
#include "contacts/CSwapContact.h"
#include "contacts/JoinedContactFromRows.h"

CMerrowin* CMerrowin::Create() { return new (std::nothrow) CMerrowin(); }

CMerrowin::CMerrowin() : builder_(nullptr, [this](const char* xml) { AddDocument(xml); }) {}

CMerrowin::~CMerrowin() {
    if (container_) {
        autolocker<CDataContainer<_CONTACT_INFOMATION>*> lock(container_);
        // The records' data objects belong to the analyser and go with it.
        for (auto it = container_->Begin(); it != container_->End(); ++it) {
            if (it->second.data) it->second.data->Release();
            it->second.data = nullptr;
        }
        container_->ClearFresh();
        container_->SetHelper(nullptr);
    }
    if (lookup_) lookup_->Release();
    lookup_ = nullptr;
}

ResultCode CMerrowin::OnInitialized() {
    if (!lookup_) lookup_ = new (std::nothrow) CSwapContact();
    if (!lookup_) return RK_FAIL(RK_E_FAIL);
    builder_.SetLookup(lookup_);
    if (container_) container_->SetHelper(lookup_);
    return RK_OK;
}

std::vector<std::wstring> CMerrowin::GetDatabaseCandidates() {
    return {L"/data/data/com.android.providers.contacts/databases/contacts2.db",
            L"/data/data/com.motorola.blur.providers.contacts/databases/contacts2.db",
            L"/dbdata/databases/com.android.providers.contacts/contacts2.db",
            L"/apps/com.android.providers.contacts/db/contacts2.db"};
}

std::wstring CMerrowin::PullDatabase() { return PullFirstCandidate(GetDatabaseCandidates(), L"contacts2.db"); }

ContactsAnalyzerBase::Recovery* CMerrowin::NewAndroidRecovery() { return new (std::nothrow) CAndroidContactRecovery(); }

bool CMerrowin::MakeRecordData(const char* xmlText, _CONTACT_INFOMATION* record) {
    record->data = CContactData::FromXml(xmlText);
    return record->data != nullptr;
}

void CMerrowin::ProcessEntry(Entry entry) {
    const CRawContactsTableRow* raw = dynamic_cast<const CRawContactsTableRow*>(entry->first);
    if (!raw || entry->second.empty()) return;
    builder_.ProcessContact(JoinedContactFromRows(*raw, entry->second));
}

void CMerrowin::AddDocument(const char* xml) {
    unsigned id = itemCounter_++;
    // A second run numbers from 0 again; its records would not replace the first run's, and their
    // data objects would be lost.
    if (container_) {
        autolocker<CDataContainer<_CONTACT_INFOMATION>*> lock(container_);
        if (container_->Contains(id)) return;
    }
    AddItem(xml, id);
}
