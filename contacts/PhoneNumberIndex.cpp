#include "contacts/PhoneNumberIndex.h"

#include <functional>

#include "sqlite_recovery/framework/TextUtils.h"

bool PhoneNumberIndex::TailOf(const std::string& text, size_t* tail) {
    const std::string normalized = NormalizePhoneNumber(text);
    const size_t zeros = normalized.find_first_not_of('0');
    const size_t core = zeros == std::string::npos ? normalized.size() : normalized.size() - zeros;
    if (core < kTailLength) return false;
    *tail = std::hash<std::string>()(normalized.substr(normalized.size() - kTailLength));
    return true;
}

void PhoneNumberIndex::Add(const std::string& text, size_t handle) {
    all_.push_back(handle);
    size_t tail;
    if (TailOf(text, &tail)) byTail_.emplace(tail, handle);
    else short_.push_back(handle);
}

void PhoneNumberIndex::Candidates(const std::string& text, std::vector<size_t>* out) const {
    size_t tail;
    if (!TailOf(text, &tail)) {
        out->insert(out->end(), all_.begin(), all_.end());
        return;
    }
    out->insert(out->end(), short_.begin(), short_.end());
    auto range = byTail_.equal_range(tail);
    for (auto it = range.first; it != range.second; ++it) out->push_back(it->second);
}
