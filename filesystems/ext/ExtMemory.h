#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <vector>

// The Ext2/3/4 reader takes its containers and buffers from the Boehm collector's heap, as memory
// that is never collected: the reader frees all of it itself, so nothing depends on what the
// collector can see (nodes handed to the builder and the other heaps of the process hold pointers
// into it). The collector is told not to collect at all; a collection would only cost time.
// Under AddressSanitizer the ordinary heap is used instead, so that every access stays checked.
#if defined(__SANITIZE_ADDRESS__)
#define RK_EXT_PLAIN_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RK_EXT_PLAIN_HEAP 1
#endif
#endif

#ifdef RK_EXT_PLAIN_HEAP
#include <memory>
template <class T>
using ExtAllocator = std::allocator<T>;
#else
#include <gc/gc_allocator.h>
template <class T>
using ExtAllocator = traceable_allocator<T>;
#endif

template <class K, class V>
using ExtMap = std::map<K, V, std::less<K>, ExtAllocator<std::pair<const K, V>>>;
template <class T>
using ExtSet = std::set<T, std::less<T>, ExtAllocator<T>>;
template <class T>
using ExtVector = std::vector<T, ExtAllocator<T>>;

// Sets the collector up once per process (no collections); every reader entry calls it first.
void ExtHeapInit();

// A byte buffer of the reader, reused across reads; grows, never shrinks. Throws std::bad_alloc.
class ExtBuffer {
public:
    ExtBuffer() = default;
    ~ExtBuffer();
    ExtBuffer(const ExtBuffer&) = delete;
    ExtBuffer& operator=(const ExtBuffer&) = delete;

    // At least size bytes; the content is kept only when keep is set.
    uint8_t* Reserve(size_t size, bool keep = false);
    uint8_t* Data() { return data_; }
    const uint8_t* Data() const { return data_; }
    size_t Capacity() const { return capacity_; }

private:
    uint8_t* data_ = nullptr;
    size_t capacity_ = 0;
};
