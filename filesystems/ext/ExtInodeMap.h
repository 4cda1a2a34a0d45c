#pragma once
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

#include "filesystems/ext/ExtMemory.h"

// A hash table from inode number (never 0) to V, for what the walk keeps by inode until a folder
// entry or the inode itself comes by: one flat array of slots from the reader's heap, linear
// probing, erasing by moving the following entries back (no tombstones), at most half full. Tens of
// thousands of inodes go in and out in a walk; a tree would allocate a node for each.
template <class V>
class ExtInodeMap {
public:
    size_t Size() const { return used_; }
    bool Empty() const { return used_ == 0; }

    // Null when ino is not there.
    V* Find(uint32_t ino) {
        const size_t i = IndexOf(ino);
        return i == kNone ? nullptr : &slots_[i].value;
    }

    // The value of ino, made when it is not there. Throws std::bad_alloc (the table is unchanged).
    V& operator[](uint32_t ino) {
        if (V* found = Find(ino)) return *found;
        if ((used_ + 1) * 2 > slots_.size()) Grow();
        size_t i = Home(ino);
        while (slots_[i].key != 0) i = (i + 1) & Mask();
        slots_[i].key = ino;
        ++used_;
        return slots_[i].value;
    }

    // Moves the value of ino into out and erases it; false when it is not there.
    bool Take(uint32_t ino, V* out) {
        const size_t i = IndexOf(ino);
        if (i == kNone) return false;
        *out = std::move(slots_[i].value);
        EraseAt(i);
        return true;
    }

    bool Erase(uint32_t ino) {
        V ignored;
        return Take(ino, &ignored);
    }

    // Calls visit(ino, value) for every entry, in no particular order; visit must not change the table.
    template <class Visit>
    void ForEach(Visit visit) {
        for (Slot& slot : slots_)
            if (slot.key != 0) visit(slot.key, slot.value);
    }

    // Erases every entry whose value satisfies drop.
    template <class Pred>
    void EraseIf(Pred drop) {
        for (size_t i = 0; i < slots_.size();) {
            // An erase moves a later entry into slot i: look at it again.
            if (slots_[i].key != 0 && drop(slots_[i].value)) EraseAt(i);
            else ++i;
        }
    }

    void Clear() {
        ExtVector<Slot>().swap(slots_);
        used_ = 0;
    }

private:
    struct Slot {
        uint32_t key = 0;
        V value{};
    };

    static constexpr size_t kNone = ~size_t{0};

    size_t IndexOf(uint32_t ino) const {
        if (used_ == 0 || ino == 0) return kNone;
        for (size_t i = Home(ino);; i = (i + 1) & Mask()) {
            if (slots_[i].key == ino) return i;
            if (slots_[i].key == 0) return kNone;
        }
    }

    size_t Mask() const { return slots_.size() - 1; }
    // Fibonacci hashing: consecutive numbers land far apart.
    size_t Home(uint32_t ino) const { return static_cast<size_t>((ino * UINT64_C(0x9E3779B97F4A7C15)) >> shift_); }

    void Grow() {
        const size_t size = slots_.empty() ? 16 : slots_.size() * 2;
        ExtVector<Slot> bigger(size);
        ExtVector<Slot> old;
        old.swap(slots_);
        slots_.swap(bigger);
        shift_ = 64;
        for (size_t s = size; s > 1; s >>= 1) --shift_;
        for (Slot& slot : old) {
            if (slot.key == 0) continue;
            size_t i = Home(slot.key);
            while (slots_[i].key != 0) i = (i + 1) & Mask();
            slots_[i].key = slot.key;
            slots_[i].value = std::move(slot.value);
        }
    }

    void EraseAt(size_t hole) {
        for (size_t j = (hole + 1) & Mask(); slots_[j].key != 0; j = (j + 1) & Mask()) {
            const size_t home = Home(slots_[j].key);
            // The entry at j may fill the hole when its home does not lie cyclically in (hole, j].
            const bool stays = hole < j ? (home > hole && home <= j) : (home > hole || home <= j);
            if (stays) continue;
            slots_[hole].key = slots_[j].key;
            slots_[hole].value = std::move(slots_[j].value);
            hole = j;
        }
        slots_[hole].key = 0;
        slots_[hole].value = V();
        --used_;
    }

    ExtVector<Slot> slots_;
    size_t used_ = 0;
    unsigned shift_ = 64;
};
