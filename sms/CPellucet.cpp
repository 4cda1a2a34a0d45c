#include "sms/CPellucet.h"

#include <cstring>
#include <memory>
#include <new>

#include "sms/CAndroidSmsAndMmsRecovery.h"
#include "sms/CSMSSession.h"
#include "sms/ConversationXmlBuilder.h"
#include "sms/ISMSSession.h"
#include "contacts/ISwapContact.h"

CPellucet::~CPellucet() {
    if (!container_) return;
    autolocker<CDataContainer<_SMS_INFOMATION>*> guard(container_);
    for (auto it = container_->Begin(); it != container_->End(); ++it)
        if (it->second.session) {
            it->second.session->Release();
            it->second.session = nullptr;
        }
}

const std::vector<std::wstring>& CPellucet::GetDatabaseCandidates() {
    static const std::vector<std::wstring> candidates = {
        L"/data/data/com.android.providers.telephony/databases/mmssms.db",
        L"/data/data/com.motorola.blur.providers.contacts/databases/mmssms.db",
        L"/dbdata/databases/com.android.providers.telephony/mmssms.db",
        L"/apps/com.android.providers.telephony/db/mmssms.db",
    };
    return candidates;
}

std::wstring CPellucet::PullDatabase() { return PullFirstCandidate(GetDatabaseCandidates(), L"mmssms.db"); }

CPellucet::Recovery* CPellucet::NewAndroidRecovery() { return new (std::nothrow) CAndroidSmsAndMmsRecovery; }

bool CPellucet::MakeRecordData(const char* xmlText, _SMS_INFOMATION* record) {
    record->session = CreateSmsSession(xmlText);
    return record->session != nullptr;
}

bool CPellucet::FindContactName(const std::string& number, std::string* name) const {
    auto* contacts = dynamic_cast<CDataContainer<_CONTACT_INFOMATION>*>(context_);
    if (!contacts) return false;
    auto* lookup = dynamic_cast<ISwapContact*>(contacts->GetHelper());
    if (!lookup) return false;
    SwapContactEntry entry;
    if (!lookup->Find(number, &entry)) return false;
    *name = entry.name;
    return true;
}

void CPellucet::ProcessEntry(Entry entry) {
    std::unique_ptr<CSMSSession> session;
    if (!entry->second.empty()) {
        std::string name;
        bool named = FindContactName(entry->first, &name);
        ConversationXmlBuilder builder(device_, saveFolder_);
        session = builder.BuildSession(entry->first, named ? &name : nullptr, entry->second);
    }
    // Nothing reads the entry again: its rows make room for the conversations still to come.
    if (auto* recovery = dynamic_cast<CAndroidSmsAndMmsRecovery*>(recovery_)) recovery->EntryDone(entry);
    if (!session) return;
    // The session was made as its document was written: the record takes it as it is.
    _SMS_INFOMATION record;
    std::memset(static_cast<void*>(&record), 0, sizeof record);
    record.id = NextItemId();
    record.session = session.release();
    AddRecordLocked(record);
}
