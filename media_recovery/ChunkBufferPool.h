#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/CriticalSection.h"

// Buffers of one size for a pass over a device, made when first needed and reused once their last
// holder lets go of them: a whole-device pass allocates, and first touches, only as many buffers
// as are in use at once, and never clears one that a read is about to fill. A buffer taken holds
// whatever it held last.
class ChunkBufferPool : public std::enable_shared_from_this<ChunkBufferPool> {
public:
    using Buffer = std::shared_ptr<uint8_t>;

    // Null for 0 bytes or when memory runs out.
    static std::shared_ptr<ChunkBufferPool> Create(size_t bufferBytes);
    ~ChunkBufferPool();
    ChunkBufferPool(const ChunkBufferPool&) = delete;
    ChunkBufferPool& operator=(const ChunkBufferPool&) = delete;

    // A free buffer, or a new one; it comes back when its last copy is dropped, on any thread and
    // also after every other owner of the pool is gone. Null when memory runs out.
    Buffer Take();
    size_t BufferBytes() const { return bytes_; }
    // Buffers made so far.
    size_t Made();

private:
    explicit ChunkBufferPool(size_t bufferBytes) : bytes_(bufferBytes) {}
    void GiveBack(uint8_t* buffer);

    const size_t bytes_;
    CRITICAL_SECTION lock_;
    std::vector<uint8_t*> free_;
    size_t made_ = 0;
};
