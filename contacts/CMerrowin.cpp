#include "contacts/CMerrowin.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <tuple>

#include "contacts/CAndroidContactRecovery.h"
#include "contacts/CContactData.h"
#include "contacts/tables/CRawContactsTableRow.h"
#include "contacts/CSwapContact.h"
#include "contacts/JoinedContactFromRows.h"

CMerrowin* CMerrowin::Create() { return new (std::nothrow) CMerrowin(); }

CMerrowin::CMerrowin()
    : builder_(nullptr, [this](const char* xml, const TiXmlElement* root) { AddDocument(xml, root); }) {}

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
    if (raw && !entry->second.empty()) builder_.ProcessContact(JoinedContactFromRows(*raw, entry->second));
    // Nothing reads the entry again: its rows make room for the contacts still to come.
    if (auto* recovery = dynamic_cast<CAndroidContactRecovery*>(recovery_)) recovery->EntryDone(entry);
}

std::vector<CMerrowin::Entry> CMerrowin::EntriesInOrder(ContactResultMap& result) {
    struct Keyed {
        int64_t contactId, rawId;
        bool live;
        size_t slot;  // of its values' text, made only for entries whose ids tie
        Entry entry;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(result.size());
    for (Entry entry = result.begin(); entry != result.end(); ++entry) {
        const auto* raw = dynamic_cast<const CRawContactsTableRow*>(entry->first);
        keyed.push_back({raw ? raw->contactId : 0, entry->first ? entry->first->id : 0,
                         entry->first && entry->first->live, keyed.size(), entry});
    }
    std::vector<std::string> values(keyed.size());
    std::vector<uint8_t> made(keyed.size(), 0);
    auto valuesOf = [&](const Keyed& k) -> const std::string& {
        if (!made[k.slot]) {
            made[k.slot] = 1;
            std::string& text = values[k.slot];
            if (k.entry->first) text = k.entry->first->ToString();
            for (const CTableRow* row : k.entry->second)
                if (row) text += "\n" + row->ToString();
        }
        return values[k.slot];
    };
    std::stable_sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
        if (std::tie(a.contactId, a.rawId, b.live) != std::tie(b.contactId, b.rawId, a.live))
            return std::tie(a.contactId, a.rawId, b.live) < std::tie(b.contactId, b.rawId, a.live);
        return valuesOf(a) < valuesOf(b);
    });
    std::vector<Entry> entries;
    entries.reserve(keyed.size());
    for (const Keyed& k : keyed) entries.push_back(k.entry);
    return entries;
}

void CMerrowin::AddDocument(const char* xml, const TiXmlElement* root) {
    unsigned id = itemCounter_++;
    // A second run numbers from 0 again; its records would not replace the first run's, and their
    // data objects would be lost.
    if (container_) {
        autolocker<CDataContainer<_CONTACT_INFOMATION>*> lock(container_);
        if (container_->Contains(id)) return;
    }
    // The data object reads the document it was printed from: its text is not parsed again.
    _CONTACT_INFOMATION record;
    std::memset(static_cast<void*>(&record), 0, sizeof record);
    record.id = id;
    record.data = CContactData::FromDocument(xml, root);
    if (!record.data) {
        RK_LOG("Create node failed.");
        return;
    }
    AddRecordLocked(record);
}
