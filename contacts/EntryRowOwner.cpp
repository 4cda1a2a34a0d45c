#include "contacts/EntryRowOwner.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "sqlite_recovery/controller/CTableRow.h"

size_t EntryRowOwner::Find(const CTableRow* row) const {
    auto at = std::lower_bound(rows_.begin(), rows_.end(), row, std::less<const CTableRow*>());
    return at != rows_.end() && *at == row ? static_cast<size_t>(at - rows_.begin()) : rows_.size();
}

void EntryRowOwner::TakeOver(const ContactResultMap& result, std::vector<CTableRow*> rows) {
    ReleaseAll();
    rows_ = std::move(rows);
    std::sort(rows_.begin(), rows_.end(), std::less<CTableRow*>());
    rows_.erase(std::unique(rows_.begin(), rows_.end()), rows_.end());
    holders_.assign(rows_.size(), 0);
    auto count = [this](const CTableRow* row) {
        const size_t at = Find(row);
        if (at < rows_.size()) ++holders_[at];
    };
    for (const auto& entry : result) {
        count(entry.first);
        for (const CTableRow* row : entry.second) count(row);
    }
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

void EntryRowOwner::Drop(const CTableRow* row) {
    const size_t at = Find(row);
    if (at < rows_.size() && holders_[at] > 0 && --holders_[at] == 0) rows_[at]->Release();
}

void EntryRowOwner::Done(ContactResultMap& result, ContactResultMap::iterator entry) {
    // The entry goes before its rows: no map keeps a released row.
    CTableRow* key = entry->first;
    std::vector<CTableRow*> rows = std::move(entry->second);
    result.erase(entry);
    Drop(key);
    for (const CTableRow* row : rows) Drop(row);
}

void EntryRowOwner::ReleaseAll() {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (holders_[i] > 0) rows_[i]->Release();
    rows_.clear();
    holders_.clear();
    rows_.shrink_to_fit();
    holders_.shrink_to_fit();
}
