#include "sms/MessageAssembler.h"

#include <algorithm>
#include <functional>
#include <new>

#include "sms/CCanonicalAddressesTableRow.h"
#include "sms/CAddrTableRow.h"
#include "sms/CPartTableRow.h"
#include "sms/CPduTableRow.h"
#include "sms/CSmsTableRow.h"
#include "sms/CThreadsTableRow.h"
#include "sms/CWordsContentTableRow.h"
#include "contacts/PhoneNumberMatch.h"
#include "sms/SmsTextConversion.h"
#include "sqlite_recovery/framework/TextUtils.h"
#include "sqlite_recovery/framework/ValueHash.h"

namespace {

// Never reset: a second build in the same process goes on from where the first stopped.
int64_t g_addressCounter = 0;
int64_t g_threadCounter = 0;
int64_t g_unknownCounter = 0;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

size_t HashOfText(const std::string& text) { return std::hash<std::string>()(text); }

// The key of an SMS row in the index by thread and text; text-only messages go under their text alone.
size_t HashOfThreadText(bool textOnly, int64_t threadId, const std::string& text) {
    return ValueHash().Add(textOnly).Add(textOnly ? 0 : threadId).Add(text).Value();
}

// A text-only message made from this thread's snippet.
bool IsSnippetOf(const CSmsTableRow* sms, const CThreadsTableRow* thread) {
    return sms->type == kTextOnlySmsType && sms->id == -1 && sms->threadId == thread->id;
}

bool SameDirection(const CSmsTableRow* a, const CSmsTableRow* b) {
    if (a->type == kTextOnlySmsType || b->type == kTextOnlySmsType) return true;  // direction unknown
    return a->IsSent() == b->IsSent();
}

// Whether every part of a recovered MMS repeats a part of the live one.
bool PartsRepeated(const CPduTableRow* recovered, const CPduTableRow* live) {
    for (const CTableRow* part : recovered->parts) {
        auto* p = static_cast<const CPartTableRow*>(part);
        bool found = false;
        for (const CTableRow* other : live->parts)
            if (p->SameContent(other)) {
                found = true;
                break;
            }
        if (!found) return false;
    }
    return true;
}

}  // namespace

MessageAssembler::MessageAssembler(const SmsTableRows& tables, SmsResultMap* result)
    : tables_(tables), result_(result) {}

MessageAssembler::~MessageAssembler() {
    for (auto& entry : ownedRows_) entry.second->Release();
}

int64_t MessageAssembler::NextAddressId() {
    do {
        --g_addressCounter;
    } while (idToAddress_.count(g_addressCounter));
    return g_addressCounter;
}

int64_t MessageAssembler::NextThreadId() {
    do {
        --g_threadCounter;
    } while (knownThreadIds_.count(g_threadCounter));
    return g_threadCounter;
}

std::string MessageAssembler::MakeUnknownAddress() { return "UnknownAdress" + std::to_string(g_unknownCounter++); }

int64_t MessageAssembler::NewUnknownPartner(std::string* nameOut) {
    std::string name = MakeUnknownAddress();
    int64_t id = NextAddressId();
    addressToId_[name] = id;
    idToAddress_[id] = name;
    if (nameOut) *nameOut = name;
    return id;
}

ResultCode MessageAssembler::Build() {
    if (!result_) return RK_FAIL(RK_E_FAIL);
    // About one entry per sms row and text part, in lists made once at their size.
    const size_t sms = tables_.sms ? tables_.sms->size() : 0, parts = tables_.part ? tables_.part->size() : 0;
    textRowsById_.Reserve(sms + parts);
    textRowsByText_.Reserve(sms + parts);
    smsTextsByThread_.Reserve(sms);
    RegisterAddresses();
    LinkThreads();
    ResultCode rc = RunAssignmentChain();
    if (Succeeded(rc)) FillResultMap();
    return rc;
}

void MessageAssembler::ForgetIndexes() {
    MessageAssembler empty(tables_, result_);
    std::swap(knownAddresses_, empty.knownAddresses_);
    std::swap(knownNumbers_, empty.knownNumbers_);
    std::swap(pduRows_, empty.pduRows_);
    std::swap(textRowsById_, empty.textRowsById_);
    std::swap(textRowsByText_, empty.textRowsByText_);
    std::swap(smsTextsByThread_, empty.smsTextsByThread_);
    std::swap(addressToId_, empty.addressToId_);
    std::swap(idToAddress_, empty.idToAddress_);
    std::swap(threadToAddress_, empty.threadToAddress_);
    std::swap(knownThreadIds_, empty.knownThreadIds_);
    std::swap(conversations_, empty.conversations_);
}

void MessageAssembler::GiveUpMadeRows(std::vector<CTableRow*>* rows) {
    for (auto& entry : ownedRows_) rows->push_back(entry.second);
    ownedRows_.clear();
}

void MessageAssembler::RegisterAddress(const std::string& spelling) {
    // A spelling met before matches itself first of all, and then nothing changes; most rows repeat
    // a spelling, so the scan is only needed for new ones.
    if (addressToId_.count(spelling)) return;
    // Phone numbers match by the phone-number rules; anything else (e-mail addresses, senders'
    // names) as it stands: those rules would merge "a-b@x.org" with "ab@x.org", and every name
    // without a digit with every other. Every spelling registered is held, so a new one that is no
    // number matches none; a number is compared only with the registered numbers that may match
    // it, and the first of those that does is taken.
    const std::string* match = nullptr;
    if (IsPhoneNumberText(spelling)) {
        std::vector<size_t> candidates;
        knownNumbers_.Candidates(spelling, &candidates);
        size_t first = knownAddresses_.size();
        for (size_t at : candidates)
            if (at < first && MatchPhoneNumber(spelling, knownAddresses_[at])) first = at;
        if (first < knownAddresses_.size()) match = &knownAddresses_[first];
    }
    if (match) {
        auto held = addressToId_.find(*match);
        if (held != addressToId_.end()) {
            int64_t id = held->second;
            addressToId_[spelling] = id;
            AddKnownAddress(spelling);
            return;
        }
    }
    int64_t id = NextAddressId();
    addressToId_[spelling] = id;
    idToAddress_[id] = spelling;
    AddKnownAddress(spelling);
    conversations_[id];
}

void MessageAssembler::AddKnownAddress(const std::string& spelling) {
    if (IsPhoneNumberText(spelling)) knownNumbers_.Add(spelling, knownAddresses_.size());
    knownAddresses_.push_back(spelling);
}

void MessageAssembler::RegisterAddresses() {
    if (tables_.addr)
        for (auto& entry : *tables_.addr)
            if (auto* row = dynamic_cast<CAddrTableRow*>(entry.second)) RegisterAddress(row->address);
    if (tables_.canonicalAddresses)
        for (auto& entry : *tables_.canonicalAddresses)
            if (auto* row = dynamic_cast<CCanonicalAddressesTableRow*>(entry.second)) RegisterAddress(row->address);
    if (tables_.sms)
        for (auto& entry : *tables_.sms)
            if (auto* row = dynamic_cast<CSmsTableRow*>(entry.second))
                if (!row->address.empty()) RegisterAddress(row->address);
}

bool MessageAssembler::HasAddress(const std::string& address, int64_t* id) const {
    auto found = addressToId_.find(address);
    if (found == addressToId_.end()) return false;
    *id = found->second;
    return true;
}

void MessageAssembler::AddLink(int64_t threadId, int64_t addressId) {
    auto range = threadToAddress_.equal_range(threadId);
    for (auto it = range.first; it != range.second; ++it)
        if (it->second == addressId) return;
    threadToAddress_.emplace(threadId, addressId);
}

void MessageAssembler::LinkThreads() {
    threadToAddress_.clear();
    pduRows_.clear();
    knownThreadIds_.clear();
    if (tables_.pdu) pduRows_.insert(tables_.pdu->begin(), tables_.pdu->end());
    LinkThreadRecipients();
    LinkSmsThreads();
    LinkPduThreads();
    AddOrphanPartPdus();
}

void MessageAssembler::LinkThreadRecipients() {
    if (!tables_.threads) return;
    for (auto& entry : *tables_.threads) {
        auto* thread = dynamic_cast<CThreadsTableRow*>(entry.second);
        if (!thread) continue;
        knownThreadIds_.insert(thread->id);
        if (thread->id <= 0 || !tables_.canonicalAddresses) continue;
        for (int64_t recipient : thread->recipientIds) {
            auto range = tables_.canonicalAddresses->equal_range(recipient);
            for (auto it = range.first; it != range.second; ++it) {
                auto* canonical = dynamic_cast<CCanonicalAddressesTableRow*>(it->second);
                int64_t id;
                if (canonical && HasAddress(canonical->address, &id)) AddLink(thread->id, id);
            }
        }
    }
}

void MessageAssembler::LinkSmsThreads() {
    if (!tables_.sms) return;
    for (auto& entry : *tables_.sms) {
        auto* sms = dynamic_cast<CSmsTableRow*>(entry.second);
        if (!sms || sms->address.empty()) continue;
        knownThreadIds_.insert(sms->threadId);
        int64_t id;
        if (sms->threadId > 0 && HasAddress(sms->address, &id)) AddLink(sms->threadId, id);
    }
}

void MessageAssembler::LinkPduThreads() {
    for (auto& entry : pduRows_) {
        auto* pdu = dynamic_cast<CPduTableRow*>(entry.second);
        if (!pdu) continue;
        knownThreadIds_.insert(pdu->threadId);
        if (pdu->threadId > 0 && !threadToAddress_.count(pdu->threadId)) {
            int64_t id = NewUnknownPartner();
            AddLink(pdu->threadId, id);
            conversations_[id];
        }
    }
}

CPduTableRow* MessageAssembler::NewMadeUpPdu(int64_t id, int64_t threadId, int64_t date) {
    auto* pdu = new (std::nothrow) CPduTableRow;
    if (!pdu) return nullptr;
    pdu->live = 0;
    pdu->id = id;
    pdu->threadId = threadId;
    pdu->date = date;
    pdu->messageBox = kMadeUpMessageBox;
    pdu->subjectCharset = kCharsetUtf8;
    pdu->multipartKind = 0;
    ownedRows_.emplace(id, pdu);
    return pdu;
}

void MessageAssembler::AddOrphanPartPdus() {
    if (!tables_.part) return;
    for (auto& entry : *tables_.part) {
        auto* part = dynamic_cast<CPartTableRow*>(entry.second);
        if (!part || pduRows_.count(part->messageId)) continue;
        CPduTableRow* pdu = NewMadeUpPdu(part->messageId, NextThreadId(), 0);
        if (!pdu) continue;
        int64_t id = NewUnknownPartner();
        AddLink(pdu->threadId, id);
        conversations_[id];
        pduRows_.emplace(pdu->id, pdu);
    }
}

ResultCode MessageAssembler::RunAssignmentChain() {
    ResultCode (MessageAssembler::*const steps[])() = {
        &MessageAssembler::AssignSmsRows,     &MessageAssembler::JoinPartsToPdus,
        &MessageAssembler::AssignPduRows,     &MessageAssembler::AddThreadSnippets,
        &MessageAssembler::AddIndexOnlyMessages,
    };
    for (auto step : steps) {
        ResultCode rc = (this->*step)();
        if (Failed(rc)) return rc;
    }
    SortConversations();
    RemoveDuplicateMessages();
    return RK_OK;
}

bool MessageAssembler::Place(int64_t addressId, CTableRow* row) {
    auto found = conversations_.find(addressId);
    if (found == conversations_.end()) return false;
    found->second.push_back(row);
    return true;
}

void MessageAssembler::IndexSms(CSmsTableRow* row) {
    textRowsById_.Add(row->id, row);
    IndexText(row, row->body);
}

void MessageAssembler::IndexText(CTableRow* row, const std::string& text) {
    textRowsByText_.Add(HashOfText(text), row);
    if (auto* sms = dynamic_cast<const CSmsTableRow*>(row)) {
        const bool textOnly = sms->type == kTextOnlySmsType;
        smsTextsByThread_.Add(HashOfThreadText(textOnly, sms->threadId, text), sms);
    }
}

// An address-less sms that no thread takes is left out only when the same text is already placed in
// its own thread or stands in a text-only message; the same words elsewhere are another message.
bool MessageAssembler::IsTextPlacedInThread(const CSmsTableRow* row) const {
    for (bool textOnly : {false, true}) {
        const size_t hash = HashOfThreadText(textOnly, row->threadId, row->body);
        const bool placed = smsTextsByThread_.Any(hash, [&](const CSmsTableRow* sms) {
            if ((sms->type == kTextOnlySmsType) != textOnly || sms->body != row->body) return false;
            return textOnly || sms->threadId == row->threadId;
        });
        if (placed) return true;
    }
    return false;
}

ResultCode MessageAssembler::AssignSmsRows() {
    if (!tables_.sms) return RK_OK;
    for (auto& entry : *tables_.sms) {
        auto* sms = dynamic_cast<CSmsTableRow*>(entry.second);
        if (!sms) continue;
        if (!sms->address.empty()) {
            int64_t id;
            if (HasAddress(sms->address, &id) && Place(id, sms)) IndexSms(sms);
            continue;
        }
        if (sms->threadId > 0) {
            bool taken = false;
            auto range = threadToAddress_.equal_range(sms->threadId);
            for (auto it = range.first; it != range.second; ++it)
                if (Place(it->second, sms)) {
                    IndexSms(sms);
                    taken = true;
                }
            if (taken) continue;
        }
        if (IsTextPlacedInThread(sms)) continue;
        std::string name;
        int64_t id = NewUnknownPartner(&name);
        auto* copy = new (std::nothrow) CSmsTableRow;
        if (!copy) continue;
        copy->live = sms->live;  // a message still on the phone stays live in its stand-in
        copy->id = sms->id;
        copy->threadId = sms->threadId;
        copy->date = sms->date;
        copy->type = sms->type;
        copy->body = sms->body;
        copy->cut = sms->cut;
        copy->address = name;
        ownedRows_.emplace(copy->id, copy);
        if (sms->threadId > 0) AddLink(sms->threadId, id);
        conversations_[id] = Conversation{copy};
        IndexSms(copy);
    }
    return RK_OK;
}

void MessageAssembler::AttachPart(CPduTableRow* pdu, CPartTableRow* part) {
    pdu->AddPart(part);
    if (part->contentClass == kPartPlainText && !part->text.empty()) {
        textRowsById_.Add(part->id, part);
        IndexText(part, part->text);
    }
}

ResultCode MessageAssembler::JoinPartsToPdus() {
    if (!tables_.part) return RK_OK;
    std::multimap<int64_t, CPduTableRow*> extra;
    for (auto& entry : *tables_.part) {
        auto* part = dynamic_cast<CPartTableRow*>(entry.second);
        if (!part) continue;
        std::vector<CPduTableRow*> candidates;
        auto range = pduRows_.equal_range(part->messageId);
        for (auto it = range.first; it != range.second; ++it)
            if (auto* pdu = dynamic_cast<CPduTableRow*>(it->second)) candidates.push_back(pdu);

        bool attached = false;
        for (CPduTableRow* pdu : candidates)
            if (pdu->live == part->live) {
                AttachPart(pdu, part);
                attached = true;
            }
        if (attached) continue;
        for (CPduTableRow* pdu : candidates)
            if (!pdu->live) {
                AttachPart(pdu, part);
                attached = true;
            }
        if (attached) continue;
        auto made = extra.equal_range(part->messageId);
        for (auto it = made.first; it != made.second; ++it) {
            AttachPart(it->second, part);
            attached = true;
        }
        if (attached) continue;
        // A recovered part of a message that is still live: a recovered copy of that message, dated
        // like it, holds such parts.
        for (CPduTableRow* pdu : candidates) {
            CPduTableRow* copy = NewMadeUpPdu(part->messageId, pdu->threadId, pdu->date);
            if (!copy) continue;
            extra.emplace(copy->id, copy);
            AttachPart(copy, part);
        }
    }
    for (auto& entry : extra) pduRows_.emplace(entry.first, entry.second);
    return RK_OK;
}

ResultCode MessageAssembler::AssignPduRows() {
    for (auto& entry : pduRows_) {
        auto* pdu = dynamic_cast<CPduTableRow*>(entry.second);
        if (!pdu) continue;
        if (pdu->threadId > 0) {
            auto range = threadToAddress_.equal_range(pdu->threadId);
            for (auto it = range.first; it != range.second; ++it) Place(it->second, pdu);
        } else {
            int64_t id = NewUnknownPartner();
            conversations_[id] = Conversation{pdu};
        }
    }
    return RK_OK;
}

// Without a source id a text is placed when a row holds that very text; with one, when the row of
// that id holds it among its words.
bool MessageAssembler::IsTextIndexed(int64_t sourceId, const std::string& text, const CThreadsTableRow* thread) const {
    const bool whole = sourceId <= 0;
    auto holds = [&](const CTableRow* row) {
        const std::string* held = nullptr;
        if (auto* sms = dynamic_cast<const CSmsTableRow*>(row)) {
            if (thread && IsSnippetOf(sms, thread)) return false;
            held = &sms->body;
        } else if (auto* part = dynamic_cast<const CPartTableRow*>(row)) {
            held = &part->text;
        }
        return held && (whole ? *held == text : Contains(*held, text));
    };
    if (whole) {
        // Rows of one hash lie side by side; a common text ("OK") may have thousands, and the
        // first that holds it ends the search.
        return textRowsByText_.Any(HashOfText(text), holds);
    }
    return textRowsById_.Any(sourceId, holds);
}

bool MessageAssembler::ConversationContainsText(const Conversation& rows, const std::string& text) {
    for (const CTableRow* row : rows) {
        if (auto* sms = dynamic_cast<const CSmsTableRow*>(row)) {
            if (Contains(sms->body, text)) return true;
        } else if (auto* pdu = dynamic_cast<const CPduTableRow*>(row)) {
            for (const CTableRow* p : pdu->parts) {
                auto* part = static_cast<const CPartTableRow*>(p);
                if (part->contentClass == kPartPlainText && Contains(part->text, text)) return true;
            }
        }
    }
    return false;
}

CSmsTableRow* MessageAssembler::NewTextOnlyMessage(int64_t id, int64_t threadId, int64_t date,
                                                   const std::string& address, const std::string& body,
                                                   bool fromSnippet) {
    auto* row = new (std::nothrow) CSmsTableRow;
    if (!row) return nullptr;
    row->live = 0;
    row->id = id;
    row->threadId = threadId;
    row->date = date;
    row->type = kTextOnlySmsType;
    row->address = address;
    row->body = body;
    row->fromSnippet = fromSnippet;
    ownedRows_.emplace(id, row);
    IndexText(row, body);
    return row;
}

bool MessageAssembler::AddSnippetToConversation(int64_t addressId, const CThreadsTableRow* row) {
    auto found = conversations_.find(addressId);
    if (found == conversations_.end()) return false;
    // The snippet given to one recipient of a group thread does not keep it from the others.
    if (ConversationContainsText(found->second, row->snippet) || IsTextIndexed(-1, row->snippet, row)) return true;
    CSmsTableRow* message = NewTextOnlyMessage(-1, row->id, row->date, std::string(), row->snippet, true);
    if (!message) return false;
    found->second.push_back(message);
    return true;
}

bool MessageAssembler::AddSnippetToRecipients(const CThreadsTableRow* row) {
    bool result = false;
    if (!tables_.canonicalAddresses) return false;
    for (int64_t recipient : row->recipientIds) {
        auto range = tables_.canonicalAddresses->equal_range(recipient);
        for (auto it = range.first; it != range.second; ++it) {
            auto* canonical = dynamic_cast<CCanonicalAddressesTableRow*>(it->second);
            int64_t id;
            if (canonical && HasAddress(canonical->address, &id) && AddSnippetToConversation(id, row)) result = true;
        }
    }
    return result;
}

bool MessageAssembler::AddSnippetConversation(const CThreadsTableRow* row) {
    if (row->id >= 0 && threadToAddress_.count(row->id)) {
        std::vector<int64_t> partners;
        auto range = threadToAddress_.equal_range(row->id);
        for (auto it = range.first; it != range.second; ++it) partners.push_back(it->second);
        for (int64_t id : partners) AddSnippetToConversation(id, row);
        return true;
    }
    if (IsTextIndexed(-1, row->snippet)) return true;
    std::string name;
    int64_t id = NewUnknownPartner(&name);
    CSmsTableRow* message = NewTextOnlyMessage(-1, row->id, row->date, name, row->snippet, true);
    if (!message) return false;
    if (row->id > 0) AddLink(row->id, id);
    conversations_[id] = Conversation{message};
    return true;
}

ResultCode MessageAssembler::AddThreadSnippets() {
    if (!tables_.threads) return RK_OK;
    // The phone keeps a live thread's date and snippet those of its newest live message. When a live
    // message of the thread is as new as the thread or newer, that message is the one the snippet
    // stood for (or the row was never kept that way): its text is no message of its own.
    std::unordered_map<int64_t, int64_t> newestLive;
    auto note = [&](const CBaseSmsAndMmsTableRow* row) {
        if (!row || !row->live || row->threadId <= 0) return;
        auto found = newestLive.emplace(row->threadId, row->date);
        if (!found.second && found.first->second < row->date) found.first->second = row->date;
    };
    if (tables_.sms)
        for (auto& entry : *tables_.sms) note(dynamic_cast<const CSmsTableRow*>(entry.second));
    for (auto& entry : pduRows_) note(dynamic_cast<const CPduTableRow*>(entry.second));
    for (auto& entry : *tables_.threads) {
        auto* thread = dynamic_cast<CThreadsTableRow*>(entry.second);
        if (!thread || thread->snippet.empty() || IsBlankText(thread->snippet)) continue;
        if (thread->live) {
            auto newest = newestLive.find(thread->id);
            if (newest != newestLive.end() && newest->second >= thread->date) continue;
        }
        if (!AddSnippetToRecipients(thread)) AddSnippetConversation(thread);
    }
    return RK_OK;
}

ResultCode MessageAssembler::AddIndexOnlyMessages() {
    if (!tables_.wordsContent) return RK_OK;
    for (auto& entry : *tables_.wordsContent) {
        auto* words = dynamic_cast<CWordsContentTableRow*>(entry.second);
        if (!words) continue;
        const std::string& text = words->indexText;
        if (IsTextIndexed(-1, text) || IsTextIndexed(words->sourceId, text)) continue;
        std::string name;
        int64_t id = NewUnknownPartner(&name);
        int64_t threadId = NextThreadId();
        CSmsTableRow* message = NewTextOnlyMessage(words->sourceId, threadId, 0, name, text, false);
        if (!message) continue;
        conversations_[id] = Conversation{message};
    }
    return RK_OK;
}

// Stable, so rows equal in date and liveness keep the order in which they were placed.
void MessageAssembler::SortConversations() {
    for (auto& entry : conversations_)
        if (!entry.second.empty()) std::stable_sort(entry.second.begin(), entry.second.end(), MessageDateLess);
}

void MessageAssembler::RemoveDuplicateMessages() {
    for (auto& entry : conversations_) {
        Conversation& rows = entry.second;
        if (rows.empty()) continue;

        Conversation kept;
        const CSmsTableRow* previousSms = nullptr;
        for (CTableRow* row : rows) {
            auto* sms = dynamic_cast<CSmsTableRow*>(row);
            if (sms && !sms->live && previousSms) {
                const CSmsTableRow* p = previousSms;
                bool sameDate = sms->date == p->date;
                // The same words on another day or in the other direction are another message.
                if (sms->body == p->body && sameDate && SameDirection(sms, p)) continue;
                if (sameDate && SameDirection(sms, p) && Contains(p->body, sms->body)) continue;
                if (sameDate && sms->type == kTextOnlySmsType) sms->type = p->type;
            }
            kept.push_back(row);
            previousSms = sms;
        }
        rows.swap(kept);

        kept.clear();
        const CPduTableRow* previousPdu = nullptr;
        for (CTableRow* row : rows) {
            auto* pdu = dynamic_cast<CPduTableRow*>(row);
            if (pdu && !pdu->live && previousPdu) {
                bool sameDate = pdu->date == previousPdu->date;
                // A recovered MMS repeats a live one only when its parts do too.
                if (previousPdu->live && sameDate && PartsRepeated(pdu, previousPdu)) continue;
                if (sameDate && pdu->messageBox == kMadeUpMessageBox) pdu->messageBox = previousPdu->messageBox;
            }
            kept.push_back(row);
            previousPdu = pdu;
        }
        rows.swap(kept);
    }
}

void MessageAssembler::FillResultMap() {
    for (auto& entry : conversations_) {
        if (entry.second.empty()) continue;
        auto name = idToAddress_.find(entry.first);
        if (name == idToAddress_.end()) continue;
        result_->emplace(name->second, std::move(entry.second));
    }
}
