#include "media_recovery/CBufferStorageDevice.h"

#include <algorithm>
#include <cstring>
#include <new>

CBufferStorageDevice::~CBufferStorageDevice() {}

void CBufferStorageDevice::Forget() {
    blocks_.clear();
    held_ = 0;
}

int CBufferStorageDevice::Close() {
    Forget();
    pool_.reset();
    ready_ = false;
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
    firstHeld_ = 0;
    ready_ = true;
    return true;
}

ChunkBufferPool::Buffer CBufferStorageDevice::OwnBlock(uint64_t count) {
    if (!pool_) {
        // Sized to the device when it is smaller than a block.
        uint64_t deviceSectors = inner_ ? inner_->GetSectorCount() : 0;
        uint64_t sectors = deviceSectors ? std::min<uint64_t>(blockSectors_, deviceSectors) : blockSectors_;
        pool_ = ChunkBufferPool::Create(static_cast<size_t>(std::max<uint64_t>(sectors, count)) * sectorSize_);
    }
    if (!pool_ || pool_->BufferBytes() < count * sectorSize_) return nullptr;
    return pool_->Take();
}

void CBufferStorageDevice::Hold(uint64_t first, std::shared_ptr<const uint8_t> data, uint64_t count) {
    if (held_ == 0 || first != firstHeld_ + held_) {
        Forget();
        firstHeld_ = first;
    }
    try {
        blocks_.push_back(Block{first, count, std::move(data)});
    } catch (const std::bad_alloc&) {
        Forget();  // reads go to the inner device instead
        return;
    }
    held_ += count;
    while (held_ > capacity_ && !blocks_.empty()) DropOldest();
}

void CBufferStorageDevice::DropOldest() {
    held_ -= blocks_.front().sectors;
    firstHeld_ += blocks_.front().sectors;
    blocks_.pop_front();
}

void CBufferStorageDevice::PushShared(uint64_t first, std::shared_ptr<const uint8_t> data, uint64_t count) {
    if (!ready_ || !data || count == 0) return;
    Hold(first, std::move(data), std::min<uint64_t>(count, blockSectors_));
}

std::shared_ptr<const uint8_t> CBufferStorageDevice::ReadBlock(uint64_t first, uint64_t count) {
    count = std::min<uint64_t>(count, blockSectors_);
    if (!ready_ || !inner_ || count == 0) return nullptr;
    ChunkBufferPool::Buffer block = OwnBlock(count);
    if (!block || !inner_->ReadSectors(block.get(), first, count)) return nullptr;
    Hold(first, block, count);
    return block;
}

void CBufferStorageDevice::Push(uint64_t first, const void* data, uint64_t count) {
    count = std::min<uint64_t>(count, blockSectors_);
    if (!ready_ || !data || count == 0) return;
    ChunkBufferPool::Buffer block = OwnBlock(count);
    if (!block) {
        Forget();
        return;
    }
    std::memcpy(block.get(), data, static_cast<size_t>(count * sectorSize_));
    Hold(first, std::move(block), count);
}

void CBufferStorageDevice::PushZeros(uint64_t first, uint64_t count) {
    count = std::min<uint64_t>(count, blockSectors_);
    if (!ready_ || count == 0) return;
    ChunkBufferPool::Buffer block = OwnBlock(count);
    if (!block) {
        Forget();
        return;
    }
    std::memset(block.get(), 0, static_cast<size_t>(count * sectorSize_));
    Hold(first, std::move(block), count);
}

void CBufferStorageDevice::ForgetBefore(uint64_t sector) {
    while (!blocks_.empty() && blocks_.front().first + blocks_.front().sectors <= sector) DropOldest();
}

int CBufferStorageDevice::ReadSectors(void* buffer, uint64_t first, uint64_t count) {
    if (!ready_ || !buffer) return 0;
    if (count == 0) return 1;
    if (!Holds(first, count)) return inner_ ? inner_->ReadSectors(buffer, first, count) : 0;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    // The blocks are contiguous and in order: the first one wanted is found, not walked to (a
    // pass that pushes small blocks holds hundreds).
    auto from = std::upper_bound(blocks_.begin(), blocks_.end(), first,
                                 [](uint64_t sector, const Block& block) { return sector < block.first; });
    for (auto it = std::prev(from); it != blocks_.end(); ++it) {
        const Block& block = *it;
        uint64_t skip = first - block.first;
        uint64_t n = std::min(count, block.sectors - skip);
        std::memcpy(out, block.data.get() + skip * sectorSize_, static_cast<size_t>(n * sectorSize_));
        out += n * sectorSize_;
        first += n;
        count -= n;
        if (count == 0) break;
    }
    return 1;
}
