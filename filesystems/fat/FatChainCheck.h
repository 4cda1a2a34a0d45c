#pragma once
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

// Plausibility of a FAT16 or FAT32 copy: entry(c) gives the stored value of entry c (FAT32 masked to
// 28 bits), bad the variant's bad-cluster value. Every entry must be free, a cluster of the table, or
// a bad/end value; no entry may name itself or 1; no two chains may join; no chain may loop. named
// receives, by cluster, whether a link names it.
template <typename EntryFn>
bool FatEntriesAndChainsValid(uint32_t n, uint32_t bad, EntryFn entry, std::vector<bool>* named) {
    named->assign(n, false);
    if (n < 3) return true;
    for (uint32_t c = 2; c < n; ++c) {
        uint32_t v = entry(c);
        if (!(v < n || v >= bad) || v == 1 || v == c) return false;
    }
    std::unique_ptr<uint32_t[]> pred(new (std::nothrow) uint32_t[n]());
    if (!pred) return false;
    for (uint32_t head = 2; head < n; ++head) {
        if (pred[head] != 0) continue;
        uint32_t current = head;
        uint32_t steps = 0;
        for (;;) {
            uint32_t v = entry(current);
            if (v < 2 || v >= bad) break;
            if (v == head) return false;  // the chain came back to its own head: a loop
            if (pred[v] == 0) {
                pred[v] = current;
                (*named)[v] = true;
            } else if (pred[v] == current) {
                break;  // the rest of this chain was walked from an earlier head
            } else {
                return false;  // two chains join: cross-linked clusters
            }
            if (++steps >= n) break;
            current = v;
        }
        if (steps >= n - 2) return false;
    }
    return true;
}

// The weaker test of a copy whose chains are damaged: its entries are free, clusters of the table,
// or bad/end values, but for a few that name no cluster (one changed link costs its chain, not the
// table: the walkers end a chain at a link that names no cluster). Loops, joins and self-links pass;
// the walkers bound them. A table of which more than one used entry in 32 names nothing is none.
template <typename EntryFn>
bool FatEntriesInRange(uint32_t n, uint32_t bad, EntryFn entry, std::vector<bool>* named) {
    named->assign(n, false);
    uint64_t used = 0, far = 0;
    for (uint32_t c = 2; c < n; ++c) {
        uint32_t v = entry(c);
        if (v == 0) continue;
        ++used;
        if (v < n) {
            if (v >= 2 && v != c) (*named)[v] = true;
        } else if (v < bad) {
            ++far;
        }
    }
    return far * 32 <= used;
}
