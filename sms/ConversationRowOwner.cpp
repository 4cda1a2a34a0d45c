#include "sms/ConversationRowOwner.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "sms/CPduTableRow.h"
#include "sms/SmsRowAs.h"

namespace {

// Appends a conversation's hold on a message and, for an MMS, on its parts.
void AddHold(const CTableRow* row, std::vector<const CTableRow*>* held) {
    held->push_back(row);
    if (auto* pdu = SmsRowAs<const CPduTableRow>(row))
        for (const CTableRow* part : pdu->parts) held->push_back(part);
}

}  // namespace

void ConversationRowOwner::TakeOver(const SmsResultMap& result, std::vector<CTableRow*> rows) {
    std::vector<const CTableRow*> held;
    for (const auto& entry : result)
        for (const CTableRow* row : entry.second) AddHold(row, &held);
    std::sort(held.begin(), held.end(), std::less<const CTableRow*>());
    shared_.clear();
    for (size_t i = 0; i < held.size();) {
        size_t end = i + 1;
        while (end < held.size() && held[end] == held[i]) ++end;
        if (end - i > 1) shared_.emplace_back(held[i], static_cast<uint32_t>(end - i));
        i = end;
    }
    shared_.shrink_to_fit();
    // What no conversation holds goes now.
    std::sort(rows.begin(), rows.end(), std::less<CTableRow*>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    auto next = held.begin();
    for (CTableRow* row : rows) {
        while (next != held.end() && std::less<const CTableRow*>()(*next, row)) ++next;
        if (next == held.end() || *next != row) row->Release();
    }
    holding_ = true;
}

void ConversationRowOwner::Drop(CTableRow* row) {
    // An MMS's parts are let go before the MMS, which lists them.
    if (auto* pdu = SmsRowAs<CPduTableRow>(row))
        for (CTableRow* part : pdu->parts) Drop(part);
    auto at = std::lower_bound(shared_.begin(), shared_.end(), row,
                               [](const std::pair<const CTableRow*, uint32_t>& held, const CTableRow* r) {
                                   return std::less<const CTableRow*>()(held.first, r);
                               });
    if (at != shared_.end() && at->first == row) {
        if (at->second == 0 || --at->second > 0) return;
    }
    row->Release();
}

void ConversationRowOwner::Done(SmsResultMap& result, SmsResultMap::iterator entry) {
    // The conversation goes before its rows: no map keeps a released row.
    std::vector<CTableRow*> rows = std::move(entry->second);
    result.erase(entry);
    if (holding_)
        for (size_t i = 0; i < rows.size(); ++i) {
            if (i + 2 < rows.size()) __builtin_prefetch(rows[i + 2]);  // far apart in memory
            Drop(rows[i]);
        }
}

void ConversationRowOwner::ReleaseAll(SmsResultMap& result) {
    while (!result.empty()) Done(result, result.begin());
    holding_ = false;
    shared_.clear();
    shared_.shrink_to_fit();
}
