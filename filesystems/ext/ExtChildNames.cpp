#include "filesystems/ext/ExtChildNames.h"

#include <algorithm>
#include <cstring>

void ExtChildNames::Add(uint32_t ino, const char* name, size_t length) {
    length = std::min<size_t>(length, 0xFFFF);
    if (used_ + length > 0xFFFFFFFFu) throw std::bad_alloc();
    if (entries_.empty()) entries_.reserve(64);
    entries_.push_back(Entry{ino, static_cast<uint32_t>(used_), static_cast<uint16_t>(length), false});
    if (used_ + length > bytes_.Capacity()) {
        try {
            bytes_.Reserve(std::max<size_t>(used_ + length, std::max<size_t>(2 * bytes_.Capacity(), 1024)), true);
        } catch (...) {
            entries_.pop_back();
            throw;
        }
    }
    if (length) std::memcpy(bytes_.Data() + used_, name, length);
    used_ += length;
    ++live_;
}

template <typename Visit>
bool ExtChildNames::TakeEach(uint32_t ino, Visit visit) {
    if (live_ == 0) return false;
    if (sorted_ < entries_.size()) {
        // Stable: of one inode's names, the last added stays last. A folder's entries often come
        // in inode order already.
        const auto byInode = [](const Entry& a, const Entry& b) { return a.ino < b.ino; };
        const auto tail = entries_.begin() + static_cast<std::ptrdiff_t>(sorted_);
        const bool inOrder = std::is_sorted(tail, entries_.end(), byInode) && (sorted_ == 0 || !byInode(*tail, tail[-1]));
        if (!inOrder) {
            std::stable_sort(tail, entries_.end(), byInode);
            std::inplace_merge(entries_.begin(), tail, entries_.end(), byInode);
        }
        sorted_ = entries_.size();
    }
    auto first = std::lower_bound(entries_.begin(), entries_.end(), ino,
                                  [](const Entry& e, uint32_t key) { return e.ino < key; });
    bool any = false;
    for (auto it = first; it != entries_.end() && it->ino == ino; ++it) {
        if (it->taken) continue;
        visit(reinterpret_cast<const char*>(bytes_.Data()) + it->offset, it->length);
        it->taken = true;
        --live_;
        any = true;
    }
    return any;
}

bool ExtChildNames::Take(uint32_t ino, std::string* out) {
    // The last name added is the one that stays.
    return TakeEach(ino, [out](const char* name, size_t length) { out->assign(name, length); });
}

bool ExtChildNames::TakeAll(uint32_t ino, ExtVector<std::string>* out) {
    out->clear();
    return TakeEach(ino, [out](const char* name, size_t length) { out->emplace_back(name, length); });
}
