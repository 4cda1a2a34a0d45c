#include "media_recovery/CBufferStorageDevice.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

CBufferStorageDevice::~CBufferStorageDevice() {}

int CBufferStorageDevice::Close() {
    std::vector<uint8_t>().swap(ring_);
    ready_ = false;
    held_ = 0;
    return 1;
}

bool CBufferStorageDevice::Prepare(IStorageDevice* inner, uint32_t blockSectors, uint32_t blockCount) {
    Close();
    inner_ = inner;
    if (!inner || blockSectors == 0 || blockCount == 0) return false;
    sectorSize_ = inner->GetSectorSize() ? inner->GetSectorSize() : 512;
    blockSectors_ = blockSectors;
    blockCount_ = blockCount;
    capacity_ = static_cast<uint64_t>(blockSectors) * blockCount;
    firstHeld_ = start_ = held_ = 0;
    try {
        ring_.assign(static_cast<size_t>(capacity_ * sectorSize_), 0);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    ready_ = true;
    return true;
}

void CBufferStorageDevice::Append(uint64_t first, const uint8_t* data, uint64_t count) {
    if (!ready_ || count == 0) return;
    count = std::min<uint64_t>(count, capacity_);
    if (held_ == 0 || first != firstHeld_ + held_) {
        firstHeld_ = first;
        start_ = 0;
        held_ = 0;
    }
    uint64_t done = 0;
    while (done < count) {
        uint64_t pos = (start_ + held_ + done) % capacity_;
        uint64_t n = std::min(count - done, capacity_ - pos);
        uint8_t* to = ring_.data() + pos * sectorSize_;
        if (data) std::memcpy(to, data + done * sectorSize_, static_cast<size_t>(n * sectorSize_));
        else std::memset(to, 0, static_cast<size_t>(n * sectorSize_));
        done += n;
    }
    held_ += count;
    if (held_ > capacity_) {
        uint64_t drop = held_ - capacity_;
        start_ = (start_ + drop) % capacity_;
        firstHeld_ += drop;
        held_ = capacity_;
    }
}

void CBufferStorageDevice::Push(uint64_t first, const void* data, uint64_t count) {
    if (!data) return;
    Append(first, static_cast<const uint8_t*>(data), std::min<uint64_t>(count, blockSectors_));
}

void CBufferStorageDevice::PushZeros(uint64_t first, uint64_t count) {
    Append(first, nullptr, std::min<uint64_t>(count, blockSectors_));
}

int CBufferStorageDevice::ReadSectors(void* buffer, uint64_t first, uint64_t count) {
    if (!ready_ || !buffer) return 0;
    if (count == 0) return 1;
    bool held = held_ > 0 && first >= firstHeld_ && count <= held_ && first - firstHeld_ <= held_ - count;
    if (!held) return inner_ ? inner_->ReadSectors(buffer, first, count) : 0;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    uint64_t pos = (start_ + (first - firstHeld_)) % capacity_;
    uint64_t firstPart = std::min(count, capacity_ - pos);
    std::memcpy(out, ring_.data() + pos * sectorSize_, static_cast<size_t>(firstPart * sectorSize_));
    if (firstPart < count)
        std::memcpy(out + firstPart * sectorSize_, ring_.data(), static_cast<size_t>((count - firstPart) * sectorSize_));
    return 1;
}
