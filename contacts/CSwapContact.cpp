#include "contacts/CSwapContact.h"

#include "contacts/PhoneNumberMatch.h"

ISwapContact::~ISwapContact() {}

void CSwapContact::Add(const std::string& key, const SwapContactEntry& entry, bool isPhone) {
    if (!isPhone) {
        emails_.emplace(key, entry);
        return;
    }
    if (key.empty()) return;
    // A contact's numbers come one after the other, each with the contact's name.
    if (names_.empty() || names_.back() != entry.name) names_.push_back(entry.name);
    phoneIndex_.Add(key, phones_.size());
    phones_.push_back({key, static_cast<uint32_t>(names_.size() - 1), entry.live != 0});
}

bool CSwapContact::Before(uint32_t a, uint32_t b) const {
    const int order = phones_[a].number.compare(phones_[b].number);
    return order != 0 ? order < 0 : a < b;
}

// As a walk over every phone entry in the order of their numbers (then of adding) would: the first
// live match, else the first match; only the entries that may match are compared.
bool CSwapContact::Find(const std::string& key, SwapContactEntry* out) {
    if (key.empty()) return false;
    std::vector<size_t> candidates;
    phoneIndex_.Candidates(key, &candidates);
    constexpr uint32_t kNone = UINT32_MAX;
    uint32_t first = kNone, firstLive = kNone;
    for (size_t candidate : candidates) {
        const uint32_t at = static_cast<uint32_t>(candidate);
        if (!MatchPhoneNumber(key, phones_[at].number)) continue;
        if (first == kNone || Before(at, first)) first = at;
        if (phones_[at].live && (firstLive == kNone || Before(at, firstLive))) firstLive = at;
    }
    bool found = first != kNone;
    SwapContactEntry best;
    if (found) {
        const PhoneEntry& phone = phones_[firstLive != kNone ? firstLive : first];
        best.live = phone.live ? 1 : 0;
        best.name = names_[phone.name];
    } else {
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
