#pragma once
#include <cstdint>
#include <memory>

#include "IStorageDevice.h"

// The read-ahead ring of signature carving: the last 20 chunks of the scan, so that queued
// candidates are sized from memory. Chunk k of the scan lives in block k mod 20; reads of anything
// the ring does not wholly hold go to the inner device.
class CarveRing : public IStorageDevice {
public:
    static constexpr uint32_t kBlockCount = 20;

    CarveRing() = default;
    ~CarveRing() override;

    // Sizes the ring for chunks of blockSectors sectors of the inner device; false without memory.
    bool Prepare(IStorageDevice* inner, uint32_t blockSectors);
    void Release();

    // Where the chunk that starts at first is to be written (first is a multiple of the block size).
    uint8_t* BlockFor(uint64_t first);
    // The chunk at first now holds count real sectors; the rest of its block is zeroed.
    void Commit(uint64_t first, uint64_t count);

    int Open() override { return 1; }
    int Close() override;
    int ReadSectors(void* buffer, uint64_t first, uint64_t count) override;
    uint32_t GetSectorSize() override { return sectorSize_ ? sectorSize_ : 512; }
    // The inner device's sector count, so that size rules see the real end of the device.
    uint64_t GetSectorCount() override;
    uint64_t GetReserved() override { return 0; }
    int GetReserved2(uint32_t, uint32_t, uint32_t) { return 0; }

    bool IsReady() const { return ready_; }
    bool IsFull() const { return ready_ && held_ == capacity_; }
    uint64_t FirstHeld() const { return firstHeld_; }
    uint64_t HeldSectors() const { return held_; }
    uint64_t Capacity() const { return capacity_; }

private:
    std::unique_ptr<uint8_t[]> ring_;
    uint64_t firstHeld_ = 0;
    uint64_t held_ = 0;
    uint32_t blockSectors_ = 0;
    uint64_t capacity_ = 0;  // sectors
    bool ready_ = false;
    IStorageDevice* inner_ = nullptr;
    uint32_t sectorSize_ = 512;
};
