#include "sms/MessageAssembler.h"

#include <new>
#include <unordered_map>

#include "sms/CCanonicalAddressesTableRow.h"
#include "sms/CPartTableRow.h"
#include "sms/CPduTableRow.h"
#include "sms/CSmsTableRow.h"
#include "sms/CThreadsTableRow.h"
#include "sms/CWordsContentTableRow.h"
#include "sms/MessageTextKeys.h"
#include "sms/RowsFetchedAhead.h"
#include "sms/SmsTextConversion.h"
#include "sqlite_recovery/framework/TextUtils.h"
#include "sms/SmsRowAs.h"

// Messages made from a text alone: the threads' snippets and the word index's texts that no placed
// message holds.

namespace {

// A text-only message made from this thread's snippet.
bool IsSnippetOf(const CSmsTableRow* sms, const CThreadsTableRow* thread) {
    return sms->type == kTextOnlySmsType && sms->id == -1 && sms->threadId == thread->id;
}

}  // namespace

// Without a source id a text is placed when a row holds that very text; with one, when the row of
// that id holds it among its words.
bool MessageAssembler::IsTextIndexed(int64_t sourceId, const std::string& text, const CThreadsTableRow* thread) const {
    const bool whole = sourceId <= 0;
    auto holds = [&](const CTableRow* row) {
        const std::string* held = nullptr;
        if (auto* sms = SmsRowAs<const CSmsTableRow>(row)) {
            if (thread && IsSnippetOf(sms, thread)) return false;
            held = &sms->body;
        } else if (auto* part = SmsRowAs<const CPartTableRow>(row)) {
            held = &part->text;
        }
        return held && (whole ? *held == text : ContainsText(*held, text));
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
        if (auto* sms = SmsRowAs<const CSmsTableRow>(row)) {
            if (ContainsText(sms->body, text)) return true;
        } else if (auto* pdu = SmsRowAs<const CPduTableRow>(row)) {
            for (const CTableRow* p : pdu->parts) {
                auto* part = static_cast<const CPartTableRow*>(p);
                if (part->contentClass == kPartPlainText && ContainsText(part->text, text)) return true;
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
            auto* canonical = SmsRowAs<CCanonicalAddressesTableRow>(it->second);
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
    ForEachRowFetchingAhead(smsRows_, note);
    for (auto& entry : pduRows_) note(SmsRowAs<const CPduTableRow>(entry.second));
    for (auto& entry : *tables_.threads) {
        auto* thread = SmsRowAs<CThreadsTableRow>(entry.second);
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
        auto* words = SmsRowAs<CWordsContentTableRow>(entry.second);
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

