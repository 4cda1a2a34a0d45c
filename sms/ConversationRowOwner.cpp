#include "sms/ConversationRowOwner.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "sms/CPduTableRow.h"

size_t ConversationRowOwner::Find(const CTableRow* row) const {
    auto at = std::lower_bound(rows_.begin(), rows_.end(), row, std::less<const CTableRow*>());
    return at != rows_.end() && *at == row ? static_cast<size_t>(at - rows_.begin()) : rows_.size();
}

void ConversationRowOwner::Hold(const CTableRow* row, int by) {
    // An MMS's parts are let go before the MMS, which lists them.
    if (auto* pdu = dynamic_cast<const CPduTableRow*>(row))
        for (const CTableRow* part : pdu->parts) Hold(part, by);
    const size_t at = Find(row);
    if (at == rows_.size()) return;
    if (by > 0) {
        ++holders_[at];
    } else if (holders_[at] > 0 && --holders_[at] == 0) {
        rows_[at]->Release();
    }
}

void ConversationRowOwner::TakeOver(const SmsResultMap& result, std::vector<CTableRow*> rows) {
    ReleaseAll();
    rows_ = std::move(rows);
    std::sort(rows_.begin(), rows_.end(), std::less<CTableRow*>());
    rows_.erase(std::unique(rows_.begin(), rows_.end()), rows_.end());
    holders_.assign(rows_.size(), 0);
    for (const auto& entry : result)
        for (const CTableRow* row : entry.second) Hold(row, 1);
    size_t kept = 0;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (holders_[i] == 0) {
            rows_[i]->Release();
            continue;
        }
        rows_[kept] = rows_[i];
        holders_[kept++] = holders_[i];
    }
    rows_.resize(kept);
    holders_.resize(kept);
    rows_.shrink_to_fit();
    holders_.shrink_to_fit();
}

void ConversationRowOwner::Done(SmsResultMap& result, SmsResultMap::iterator entry) {
    // The conversation goes before its rows: no map keeps a released row.
    std::vector<CTableRow*> rows = std::move(entry->second);
    result.erase(entry);
    for (const CTableRow* row : rows) Hold(row, -1);
}

void ConversationRowOwner::ReleaseAll() {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (holders_[i] > 0) rows_[i]->Release();
    rows_.clear();
    holders_.clear();
    rows_.shrink_to_fit();
    holders_.shrink_to_fit();
}
