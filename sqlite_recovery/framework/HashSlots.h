#pragma once
// Values filed by a hash in one array of slots (open addressing, linear probing), for the indexes
// that find a table's rows by what they hold. A large phone files hundreds of thousands of rows a
// batch: a node apiece would be as many allocations, scattered, each look-up a chase through them,
// and the buckets of a growing hash map left behind in its arena. Here a look-up reads one stretch
// of the array, and the array is one allocation, made at its size when the batch's size is known.
// Several values may be filed under one hash; each is visited by a look-up of it, in no order a
// caller may count on.
#include <cstddef>
#include <cstdint>
#include <vector>

template <class Value>
class HashSlots {
public:
    // Room for count values in all without growing.
    void Reserve(size_t count) {
        if (!Fits(count)) Rebuild(count);
    }

    void Add(size_t hash, const Value& value) {
        if (!Fits(used_ + 1)) Rebuild(size_ + 1);
        Slot& slot = slots_[FreeSlot(KeyOf(hash))];
        if (slot.key == kEmpty) ++used_;
        slot.key = KeyOf(hash);
        slot.value = value;
        ++size_;
    }

    // Calls visit(value) for each value filed under hash, until it returns true; whether one did.
    template <class Visit>
    bool Find(size_t hash, Visit visit) const {
        if (slots_.empty()) return false;
        const size_t key = KeyOf(hash), mask = slots_.size() - 1;
        for (size_t at = Home(key); slots_[at].key != kEmpty; at = (at + 1) & mask)
            if (slots_[at].key == key && visit(slots_[at].value)) return true;
        return false;
    }

    // Forgets the first value filed under hash for which match(value) is true; whether there was one.
    template <class Match>
    bool Remove(size_t hash, Match match) {
        if (slots_.empty()) return false;
        const size_t key = KeyOf(hash), mask = slots_.size() - 1;
        for (size_t at = Home(key); slots_[at].key != kEmpty; at = (at + 1) & mask)
            if (slots_[at].key == key && match(slots_[at].value)) {
                slots_[at].key = kRemoved;  // the slots after it stay reachable
                slots_[at].value = Value();
                --size_;
                return true;
            }
        return false;
    }

    size_t Size() const { return size_; }

    // Forgets every value and gives back the memory.
    void Clear() {
        std::vector<Slot>().swap(slots_);
        used_ = size_ = 0;
        shift_ = 64;
    }

private:
    static constexpr size_t kEmpty = 0, kRemoved = 1;
    struct Slot {
        size_t key = kEmpty;  // the hash, moved off the two marks
        Value value{};
    };

    static size_t KeyOf(size_t hash) { return hash < 2 ? hash + 2 : hash; }
    // Whether count slots in use leave the probes short: at most seven in ten of the slots filled.
    bool Fits(size_t count) const { return 10 * count <= 7 * slots_.size(); }
    // Spread by a multiplication: the hashes' low bits alone may be poorly mixed.
    size_t Home(size_t key) const { return static_cast<size_t>((uint64_t{key} * 0x9E3779B97F4A7C15ull) >> shift_); }
    size_t FreeSlot(size_t key) const {
        const size_t mask = slots_.size() - 1;
        size_t at = Home(key);
        while (slots_[at].key != kEmpty && slots_[at].key != kRemoved) at = (at + 1) & mask;
        return at;
    }
    // Slots enough for count values (and the values filed so far); removed ones are dropped.
    void Rebuild(size_t count) {
        if (count < size_) count = size_;
        size_t slots = 16;
        int shift = 60;
        while (10 * count > 7 * slots) {
            slots *= 2;
            --shift;
        }
        std::vector<Slot> old(slots);
        old.swap(slots_);
        shift_ = shift;
        used_ = size_;
        for (const Slot& slot : old)
            if (slot.key != kEmpty && slot.key != kRemoved) {
                Slot& to = slots_[FreeSlot(slot.key)];
                to.key = slot.key;
                to.value = slot.value;
            }
    }

    std::vector<Slot> slots_;
    size_t used_ = 0;  // slots that hold a value or held one that was removed
    size_t size_ = 0;
    int shift_ = 64;
};
