#include "platform/PageMemory.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

#include <cstring>
#include <new>
#include <utility>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RK_PAGES_FROM_HEAP 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define RK_PAGES_FROM_HEAP 1
#endif

namespace platform {

namespace {

[[maybe_unused]] constexpr size_t kHugePage = size_t(2) << 20;

}  // namespace

#ifdef RK_PAGES_FROM_HEAP
// Under AddressSanitizer from the checked heap, so that a read past the end is caught.
void* AllocatePages(size_t bytes) {
    if (bytes == 0) return nullptr;
    void* memory = ::operator new(bytes, std::align_val_t{4096}, std::nothrow);
    if (memory) std::memset(memory, 0, bytes);
    return memory;
}

void FreePages(void* memory, size_t) {
    if (memory) ::operator delete(memory, std::align_val_t{4096});
}

void PrefaultPages(void*, size_t) {}

// The sanitizer's heap is its own.
void ReturnFreeHeapPages() {}
void GrowHeapInSteps(size_t) {}
void FollowHeapGrowth() {}
#else
namespace {
// Below this a buffer comes from the heap, page-aligned: a mapping of its own would cost two
// system calls each time, and a found file's reader makes one per file.
constexpr size_t kFromHeap = size_t(64) << 10;
}  // namespace

void* AllocatePages(size_t bytes) {
    if (bytes == 0) return nullptr;
    if (bytes < kFromHeap) {
        void* memory = ::operator new(bytes, std::align_val_t{4096}, std::nothrow);
        if (memory) std::memset(memory, 0, bytes);
        return memory;
    }
    if (bytes < kHugePage) {
        void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        return memory == MAP_FAILED ? nullptr : memory;
    }
    // Map a huge page more than asked and keep the aligned part, so that the kernel can back it
    // with whole huge pages when it has them (transparent huge pages set to always).
    if (bytes > SIZE_MAX - kHugePage) return nullptr;
    size_t mapped = bytes + kHugePage;
    void* raw = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > start) munmap(raw, aligned - start);
    uintptr_t end = start + mapped;
    if (end > aligned + bytes) munmap(reinterpret_cast<void*>(aligned + bytes), end - (aligned + bytes));
    // No MADV_HUGEPAGE: where huge pages are only had on advice, asking for them can stall the
    // first touch in memory compaction for longer than the small pages' faults take.
    return reinterpret_cast<void*>(aligned);
}

void PrefaultPages(void* memory, size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    constexpr int kPopulateWrite = MADV_POPULATE_WRITE;
#else
    constexpr int kPopulateWrite = 23;
#endif
    // Linux 5.14 on; an older kernel refuses the advice and the pages fault in as they are written.
    if (memory && bytes) madvise(memory, bytes, kPopulateWrite);
}

void FreePages(void* memory, size_t bytes) {
    if (!memory || !bytes) return;
    if (bytes < kFromHeap) ::operator delete(memory, std::align_val_t{4096});
    else munmap(memory, bytes);
}

void ReturnFreeHeapPages() { malloc_trim(0); }

namespace {
std::atomic<bool> g_followHeap{false};
std::atomic<uintptr_t> g_heapAdvisedTo{0};  // the end of the heap when last advised
}  // namespace

void GrowHeapInSteps(size_t step) {
    if (step == 0) return;
    // Blocks from 128 KiB on keep their own mappings, given back when freed: in the heap they
    // would stay in use after it. Huge pages are asked for the heap alone: it is filled as it
    // grows, where a buffer may be touched sparsely.
    mallopt(M_TOP_PAD, static_cast<int>(step));
    // Nor is the heap's trimmed top given back and taken again at every free near it.
    mallopt(M_TRIM_THRESHOLD, static_cast<int>(2 * step));
    // A heap of a small phone's size keeps small pages: there a huge page touched only in part
    // would count whole in the memory in use, for little time saved.
    g_heapAdvisedTo.store(reinterpret_cast<uintptr_t>(sbrk(0)) + 2 * step);
    g_followHeap.store(true);
}

void FollowHeapGrowth() {
    if (!g_followHeap.load(std::memory_order_relaxed)) return;
    const uintptr_t end = reinterpret_cast<uintptr_t>(sbrk(0));
    uintptr_t mapped = g_heapAdvisedTo.load(std::memory_order_relaxed);
    if (end <= mapped || !g_heapAdvisedTo.compare_exchange_strong(mapped, end)) return;
    const uintptr_t page = 4096, from = mapped & ~(page - 1);
    if (end > from) madvise(reinterpret_cast<void*>(from), end - from, MADV_HUGEPAGE);
}
#endif

PageBuffer::PageBuffer(size_t bytes) : data_(static_cast<uint8_t*>(AllocatePages(bytes))) {
    size_ = data_ ? bytes : 0;
}

PageBuffer::~PageBuffer() { FreePages(data_, size_); }

PageBuffer::PageBuffer(PageBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

PageBuffer& PageBuffer::operator=(PageBuffer&& other) noexcept {
    if (this != &other) {
        FreePages(data_, size_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

}  // namespace platform
