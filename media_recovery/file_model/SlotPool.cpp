#include "media_recovery/file_model/SlotPool.h"

#include <algorithm>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#define RK_SLOT_PLAIN_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RK_SLOT_PLAIN_HEAP 1
#endif
#endif

namespace {
constexpr size_t kAlignment = __STDCPP_DEFAULT_NEW_ALIGNMENT__;
constexpr size_t kBlockBytes = 256 * 1024;

class SpinGuard {
public:
    explicit SpinGuard(std::atomic_flag& flag) : flag_(flag) {
        while (flag_.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~SpinGuard() { flag_.clear(std::memory_order_release); }

private:
    std::atomic_flag& flag_;
};
}  // namespace

SlotPool::SlotPool(size_t slotSize)
    : slotSize_((std::max(slotSize, sizeof(Slot)) + kAlignment - 1) / kAlignment * kAlignment) {}

void* SlotPool::Take(size_t size) noexcept {
#ifndef RK_SLOT_PLAIN_HEAP
    if (size <= slotSize_ && size + kAlignment > slotSize_) {
        SpinGuard guard(busy_);
        if (free_) {
            Slot* slot = free_;
            free_ = slot->next;
            return slot;
        }
        if (next_ == end_ && !AddBlock()) return nullptr;
        void* slot = next_;
        next_ += slotSize_;
        return slot;
    }
#endif
    return ::operator new(size, std::nothrow);
}

void SlotPool::Give(void* p, size_t size) noexcept {
    if (!p) return;
#ifndef RK_SLOT_PLAIN_HEAP
    if (size <= slotSize_ && size + kAlignment > slotSize_) {
        SpinGuard guard(busy_);
        Slot* slot = static_cast<Slot*>(p);
        slot->next = free_;
        free_ = slot;
        return;
    }
#endif
    ::operator delete(p);
}

bool SlotPool::AddBlock() noexcept {
    // Blocks are never given back: slots of every block are reused through the free list.
    char* block = static_cast<char*>(std::malloc(kBlockBytes));
    if (!block) return false;
    next_ = block;
    end_ = block + kBlockBytes / slotSize_ * slotSize_;
    return true;
}
