#pragma once
#include <atomic>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "sqlite_recovery/framework/IStorageDevice.h"
#include "media_recovery/ThreadRegistry.h"

// Read-ahead cache for the whole-device scan: a reader thread reads the device in order, chunk by
// chunk, up to ten chunks ahead; LoadChunk makes the next chunk the window, and ReadSectors serves
// the window from memory and everything else from the device.
//
// A chunk that cannot be read whole is read sector by sector; sectors that still fail read as
// zeros, are logged and counted (GetUnreadableSectors), and the scan goes on.
class CStorageDeviceWithCache : public IStorageDevice {
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

    // Chunk length in sectors; forgets the window. Called before Start. 0 when memory runs out.
    int SetChunkSectors(uint32_t sectors);
    uint32_t GetChunkSectors() const { return chunkSectors_; }
    // ceil(N / L) for the device's N sectors.
    uint64_t GetChunkCount();
    // Reads the first chunks (at most ten, never past the device end) and starts the reader.
    // 0 without an inner device.
    int Start();
    // Makes chunk index the window. Chunks are meant to be loaded once each, in order from 0; any
    // other index is read directly. 0 past the last chunk (the window stays as it was).
    int LoadChunk(uint64_t index);
    // Ends the reader and discards the queue.
    void Stop();

    uint64_t GetUnreadableSectors() const { return unreadable_.load(); }
    int64_t GetWindowChunk() const { return windowIndex_; }

private:
    struct Chunk {
        uint64_t index = 0;
        uint64_t sectors = 0;
        std::vector<uint8_t> data;
    };

    std::unique_ptr<Chunk> TakeSpare();
    void GiveBack(std::unique_ptr<Chunk> chunk);
    uint64_t ChunkLength(uint64_t index, uint64_t deviceSectors) const;
    // Never fails: what cannot be read becomes zeros.
    void ReadChunk(uint64_t index, uint64_t deviceSectors, Chunk& chunk);
    uint64_t ReadAheadThread(uint64_t chunkCount, uint64_t deviceSectors);

    IStorageDevice* const inner_;
    const uint32_t sectorSize_;
    uint32_t chunkSectors_ = 0;

    // Used by the scan thread alone.
    std::vector<uint8_t> window_;
    int64_t windowIndex_ = -1;
    uint64_t windowSectors_ = 0;

    // Shared with the reader, under queueLock_.
    boost::mutex queueLock_;
    boost::condition_variable dataReady_;
    boost::condition_variable freeSlot_;
    std::deque<std::unique_ptr<Chunk>> queue_;
    std::vector<std::unique_ptr<Chunk>> spare_;
    uint64_t nextChunk_ = 0;
    bool readerDone_ = true;
    std::atomic<int> running_{0};
    const uint32_t capacity_ = 10;

    ThreadRegistry::Handle reader_ = 0;
    std::atomic<uint64_t> unreadable_{0};
};
