#pragma once
#include <atomic>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "media_recovery/ChunkBufferPool.h"
#include "media_recovery/ISectorLender.h"
#include "sqlite_recovery/framework/IStorageDevice.h"
#include "media_recovery/ThreadRegistry.h"

// Read-ahead cache for the whole-device scan: a reader thread reads the device in order, chunk by
// chunk, up to ten chunks ahead; LoadChunk makes the next chunk the window, and ReadSectors serves
// the window from memory and everything else from the device. A LoadChunk that has to wait for
// the reader reads the chunks due after it meanwhile, so a scan faster than one reader reads with
// two.
//
// The reader goes two chunks ahead at first, and one chunk further (up to ten) each time the scan
// finds its chunk not yet read: a device that keeps ahead of the scan costs the memory of a few
// chunks, one that falls behind gets the whole read-ahead.
//
// Each chunk is read straight into a buffer of the cache's pool, which becomes the window as it
// is (no copy) and goes back to the pool once nobody holds it; LendSectors hands the window's
// memory to a searcher that keeps it (the carving ring) without copying. Buffers are sized to
// the device when it is smaller than a chunk.
//
// A chunk that cannot be read whole is read sector by sector; sectors that still fail read as
// zeros, are logged and counted (GetUnreadableSectors), and the scan goes on.
class CStorageDeviceWithCache : public IStorageDevice, public ISectorLender {
public:
    explicit CStorageDeviceWithCache(IStorageDevice* inner);
    // Stops the reader and frees what it queued.
    ~CStorageDeviceWithCache() override;
    CStorageDeviceWithCache(const CStorageDeviceWithCache&) = delete;
    CStorageDeviceWithCache& operator=(const CStorageDeviceWithCache&) = delete;

    // Both only answer whether there is an inner device.
    int Open() override { return inner_ ? 1 : 0; }
    int Close() override { return inner_ ? 1 : 0; }
    int ReadSectors(void* buffer, uint64_t first, uint64_t count) override;
    uint32_t GetSectorSize() override { return sectorSize_; }
    uint64_t GetSectorCount() override { return inner_ ? inner_->GetSectorCount() : 0; }
    uint64_t GetReserved() override { return 0; }

    // Chunk length in sectors; stops a started reader and forgets the window. Called before Start.
    int SetChunkSectors(uint32_t sectors);
    uint32_t GetChunkSectors() const { return chunkSectors_; }
    // ceil(N / L) for the device's N sectors.
    uint64_t GetChunkCount();
    // Reads the first chunks (as many as the read-ahead begins with, never past the device end)
    // and starts the reader. 0 without an inner device.
    int Start();
    // Makes chunk index the window. Chunks are meant to be loaded once each, in order from 0; any
    // other index is read directly. 0 past the last chunk (the window stays as it was).
    int LoadChunk(uint64_t index);
    // Ends the reader and discards the queue.
    void Stop();

    // The window's sectors from first on, when it holds all count of them (scan thread only).
    std::shared_ptr<const uint8_t> LendSectors(uint64_t first, uint64_t count) override;
    // Kept for the last range and marker asked, until the window changes (scan thread only).
    const uint8_t* LendMarks(uint64_t first, uint64_t count, SectorMarker marker) override;

    uint64_t GetUnreadableSectors() const { return unreadable_.load(); }
    int64_t GetWindowChunk() const { return windowIndex_; }
    // Chunk buffers allocated since the last SetChunkSectors, and their size (tests).
    size_t BuffersMade();
    // How many chunks the reader may now hold ready (tests).
    uint32_t ReadAheadDepth();
    size_t BufferBytes() { return pool_ ? pool_->BufferBytes() : 0; }

private:
    struct Chunk {
        uint64_t index = 0;
        uint64_t sectors = 0;
        ChunkBufferPool::Buffer data;
    };

    // The pool for the current chunk length, made on first use; null when memory runs out.
    std::shared_ptr<ChunkBufferPool> Pool();
    uint64_t ChunkLength(uint64_t index, uint64_t deviceSectors) const;
    // Takes a buffer and reads the chunk into it; false only when memory runs out. What cannot be
    // read becomes zeros.
    bool ReadChunk(ChunkBufferPool& pool, uint64_t index, uint64_t deviceSectors, Chunk& chunk);
    uint64_t ReadAheadThread(std::shared_ptr<ChunkBufferPool> pool, uint64_t chunkCount, uint64_t deviceSectors);
    // Puts a chunk into the queue at its place in chunk order (under queueLock_).
    void Enqueue(Chunk chunk);
    // Under queueLock_ (held by lock): waits until chunk index is queued and takes it, reading the
    // next chunks due meanwhile; leaves chunk empty when nobody is reading it.
    void TakeQueued(boost::unique_lock<boost::mutex>& lock, uint64_t index, uint64_t deviceSectors, Chunk& chunk);

    IStorageDevice* const inner_;
    const uint32_t sectorSize_;
    uint32_t chunkSectors_ = 0;
    std::shared_ptr<ChunkBufferPool> pool_;  // scan thread; the reader has its own reference

    // Used by the scan thread alone.
    ChunkBufferPool::Buffer window_;
    int64_t windowIndex_ = -1;
    uint64_t windowSectors_ = 0;
    // The last marks lent, and what they were made of: the window they were made from, by number.
    struct LentMarks {
        SectorMarker marker = nullptr;
        uint64_t first = 0, count = 0, window = 0;
        std::vector<uint8_t> marks;
    } marks_;
    uint64_t windowSerial_ = 0;  // counts the windows made

    // Shared with the reader, under queueLock_.
    boost::mutex queueLock_;
    boost::condition_variable dataReady_;
    boost::condition_variable freeSlot_;
    std::deque<Chunk> queue_;
    uint64_t nextChunk_ = 0;       // the next chunk nobody has begun to read
    int64_t readerReading_ = -1;   // the chunk the reader is reading, -1 for none
    bool readerDone_ = true;
    std::atomic<int> running_{0};
    const uint32_t capacity_ = 10;
    static constexpr uint32_t kFirstDepth = 2;
    uint32_t depth_ = kFirstDepth;  // chunks the reader may queue, at most capacity_

    ThreadRegistry::Handle reader_ = 0;
    std::atomic<uint64_t> unreadable_{0};
};
