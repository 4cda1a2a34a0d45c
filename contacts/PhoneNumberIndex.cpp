#include "contacts/PhoneNumberIndex.h"

#include "sqlite_recovery/framework/TextUtils.h"

std::string PhoneNumberIndex::TailOf(const std::string& text) {
    const std::string normalized = NormalizePhoneNumber(text);
    const size_t zeros = normalized.find_first_not_of('0');
    const size_t core = zeros == std::string::npos ? normalized.size() : normalized.size() - zeros;
    if (core < kTailLength) return std::string();
    return normalized.substr(normalized.size() - kTailLength);
}

void PhoneNumberIndex::Add(const std::string& text, size_t handle) {
    all_.push_back(handle);
    const std::string tail = TailOf(text);
    if (tail.empty()) short_.push_back(handle);
    else byTail_.emplace(tail, handle);
}

void PhoneNumberIndex::Candidates(const std::string& text, std::vector<size_t>* out) const {
    const std::string tail = TailOf(text);
    if (tail.empty()) {
        out->insert(out->end(), all_.begin(), all_.end());
        return;
    }
    out->insert(out->end(), short_.begin(), short_.end());
    auto range = byTail_.equal_range(tail);
    for (auto it = range.first; it != range.second; ++it) out->push_back(it->second);
}
