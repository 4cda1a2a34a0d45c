#pragma once
#include <cstdint>
#include <vector>

#include "sqlite_recovery/framework/IStorageDevice.h"

// A ring of the most recent sectors of a sequential pass (carving sizes its pending files from it),
// with the device behind it for everything the ring does not hold. Sectors are pushed in device
// order; a push that does not continue the held range starts the ring afresh.
class CBufferStorageDevice : public IStorageDevice {
public:
    CBufferStorageDevice() = default;
    ~CBufferStorageDevice() override;

    int Open() override { return 1; }
    // Releases the ring.
    int Close() override;
    // From the ring when it holds the whole range; otherwise wholly from the inner device.
    int ReadSectors(void* buffer, uint64_t first, uint64_t count) override;
    uint32_t GetSectorSize() override { return sectorSize_ ? sectorSize_ : 512; }
    // The sectors the ring holds.
    uint64_t GetSectorCount() override { return held_; }
    uint64_t GetReserved() override { return 0; }
    virtual uint64_t GetReserved2(uint32_t, uint32_t, uint32_t) { return 0; }

    // Makes an empty zeroed ring of blockCount blocks of blockSectors sectors of the inner device's
    // sector size. False when there is no inner device, a size is 0 or memory runs out.
    bool Prepare(IStorageDevice* inner, uint32_t blockSectors, uint32_t blockCount = 20);
    // Adds count sectors (at most one block) that start at device sector first; the oldest
    // sectors give way once the ring is full.
    void Push(uint64_t first, const void* data, uint64_t count);
    // Adds count zero sectors: what a pass pushes for a block it could not read.
    void PushZeros(uint64_t first, uint64_t count);

    bool IsPrepared() const { return ready_; }
    bool IsFull() const { return ready_ && held_ == capacity_; }
    uint64_t FirstHeldSector() const { return firstHeld_; }
    uint64_t HeldSectors() const { return held_; }
    uint64_t Capacity() const { return capacity_; }
    uint32_t BlockSectors() const { return blockSectors_; }

private:
    void Append(uint64_t first, const uint8_t* data, uint64_t count);

    std::vector<uint8_t> ring_;
    uint64_t firstHeld_ = 0;   // device sector of the oldest held sector
    uint64_t held_ = 0;
    uint64_t start_ = 0;       // ring position (in sectors) of the oldest held sector
    uint32_t blockSectors_ = 0;
    uint32_t blockCount_ = 20;
    uint64_t capacity_ = 0;    // in sectors
    bool ready_ = false;
    IStorageDevice* inner_ = nullptr;
    uint32_t sectorSize_ = 512;
};
