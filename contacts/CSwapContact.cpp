#include "contacts/CSwapContact.h"

#include "contacts/PhoneNumberMatch.h"

ISwapContact::~ISwapContact() {}

void CSwapContact::Add(const std::string& key, const SwapContactEntry& entry, bool isPhone) {
    if (isPhone) {
        if (!key.empty()) phones_.emplace(key, entry);
    } else {
        emails_.emplace(key, entry);
    }
}

bool CSwapContact::Find(const std::string& key, SwapContactEntry* out) {
    if (key.empty()) return false;
    bool found = false;
    SwapContactEntry best;
    for (const auto& phone : phones_) {
        if (!MatchPhoneNumber(key, phone.first)) continue;
        if (!found || phone.second.live) {
            best = phone.second;
            found = true;
        }
        if (phone.second.live) break;
    }
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
