#include "testing/MemoryDevice.h"

#include <cstring>

#include "sqlite_recovery/framework/Lockers.h"

MemoryDevice::MemoryDevice(std::vector<uint8_t> bytes, uint32_t sectorSize)
    : bytes_(std::move(bytes)), sectorSize_(sectorSize), unit_(sectorSize ? sectorSize : 512) {
    bytes_.resize((bytes_.size() + unit_ - 1) / unit_ * unit_);
}

int MemoryDevice::ReadSectors(void* buffer, uint64_t first, uint64_t count) {
    ++reads_;
    const uint64_t sectors = GetSectorCount();
    if (!buffer || first > sectors || count > sectors - first) return 0;
    {
        autolocker<critical_locker> guard(&lock_);
        auto bad = bad_.lower_bound(first);
        if (bad != bad_.end() && *bad - first < count) return 0;
    }
    std::memcpy(buffer, bytes_.data() + first * unit_, static_cast<size_t>(count * unit_));
    return 1;
}

std::vector<uint8_t> MemoryDevice::Bytes(uint64_t first, uint64_t count) const {
    return std::vector<uint8_t>(bytes_.begin() + first * unit_, bytes_.begin() + (first + count) * unit_);
}

void MemoryDevice::MarkBad(uint64_t sector) {
    autolocker<critical_locker> guard(&lock_);
    bad_.insert(sector);
}

void MemoryDevice::ClearBad() {
    autolocker<critical_locker> guard(&lock_);
    bad_.clear();
}

std::vector<uint8_t> PatternBytes(uint32_t sectorSize, uint64_t sectors) {
    std::vector<uint8_t> bytes(static_cast<size_t>(sectorSize ? sectorSize : 512) * sectors);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    return bytes;
}
