#pragma once
// The map of the result containers, whose nodes come from a pool of their own.
//
// A search adds records by the ten thousand, each between the allocations of its own file node.
// Taken from the general heap, the map's nodes end up far apart, and every rehash and every walk
// over the map (the consumers', the destructor's) misses the cache on each of them. The pool hands
// out slots of one size from blocks of its own, side by side, and keeps slots given back for
// reuse; its blocks go when the last map using it does. A pool is used under its container's lock
// only: a copied map gets a pool of its own, moves and swaps take theirs along.
#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <new>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

// Under AddressSanitizer every node comes from the ordinary heap, so that each access stays checked.
#if defined(__SANITIZE_ADDRESS__)
#define RK_RECORD_PLAIN_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RK_RECORD_PLAIN_HEAP 1
#endif
#endif

class RecordSlotPool {
public:
    static constexpr size_t kAlignment = __STDCPP_DEFAULT_NEW_ALIGNMENT__;

    explicit RecordSlotPool(size_t slotSize)
        : slotSize_((std::max(slotSize, sizeof(Slot)) + kAlignment - 1) / kAlignment * kAlignment) {}
    ~RecordSlotPool() {
        for (char* block : blocks_) ::operator delete(block);
    }
    RecordSlotPool(const RecordSlotPool&) = delete;
    RecordSlotPool& operator=(const RecordSlotPool&) = delete;

    size_t SlotSize() const { return slotSize_; }

    // Throws std::bad_alloc.
    void* Take() {
        if (free_) {
            Slot* slot = free_;
            free_ = slot->next;
            return slot;
        }
        if (next_ == end_) AddBlock();
        void* slot = next_;
        next_ += slotSize_;
        return slot;
    }

    void Give(void* p) {
        Slot* slot = static_cast<Slot*>(p);
        slot->next = free_;
        free_ = slot;
    }

private:
    struct Slot {
        Slot* next;
    };

    void AddBlock() {
        // Blocks double from 32 slots up to 4096 (about a quarter of a megabyte for a record).
        const size_t slots = size_t{32} << std::min<size_t>(blocks_.size(), 7);
        blocks_.reserve(blocks_.size() + 1);
        char* block = static_cast<char*>(::operator new(slots * slotSize_));
        blocks_.push_back(block);
        next_ = block;
        end_ = block + slots * slotSize_;
    }

    const size_t slotSize_;
    std::vector<char*> blocks_;
    Slot* free_ = nullptr;
    char* next_ = nullptr;
    char* end_ = nullptr;
};

// The allocator of a RecordMap: single objects no larger than a node of the map (a link, the
// value and a cached hash) come from the pool, everything else (the bucket arrays) from the heap.
template <class T>
class RecordAllocator {
public:
    using value_type = T;
    using propagate_on_container_copy_assignment = std::false_type;
    using propagate_on_container_move_assignment = std::true_type;
    using propagate_on_container_swap = std::true_type;
    using is_always_equal = std::false_type;

    RecordAllocator() : pool_(std::make_shared<RecordSlotPool>(sizeof(T) + 2 * sizeof(void*))) {}
    // A move copies: the map moved from must stay usable.
    RecordAllocator(const RecordAllocator& other) noexcept : pool_(other.pool_) {}
    template <class U>
    RecordAllocator(const RecordAllocator<U>& other) noexcept : pool_(other.pool_) {}
    RecordAllocator& operator=(const RecordAllocator& other) noexcept {
        pool_ = other.pool_;
        return *this;
    }

    RecordAllocator select_on_container_copy_construction() const { return RecordAllocator(); }

    T* allocate(size_t n) {
        if (FromPool(n)) return static_cast<T*>(pool_->Take());
        if (n > static_cast<size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
        return static_cast<T*>(::operator new(n * sizeof(T)));
    }

    void deallocate(T* p, size_t n) noexcept {
        if (FromPool(n)) pool_->Give(p);
        else ::operator delete(p);
    }

    template <class U>
    bool operator==(const RecordAllocator<U>& other) const noexcept {
        return pool_ == other.pool_;
    }
    template <class U>
    bool operator!=(const RecordAllocator<U>& other) const noexcept {
        return pool_ != other.pool_;
    }

private:
    template <class U>
    friend class RecordAllocator;

    bool FromPool(size_t n) const noexcept {
#ifdef RK_RECORD_PLAIN_HEAP
        (void)n;
        return false;
#else
        return n == 1 && sizeof(T) <= pool_->SlotSize() && alignof(T) <= RecordSlotPool::kAlignment;
#endif
    }

    std::shared_ptr<RecordSlotPool> pool_;
};

template <class T>
using RecordMap = std::unordered_map<unsigned, T, std::hash<unsigned>, std::equal_to<unsigned>,
                                     RecordAllocator<std::pair<const unsigned, T>>>;
