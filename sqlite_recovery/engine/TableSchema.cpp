#include "TableSchema.h"

#include <algorithm>

void RecordMap::Finish(const RecordMap* exclude) {
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const Entry& a, const Entry& b) { return a.key < b.key; });
    size_t out = 0;
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (out > 0 && entries_[out - 1].key == entries_[i].key) continue;
        if (exclude && exclude->Contains(entries_[i].key)) continue;
        entries_[out++] = entries_[i];
    }
    entries_.resize(out);
}

bool RecordMap::Contains(uint64_t key) const {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), key,
                               [](const Entry& e, uint64_t k) { return e.key < k; });
    return it != entries_.end() && it->key == key;
}

size_t RecordMap::UpperBound(uint64_t key) const {
    auto it = std::upper_bound(entries_.begin(), entries_.end(), key,
                               [](uint64_t k, const Entry& e) { return k < e.key; });
    return static_cast<size_t>(it - entries_.begin());
}
