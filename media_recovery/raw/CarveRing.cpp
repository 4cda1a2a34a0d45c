#include "CarveRing.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "IStorageDevice.h"

CarveRing::~CarveRing() = default;

bool CarveRing::Prepare(IStorageDevice* inner, uint32_t blockSectors) {
    Release();
    inner_ = inner;
    uint32_t ss = inner ? inner->GetSectorSize() : 512;
    sectorSize_ = ss ? ss : 512;
    if (blockSectors == 0) return false;
    uint64_t bytes = static_cast<uint64_t>(blockSectors) * kBlockCount * sectorSize_;
    if (bytes > (uint64_t(1) << 33)) return false;
    ring_.reset(new (std::nothrow) uint8_t[bytes]);
    if (!ring_) return false;
    std::memset(ring_.get(), 0, bytes);
    blockSectors_ = blockSectors;
    capacity_ = static_cast<uint64_t>(blockSectors) * kBlockCount;
    firstHeld_ = 0;
    held_ = 0;
    ready_ = true;
    return true;
}

void CarveRing::Release() {
    ring_.reset();
    ready_ = false;
    held_ = 0;
    firstHeld_ = 0;
    capacity_ = 0;
}

int CarveRing::Close() {
    Release();
    return 1;
}

uint8_t* CarveRing::BlockFor(uint64_t first) {
    if (!ready_) return nullptr;
    uint64_t block = (first / blockSectors_) % kBlockCount;
    return ring_.get() + block * blockSectors_ * sectorSize_;
}

void CarveRing::Commit(uint64_t first, uint64_t count) {
    if (!ready_) return;
    count = std::min<uint64_t>(count, blockSectors_);
    uint8_t* block = BlockFor(first);
    std::memset(block + count * sectorSize_, 0, (blockSectors_ - count) * static_cast<size_t>(sectorSize_));
    if (held_ != 0 && first == firstHeld_ + held_) {
        uint64_t end = first + count;
        if (end - firstHeld_ > capacity_) firstHeld_ = end - capacity_;
        held_ = end - firstHeld_;
    } else {
        // A jump in the sequence: what the ring held no longer lines up, start over.
        firstHeld_ = first;
        held_ = count;
    }
}

uint64_t CarveRing::GetSectorCount() {
    if (inner_) return inner_->GetSectorCount();
    return firstHeld_ + held_;
}

int CarveRing::ReadSectors(void* buffer, uint64_t first, uint64_t count) {
    if (!ready_) return 0;
    if (count == 0) return 1;
    if (first >= firstHeld_ && count <= held_ && first - firstHeld_ <= held_ - count) {
        uint8_t* out = static_cast<uint8_t*>(buffer);
        uint64_t pos = first % capacity_;
        uint64_t head = std::min<uint64_t>(count, capacity_ - pos);
        std::memcpy(out, ring_.get() + pos * sectorSize_, head * sectorSize_);
        if (head < count) std::memcpy(out + head * sectorSize_, ring_.get(), (count - head) * sectorSize_);
        return 1;
    }
    return inner_ ? inner_->ReadSectors(buffer, first, count) : 0;
}
