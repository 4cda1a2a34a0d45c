#include "sqlite_recovery/engine/TableSchema.h"

#include <algorithm>

namespace {

// Of two carvings at one place: a whole record before a partial one; then an intact cell, then an
// exact fit that assumed the shorter rowid, then the earlier one.
int Rank(const RecordRef& r) { return (r.partial ? 3 : 0) + (r.intact ? 0 : (r.exact ? 1 : 2)); }

bool Better(const RecordRef& a, const RecordRef& b) {
    if (Rank(a) != Rank(b)) return Rank(a) < Rank(b);
    return Rank(a) % 3 == 1 && a.rowidSize < b.rowidSize;
}

}  // namespace

void RecordMap::Finish(const RecordMap* exclude) {
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const Entry& a, const Entry& b) { return a.key < b.key; });
    size_t out = 0;
    for (size_t i = 0; i < entries_.size();) {
        size_t j = i, best = i;
        for (; j < entries_.size() && entries_[j].key == entries_[i].key; ++j)
            if (Better(entries_[j].ref, entries_[best].ref)) best = j;
        if (!exclude || !exclude->Contains(entries_[i].key)) entries_[out++] = entries_[best];
        i = j;
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
