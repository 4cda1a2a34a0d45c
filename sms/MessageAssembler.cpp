#include "sms/MessageAssembler.h"

#include <algorithm>
#include <new>

#include "sms/CCanonicalAddressesTableRow.h"
#include "sms/CAddrTableRow.h"
#include "sms/CPartTableRow.h"
#include "sms/CPduTableRow.h"
#include "sms/CSmsTableRow.h"
#include "sms/CThreadsTableRow.h"
#include "contacts/PhoneNumberMatch.h"
#include "sms/RowsFetchedAhead.h"
#include "sms/SmsTextConversion.h"
#include "sqlite_recovery/framework/TextUtils.h"
#include "sms/SmsRowAs.h"

namespace {

// Never reset: a second build in the same process goes on from where the first stopped.
int64_t g_addressCounter = 0;
int64_t g_threadCounter = 0;
int64_t g_unknownCounter = 0;

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
    smsRows_.clear();
    smsRows_.reserve(sms);
    if (tables_.sms)
        for (auto& entry : *tables_.sms)
            if (auto* row = SmsRowAs<CSmsTableRow>(entry.second)) smsRows_.push_back(row);
    RegisterAddresses();
    LinkThreads();
    ResultCode rc = RunAssignmentChain();
    if (Succeeded(rc)) FillResultMap();
    return rc;
}

void MessageAssembler::ForgetIndexes() {
    MessageAssembler empty(tables_, result_);
    std::swap(smsRows_, empty.smsRows_);
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
            if (auto* row = SmsRowAs<CAddrTableRow>(entry.second)) RegisterAddress(row->address);
    if (tables_.canonicalAddresses)
        for (auto& entry : *tables_.canonicalAddresses)
            if (auto* row = SmsRowAs<CCanonicalAddressesTableRow>(entry.second)) RegisterAddress(row->address);
    ForEachRowFetchingAhead(smsRows_, [&](CSmsTableRow* row) {
        if (!row->address.empty()) RegisterAddress(row->address);
    });
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
        auto* thread = SmsRowAs<CThreadsTableRow>(entry.second);
        if (!thread) continue;
        knownThreadIds_.insert(thread->id);
        if (thread->id <= 0 || !tables_.canonicalAddresses) continue;
        for (int64_t recipient : thread->recipientIds) {
            auto range = tables_.canonicalAddresses->equal_range(recipient);
            for (auto it = range.first; it != range.second; ++it) {
                auto* canonical = SmsRowAs<CCanonicalAddressesTableRow>(it->second);
                int64_t id;
                if (canonical && HasAddress(canonical->address, &id)) AddLink(thread->id, id);
            }
        }
    }
}

void MessageAssembler::LinkSmsThreads() {
    ForEachRowFetchingAhead(smsRows_, [&](CSmsTableRow* sms) {
        if (sms->address.empty()) return;
        knownThreadIds_.insert(sms->threadId);
        int64_t id;
        if (sms->threadId > 0 && HasAddress(sms->address, &id)) AddLink(sms->threadId, id);
    });
}

void MessageAssembler::LinkPduThreads() {
    for (auto& entry : pduRows_) {
        auto* pdu = SmsRowAs<CPduTableRow>(entry.second);
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
        auto* part = SmsRowAs<CPartTableRow>(entry.second);
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

