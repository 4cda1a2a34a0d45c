#include "media_recovery/ChunkBufferPool.h"

#include <new>

namespace {

// Page-aligned: the kernel copies a read into a buffer that starts mid-page several times slower.
constexpr std::align_val_t kAlignment{4096};

uint8_t* Allocate(size_t bytes) {
    return static_cast<uint8_t*>(::operator new(bytes, kAlignment, std::nothrow));
}

void Free(uint8_t* buffer) {
    if (buffer) ::operator delete(buffer, kAlignment);
}

}  // namespace

std::shared_ptr<ChunkBufferPool> ChunkBufferPool::Create(size_t bufferBytes) {
    if (bufferBytes == 0) return nullptr;
    try {
        return std::shared_ptr<ChunkBufferPool>(new ChunkBufferPool(bufferBytes));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

ChunkBufferPool::~ChunkBufferPool() {
    for (uint8_t* buffer : free_) Free(buffer);
}

ChunkBufferPool::Buffer ChunkBufferPool::Take() {
    uint8_t* buffer = nullptr;
    lock_.Enter();
    if (!free_.empty()) {
        buffer = free_.back();
        free_.pop_back();
    }
    lock_.Leave();
    if (!buffer) {
        buffer = Allocate(bytes_);  // left as it is: reads fill it
        if (!buffer) return nullptr;
        lock_.Enter();
        ++made_;
        lock_.Leave();
    }
    std::shared_ptr<ChunkBufferPool> self = shared_from_this();
    try {
        return Buffer(buffer, [self](uint8_t* p) { self->GiveBack(p); });
    } catch (const std::bad_alloc&) {
        return nullptr;  // the buffer went back through the deleter
    }
}

void ChunkBufferPool::GiveBack(uint8_t* buffer) {
    lock_.Enter();
    try {
        free_.push_back(buffer);
        buffer = nullptr;
    } catch (const std::bad_alloc&) {
    }
    lock_.Leave();
    Free(buffer);
}

size_t ChunkBufferPool::Made() {
    lock_.Enter();
    size_t n = made_;
    lock_.Leave();
    return n;
}
