#include "media_recovery/ChunkBufferPool.h"

#include <new>

#include "platform/PageMemory.h"

std::shared_ptr<ChunkBufferPool> ChunkBufferPool::Create(size_t bufferBytes) {
    if (bufferBytes == 0) return nullptr;
    try {
        return std::shared_ptr<ChunkBufferPool>(new ChunkBufferPool(bufferBytes));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

ChunkBufferPool::~ChunkBufferPool() {
    for (uint8_t* buffer : free_) platform::FreePages(buffer, bytes_);
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
        // Page memory: reads into it run at the copy's full speed, and it is never cleared here.
        buffer = static_cast<uint8_t*>(platform::AllocatePages(bytes_));
        if (!buffer) return nullptr;
        // A chunk read fills it whole: its pages are mapped in one call rather than faulted one by one.
        platform::PrefaultPages(buffer, bytes_);
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
    platform::FreePages(buffer, bytes_);
}

size_t ChunkBufferPool::Made() {
    lock_.Enter();
    size_t n = made_;
    lock_.Leave();
    return n;
}
