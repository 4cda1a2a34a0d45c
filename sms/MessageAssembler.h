#pragma once
#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "contacts/PhoneNumberIndex.h"
#include "sqlite_recovery/framework/ResultCode.h"
#include "sms/SmsRowStore.h"

class CTableRow;
class CThreadsTableRow;
class CSmsTableRow;
class CPduTableRow;
class CPartTableRow;

// The row maps of the seven tables, as their analysers hold them (rows by _id).
struct SmsTableRows {
    const SmsRowMap* threads = nullptr;
    const SmsRowMap* addr = nullptr;
    const SmsRowMap* canonicalAddresses = nullptr;
    const SmsRowMap* sms = nullptr;
    const SmsRowMap* pdu = nullptr;
    const SmsRowMap* part = nullptr;
    const SmsRowMap* wordsContent = nullptr;
};

// Partner address to the conversation's messages in date order.
using SmsResultMap = std::map<std::string, std::vector<CTableRow*>>;

// Rows by a key, each row found by any look-up of its key. Most rows are filed before the first
// look-up: those lie in one sorted list, 16 bytes a row where a tree's node takes 64 and a hash
// map's 40; a row filed after a look-up waits in a small map.
template <class Key, class Row>
class RowsByKey {
public:
    void Reserve(size_t count) { filed_.reserve(count); }
    void Add(Key key, Row* row) {
        if (sorted_) late_.emplace(key, row);
        else filed_.emplace_back(key, row);
    }
    // Whether holds is true of a row filed under key; stops at the first.
    template <class Holds>
    bool Any(Key key, Holds holds) const {
        if (!sorted_) {
            std::sort(filed_.begin(), filed_.end(),
                      [](const std::pair<Key, Row*>& a, const std::pair<Key, Row*>& b) { return a.first < b.first; });
            sorted_ = true;
        }
        auto at = std::lower_bound(filed_.begin(), filed_.end(), key,
                                   [](const std::pair<Key, Row*>& entry, Key k) { return entry.first < k; });
        for (; at != filed_.end() && at->first == key; ++at)
            if (holds(at->second)) return true;
        auto late = late_.equal_range(key);
        for (auto it = late.first; it != late.second; ++it)
            if (holds(it->second)) return true;
        return false;
    }

private:
    mutable std::vector<std::pair<Key, Row*>> filed_;
    mutable bool sorted_ = false;
    std::unordered_multimap<Key, Row*> late_;
};

// Joins the table rows into conversations keyed by the partner's address. Rows it makes up (copies
// of unplaced sms, PDU rows for parts, text-only messages) belong to it and die with it, so the
// result map is only meaningful while the assembler lives.
class MessageAssembler {
public:
    MessageAssembler(const SmsTableRows& tables, SmsResultMap* result);
    ~MessageAssembler();
    MessageAssembler(const MessageAssembler&) = delete;
    MessageAssembler& operator=(const MessageAssembler&) = delete;

    // Registers the addresses, links the threads, runs the assignment chain and fills the result map.
    ResultCode Build();
    // Gives back what only the build reads (the result map and the rows made stay).
    void ForgetIndexes();
    // Hands the rows it made to the caller, who releases them; the result map may then outlive it.
    void GiveUpMadeRows(std::vector<CTableRow*>* rows);

private:
    using Conversation = std::vector<CTableRow*>;

    // Process-wide counters: ids and names never repeat within one process.
    int64_t NextAddressId();
    int64_t NextThreadId();
    static std::string MakeUnknownAddress();
    int64_t NewUnknownPartner(std::string* name = nullptr);

    void RegisterAddress(const std::string& spelling);
    void AddKnownAddress(const std::string& spelling);
    void RegisterAddresses();
    void AddLink(int64_t threadId, int64_t addressId);
    bool HasAddress(const std::string& address, int64_t* id) const;

    void LinkThreads();
    void LinkThreadRecipients();
    void LinkSmsThreads();
    void LinkPduThreads();
    void AddOrphanPartPdus();

    ResultCode RunAssignmentChain();
    ResultCode AssignSmsRows();
    ResultCode JoinPartsToPdus();
    ResultCode AssignPduRows();
    ResultCode AddThreadSnippets();
    ResultCode AddIndexOnlyMessages();
    void SortConversations();
    void RemoveDuplicateMessages();
    void FillResultMap();

    bool Place(int64_t addressId, CTableRow* row);
    void IndexSms(CSmsTableRow* row);
    void IndexText(CTableRow* row, const std::string& text);
    void AttachPart(CPduTableRow* pdu, CPartTableRow* part);
    CPduTableRow* NewMadeUpPdu(int64_t id, int64_t threadId, int64_t date);
    CSmsTableRow* NewTextOnlyMessage(int64_t id, int64_t threadId, int64_t date, const std::string& address,
                                     const std::string& body, bool fromSnippet);

    // Whether a placed text holds text; snippet messages of the given thread are not looked at.
    bool IsTextIndexed(int64_t sourceId, const std::string& text, const CThreadsTableRow* thread = nullptr) const;
    bool IsTextPlacedInThread(const CSmsTableRow* row) const;
    static bool ConversationContainsText(const Conversation& rows, const std::string& text);
    bool AddSnippetToConversation(int64_t addressId, const CThreadsTableRow* row);
    bool AddSnippetToRecipients(const CThreadsTableRow* row);
    bool AddSnippetConversation(const CThreadsTableRow* row);

    SmsTableRows tables_;
    SmsResultMap* result_;

    std::vector<std::string> knownAddresses_;
    PhoneNumberIndex knownNumbers_;  // the phone numbers among them, by position
    std::multimap<int64_t, CTableRow*> pduRows_;
    std::multimap<int64_t, CTableRow*> ownedRows_;
    RowsByKey<int64_t, CTableRow> textRowsById_;
    // Placed texts (SMS bodies, text parts, text-only messages) by a hash of the text: a text is
    // looked for as a whole, so only rows that hold the very same text need be compared.
    RowsByKey<size_t, CTableRow> textRowsByText_;
    // SMS rows by a hash of their thread and body; text-only messages, which stand for any thread,
    // by their body alone.
    RowsByKey<size_t, const CSmsTableRow> smsTextsByThread_;
    // The sms table's rows in its map's order, listed once for the passes over them: a walk of a
    // large phone's map chases a node a row.
    std::vector<CSmsTableRow*> smsRows_;
    // Looked up for every message, and never walked.
    std::unordered_map<std::string, int64_t> addressToId_;
    std::map<int64_t, std::string> idToAddress_;
    std::multimap<int64_t, int64_t> threadToAddress_;
    std::unordered_set<int64_t> knownThreadIds_;
    std::map<int64_t, Conversation> conversations_;
};
