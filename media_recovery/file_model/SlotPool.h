#pragma once
#include <atomic>
#include <cstddef>
#include <new>

// Memory for the objects a search makes one of for every file it finds (nodes, their properties,
// their run lists): slots of one size carved from large blocks, reused through a free list. Tens
// of thousands are made in a row; the general heap spends more on each than the object's own work,
// and spreads them over more pages. Objects are made on the searching thread and may be released
// on any other: a spin lock, held for a few instructions, guards the pool. Blocks stay for the
// life of the process; a later search reuses what an earlier one gave back.
// Under AddressSanitizer everything comes from the ordinary heap, so that each access stays checked.
class SlotPool {
public:
    explicit SlotPool(size_t slotSize);
    SlotPool(const SlotPool&) = delete;
    SlotPool& operator=(const SlotPool&) = delete;

    // size is the object's: other sizes (a derived class) go to the ordinary heap. Null when memory
    // runs out.
    void* Take(size_t size) noexcept;
    void Give(void* p, size_t size) noexcept;

private:
    struct Slot {
        Slot* next;
    };
    bool AddBlock() noexcept;

    const size_t slotSize_;
    std::atomic_flag busy_ = ATOMIC_FLAG_INIT;
    [[maybe_unused]] Slot* free_ = nullptr;  // unused where the sanitizer build takes the ordinary heap
    char* next_ = nullptr;
    char* end_ = nullptr;
};

// Class-wide operator new and delete from one pool per class (never destroyed: objects may outlive
// static destruction). Put RK_SLOT_POOLED(Class) in the class body and RK_SLOT_POOL_DEFINE(Class)
// in its source file.
#define RK_SLOT_POOLED(Class)                                                                  \
    static SlotPool& Pool();                                                                  \
    static void* operator new(size_t size) {                                                  \
        void* p = Pool().Take(size);                                                          \
        if (!p) throw std::bad_alloc();                                                       \
        return p;                                                                             \
    }                                                                                         \
    static void* operator new(size_t size, const std::nothrow_t&) noexcept { return Pool().Take(size); } \
    static void operator delete(void* p, size_t size) noexcept { Pool().Give(p, size); }      \
    static void operator delete(void* p, const std::nothrow_t&) noexcept { Pool().Give(p, sizeof(Class)); }

#define RK_SLOT_POOL_DEFINE(Class)                                  \
    SlotPool& Class::Pool() {                                      \
        static SlotPool* pool = new SlotPool(sizeof(Class));       \
        return *pool;                                              \
    }
