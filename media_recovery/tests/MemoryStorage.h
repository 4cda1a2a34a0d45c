#pragma once
#include <atomic>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

#include "sqlite_recovery/framework/IStorageDevice.h"

// A storage volume in memory for tests: sector i holds bytes derived from i, chosen sectors fail
// to read, and reads are counted. Safe to read from two threads.
class CMemoryStorage : public IStorageDevice {
public:
    CMemoryStorage(uint32_t sectorSize, uint64_t sectors) : sectorSize_(sectorSize), sectors_(sectors) {
        data_.resize(static_cast<size_t>(sectorSize ? sectorSize : 512) * sectors);
        for (size_t i = 0; i < data_.size(); ++i) data_[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    }

    int Open() override { return 1; }
    int Close() override { return 1; }
    int ReadSectors(void* buffer, uint64_t first, uint64_t count) override {
        reads_++;
        if (!buffer || first > sectors_ || count > sectors_ - first) return 0;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            for (uint64_t s : bad_)
                if (s >= first && s < first + count) return 0;
        }
        std::memcpy(buffer, data_.data() + first * Size(), static_cast<size_t>(count * Size()));
        return 1;
    }
    uint32_t GetSectorSize() override { return sectorSize_; }
    uint64_t GetSectorCount() override { return sectors_; }
    uint64_t GetReserved() override { return 0; }

    void MarkBad(uint64_t sector) {
        std::lock_guard<std::mutex> guard(mutex_);
        bad_.insert(sector);
    }
    std::vector<uint8_t> Bytes(uint64_t first, uint64_t count) const {
        return std::vector<uint8_t>(data_.begin() + first * Size(), data_.begin() + (first + count) * Size());
    }
    uint8_t* Data() { return data_.data(); }
    uint64_t Reads() const { return reads_; }
    void ClearReads() { reads_ = 0; }

private:
    uint32_t Size() const { return sectorSize_ ? sectorSize_ : 512; }
    uint32_t sectorSize_;
    uint64_t sectors_;
    std::vector<uint8_t> data_;
    std::mutex mutex_;
    std::set<uint64_t> bad_;
    std::atomic<uint64_t> reads_{0};
};
