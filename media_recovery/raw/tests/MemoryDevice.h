#pragma once
#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

#include "sqlite_recovery/framework/IStorageDevice.h"

// A device over bytes in memory, for tests; sectors listed in bad fail to read.
class MemoryDevice : public IStorageDevice {
public:
    MemoryDevice(std::vector<uint8_t> bytes, uint32_t sectorSize) : bytes_(std::move(bytes)), sectorSize_(sectorSize) {
        bytes_.resize((bytes_.size() + sectorSize - 1) / sectorSize * sectorSize);
    }
    int Open() override { return 1; }
    int Close() override { return 1; }
    int ReadSectors(void* buffer, uint64_t first, uint64_t count) override {
        ++reads;
        if (first > GetSectorCount() || count > GetSectorCount() - first) return 0;
        for (uint64_t s = first; s < first + count; ++s)
            if (bad.count(s)) return 0;
        std::memcpy(buffer, bytes_.data() + first * sectorSize_, count * sectorSize_);
        return 1;
    }
    uint32_t GetSectorSize() override { return sectorSize_; }
    uint64_t GetSectorCount() override { return bytes_.size() / sectorSize_; }
    uint64_t GetReserved() override { return 0; }

    std::vector<uint8_t>& Bytes() { return bytes_; }
    std::set<uint64_t> bad;
    uint64_t reads = 0;

private:
    std::vector<uint8_t> bytes_;
    uint32_t sectorSize_;
};
