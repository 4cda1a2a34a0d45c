#pragma once
#include <cstdint>
#include <deque>
#include <memory>

#include "media_recovery/ChunkBufferPool.h"
#include "sqlite_recovery/framework/IStorageDevice.h"

// A ring of the most recent sectors of a sequential pass (carving sizes its pending files from it),
// with the device behind it for everything the ring does not hold. Sectors are pushed in device
// order, a block at a time; a push that does not continue the held range starts the ring afresh.
//
// The ring holds blocks, not a copy of them: a block handed over with PushShared stays where it
// is (the read-ahead cache's buffer), and the blocks the ring fills itself come from its own pool,
// made on first use and reused as old blocks give way.
class CBufferStorageDevice : public IStorageDevice {
public:
    CBufferStorageDevice() = default;
    ~CBufferStorageDevice() override;

    int Open() override { return 1; }
    // Lets go of every block.
    int Close() override;
    // From the ring when it holds the whole range; otherwise wholly from the inner device.
    int ReadSectors(void* buffer, uint64_t first, uint64_t count) override;
    uint32_t GetSectorSize() override { return sectorSize_ ? sectorSize_ : 512; }
    // The sectors the ring holds.
    uint64_t GetSectorCount() override { return held_; }
    uint64_t GetReserved() override { return 0; }
    virtual uint64_t GetReserved2(uint32_t, uint32_t, uint32_t) { return 0; }

    // An empty ring of up to blockCount blocks of blockSectors sectors of the inner device's sector
    // size; nothing is allocated yet. False when there is no inner device or a size is 0.
    bool Prepare(IStorageDevice* inner, uint32_t blockSectors, uint32_t blockCount = 20);
    // Holds count sectors (at most one block) that start at device sector first, in memory the
    // caller hands over; the oldest blocks give way once the ring is full.
    void PushShared(uint64_t first, std::shared_ptr<const uint8_t> data, uint64_t count);
    // Reads count sectors (at most one block) from the inner device straight into a block of the
    // ring's own and holds them: the block, or null (and nothing held) when the read fails.
    std::shared_ptr<const uint8_t> ReadBlock(uint64_t first, uint64_t count);
    // Holds a copy of count sectors (at most one block).
    void Push(uint64_t first, const void* data, uint64_t count);
    // Holds count zero sectors: what a pass pushes for a block it could not read.
    void PushZeros(uint64_t first, uint64_t count);
    // Lets go of the oldest blocks that end at or before sector: the pass will read nothing there.
    void ForgetBefore(uint64_t sector);

    // Whether the ring holds all of [first, first + count).
    bool Holds(uint64_t first, uint64_t count) const {
        return ready_ && held_ > 0 && first >= firstHeld_ && count <= held_ && first - firstHeld_ <= held_ - count;
    }
    bool IsPrepared() const { return ready_; }
    bool IsFull() const { return ready_ && held_ == capacity_; }
    uint64_t FirstHeldSector() const { return firstHeld_; }
    uint64_t HeldSectors() const { return held_; }
    uint64_t Capacity() const { return capacity_; }
    uint32_t BlockSectors() const { return blockSectors_; }
    // Blocks the ring's own pool has allocated (tests).
    size_t OwnBlocksMade() { return pool_ ? pool_->Made() : 0; }

private:
    struct Block {
        uint64_t first;
        uint64_t sectors;
        std::shared_ptr<const uint8_t> data;
    };

    // A block of the ring's own for count sectors; null when memory runs out.
    ChunkBufferPool::Buffer OwnBlock(uint64_t count);
    void Hold(uint64_t first, std::shared_ptr<const uint8_t> data, uint64_t count);
    void DropOldest();
    void Forget();

    std::deque<Block> blocks_;  // oldest first, contiguous
    std::shared_ptr<ChunkBufferPool> pool_;
    uint64_t firstHeld_ = 0;    // device sector of the oldest held sector
    uint64_t held_ = 0;
    uint32_t blockSectors_ = 0;
    uint32_t blockCount_ = 20;
    uint64_t capacity_ = 0;     // in sectors
    bool ready_ = false;
    IStorageDevice* inner_ = nullptr;
    uint32_t sectorSize_ = 512;
};
