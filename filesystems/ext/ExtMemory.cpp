#include "filesystems/ext/ExtMemory.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#ifndef RK_EXT_PLAIN_HEAP
#include <gc/gc.h>
#endif

namespace {
uint8_t* AllocateBytes(size_t size) {
#ifdef RK_EXT_PLAIN_HEAP
    return static_cast<uint8_t*>(std::malloc(size));
#else
    // Bytes only: the collector need not look into them.
    return static_cast<uint8_t*>(GC_MALLOC_ATOMIC_UNCOLLECTABLE(size));
#endif
}

void FreeBytes(uint8_t* p) {
#ifdef RK_EXT_PLAIN_HEAP
    std::free(p);
#else
    GC_FREE(p);
#endif
}
}  // namespace

void ExtHeapInit() {
#ifndef RK_EXT_PLAIN_HEAP
    static std::once_flag once;
    std::call_once(once, [] {
        GC_INIT();
        GC_disable();
    });
#endif
}

ExtBuffer::~ExtBuffer() {
    if (data_) FreeBytes(data_);
}

uint8_t* ExtBuffer::Reserve(size_t size, bool keep) {
    if (size <= capacity_ && data_) return data_;
    uint8_t* bigger = AllocateBytes(size ? size : 1);
    if (!bigger) throw std::bad_alloc();
    if (keep && data_) std::memcpy(bigger, data_, capacity_);
    if (data_) FreeBytes(data_);
    data_ = bigger;
    capacity_ = size;
    return data_;
}
