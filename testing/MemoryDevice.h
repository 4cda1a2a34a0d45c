#pragma once
#include <atomic>
#include <cstdint>
#include <set>
#include <vector>

#include "platform/CriticalSection.h"
#include "sqlite_recovery/framework/IStorageDevice.h"

// A storage device over bytes in memory, for tests. The bytes are padded to whole sectors; chosen
// sectors fail to read; reads are counted. Safe to read from two threads (the read-ahead cache
// reads on its own).
class MemoryDevice : public IStorageDevice {
public:
    // A sector size of 0 is answered as such, while the bytes are kept in 512-byte sectors.
    MemoryDevice(std::vector<uint8_t> bytes, uint32_t sectorSize);
    MemoryDevice(const MemoryDevice&) = delete;
    MemoryDevice& operator=(const MemoryDevice&) = delete;

    int Open() override { return 1; }
    int Close() override { return 1; }
    // Fails past the end and on a range that holds a bad sector.
    int ReadSectors(void* buffer, uint64_t first, uint64_t count) override;
    uint32_t GetSectorSize() override { return sectorSize_; }
    uint64_t GetSectorCount() override { return bytes_.size() / unit_; }
    uint64_t GetReserved() override { return 0; }

    std::vector<uint8_t>& Bytes() { return bytes_; }
    // Copy of count sectors from first.
    std::vector<uint8_t> Bytes(uint64_t first, uint64_t count) const;

    void MarkBad(uint64_t sector);
    void ClearBad();
    uint64_t Reads() const { return reads_; }
    void ClearReads() { reads_ = 0; }

private:
    std::vector<uint8_t> bytes_;
    uint32_t sectorSize_;
    uint32_t unit_;  // bytes per sector as stored
    CRITICAL_SECTION lock_;
    std::set<uint64_t> bad_;
    std::atomic<uint64_t> reads_{0};
};

// sectors sectors of sectorSize bytes (512 for 0), filled with a fixed pattern derived from each
// byte's offset.
std::vector<uint8_t> PatternBytes(uint32_t sectorSize, uint64_t sectors);
