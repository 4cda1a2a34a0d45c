#include "contacts/CSwapContact.h"

#include "contacts/PhoneNumberMatch.h"

ISwapContact::~ISwapContact() {}

void CSwapContact::Add(const std::string& key, const SwapContactEntry& entry, bool isPhone) {
    if (isPhone) {
        if (key.empty()) return;
        phoneIndex_.Add(key, phoneEntries_.size());
        phoneEntries_.push_back(phones_.emplace(key, PhoneEntry{entry, phoneEntries_.size()}));
    } else {
        emails_.emplace(key, entry);
    }
}

bool CSwapContact::Before(PhoneMap::const_iterator a, PhoneMap::const_iterator b) {
    if (a->first != b->first) return a->first < b->first;
    return a->second.added < b->second.added;
}

// As a walk over every phone entry in the map's order would: the first live match, else the first
// match; only the entries that may match are compared.
bool CSwapContact::Find(const std::string& key, SwapContactEntry* out) {
    if (key.empty()) return false;
    std::vector<size_t> candidates;
    phoneIndex_.Candidates(key, &candidates);
    bool found = false;
    PhoneMap::const_iterator first, firstLive;
    bool live = false;
    for (size_t handle : candidates) {
        PhoneMap::const_iterator it = phoneEntries_[handle];
        if (!MatchPhoneNumber(key, it->first)) continue;
        if (!found || Before(it, first)) first = it;
        found = true;
        if (it->second.entry.live && (!live || Before(it, firstLive))) {
            firstLive = it;
            live = true;
        }
    }
    SwapContactEntry best;
    if (found) best = (live ? firstLive : first)->second.entry;
    if (!found) {
        auto range = emails_.equal_range(key);
        for (auto it = range.first; it != range.second; ++it) {
            if (!found || it->second.live) {
                best = it->second;
                found = true;
            }
            if (it->second.live) break;
        }
    }
    if (found && out) *out = best;
    return found;
}
