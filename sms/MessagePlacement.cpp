#include "sms/MessageAssembler.h"

#include <algorithm>
#include <map>
#include <new>
#include <utility>
#include <vector>

#include "sms/CPartTableRow.h"
#include "sms/CPduTableRow.h"
#include "sms/CSmsTableRow.h"
#include "sms/MessageTextKeys.h"
#include "sms/RowsFetchedAhead.h"
#include "sms/SmsTextConversion.h"
#include "sms/SmsRowAs.h"

// The placing of SMS and PDU rows in their partners' conversations, the join of parts to their
// messages, and the final sort and removal of repeated messages.

namespace {

bool SameDirection(const CSmsTableRow* a, const CSmsTableRow* b) {
    // Either direction unknown.
    if (a->type == kTextOnlySmsType || b->type == kTextOnlySmsType || !a->typeKnown || !b->typeKnown) return true;
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
    if (auto* sms = SmsRowAs<const CSmsTableRow>(row)) {
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
    ForEachRowFetchingAhead(smsRows_, [&](CSmsTableRow* sms) {
        if (!sms->address.empty()) {
            int64_t id;
            if (HasAddress(sms->address, &id) && Place(id, sms)) IndexSms(sms);
            return;
        }
        if (sms->threadId > 0) {
            bool taken = false;
            auto range = threadToAddress_.equal_range(sms->threadId);
            for (auto it = range.first; it != range.second; ++it)
                if (Place(it->second, sms)) {
                    IndexSms(sms);
                    taken = true;
                }
            if (taken) return;
        }
        if (IsTextPlacedInThread(sms)) return;
        std::string name;
        int64_t id = NewUnknownPartner(&name);
        auto* copy = new (std::nothrow) CSmsTableRow;
        if (!copy) return;
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
    }, [](const CSmsTableRow* sms) { return sms->body.data(); });  // each body placed is hashed
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
        auto* part = SmsRowAs<CPartTableRow>(entry.second);
        if (!part) continue;
        std::vector<CPduTableRow*> candidates;
        auto range = pduRows_.equal_range(part->messageId);
        for (auto it = range.first; it != range.second; ++it)
            if (auto* pdu = SmsRowAs<CPduTableRow>(it->second)) candidates.push_back(pdu);

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
        auto* pdu = SmsRowAs<CPduTableRow>(entry.second);
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

// In MessageDateLess's order, and stable, so rows equal in date and liveness keep the order in which
// they were placed. Each row's order is read once: the comparisons touch no row, and a large phone's
// rows lie far apart.
void MessageAssembler::SortConversations() {
    std::vector<std::pair<MessageOrder, CTableRow*>> keyed;
    for (auto& entry : conversations_) {
        Conversation& rows = entry.second;
        if (rows.size() < 2) continue;
        keyed.clear();
        ForEachRowFetchingAhead(rows, [&](CTableRow* row) { keyed.emplace_back(MessageOrderOf(row), row); });
        std::stable_sort(keyed.begin(), keyed.end(),
                         [](const std::pair<MessageOrder, CTableRow*>& a,
                            const std::pair<MessageOrder, CTableRow*>& b) { return a.first < b.first; });
        for (size_t i = 0; i < rows.size(); ++i) rows[i] = keyed[i].second;
    }
}

void MessageAssembler::RemoveDuplicateMessages() {
    for (auto& entry : conversations_) {
        Conversation& rows = entry.second;
        if (rows.empty()) continue;

        Conversation kept;
        const CSmsTableRow* previousSms = nullptr;
        ForEachRowFetchingAhead(rows, [&](CTableRow* row) {
            auto* sms = SmsRowAs<CSmsTableRow>(row);
            if (sms && !sms->live && previousSms) {
                const CSmsTableRow* p = previousSms;
                bool sameDate = sms->date == p->date;
                // The same words on another day or in the other direction are another message.
                if (sms->body == p->body && sameDate && SameDirection(sms, p)) return;
                if (sameDate && SameDirection(sms, p) && ContainsText(p->body, sms->body)) return;
                if (sameDate && sms->type == kTextOnlySmsType) sms->type = p->type;
            }
            kept.push_back(row);
            previousSms = sms;
        });
        rows.swap(kept);

        kept.clear();
        const CPduTableRow* previousPdu = nullptr;
        for (CTableRow* row : rows) {
            auto* pdu = SmsRowAs<CPduTableRow>(row);
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
