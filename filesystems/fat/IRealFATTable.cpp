#include "filesystems/fat/IRealFATTable.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "filesystems/fat/CFAT12Table.h"
#include "filesystems/fat/CFAT16Table.h"
#include "filesystems/fat/CFAT32Table.h"
#include "filesystems/fat/FatBootSector.h"
#include "filesystems/fat/IFATTable.h"

IFATTable::~IFATTable() {}
IRealFATTable::~IRealFATTable() {}

IRealFATTable::IRealFATTable(IStorageDevice* device, uint64_t startSector, uint32_t sectors, uint32_t minSectors,
                             uint32_t maxSectors, uint32_t entryBits)
    : device_(device), startSector_(startSector), sectors_(sectors), sectorSize_(512), entryBits_(entryBits) {
    if (device_) {
        uint32_t size = device_->GetSectorSize();
        sectorSize_ = size == 0 ? 512 : size;
    }
    if (!device_ || sectors < minSectors || sectors > maxSectors) return;
    buffer_.reset(new (std::nothrow) uint8_t[BufferBytes()]);
    if (!buffer_ || device_->ReadSectors(buffer_.get(), startSector_, sectors_)) return;
    // Sector by sector: what cannot be read ends the chains through it, not the whole table. A copy
    // whose first sector is lost is no copy: its stale bytes must not reach the validity test.
    const uint64_t end = device_->GetSectorCount();
    for (uint32_t k = 0; k < sectors_; ++k) {
        uint8_t* at = buffer_.get() + static_cast<size_t>(k) * sectorSize_;
        if (startSector_ + k < end && device_->ReadSectors(at, startSector_ + k, 1)) continue;
        std::memset(at, 0, sectorSize_);
        missed_.push_back(k);
    }
    if (!missed_.empty() && missed_.front() == 0) {
        buffer_.reset();
        missed_.clear();
    }
}

size_t IRealFATTable::FillFrom(const IRealFATTable& other) {
    if (!buffer_ || !other.buffer_ || other.sectors_ != sectors_ || other.sectorSize_ != sectorSize_)
        return missed_.size();
    std::vector<uint32_t> still;
    for (uint32_t k : missed_) {
        if (std::binary_search(other.missed_.begin(), other.missed_.end(), k)) {
            still.push_back(k);
            continue;
        }
        std::memcpy(buffer_.get() + static_cast<size_t>(k) * sectorSize_,
                    other.buffer_.get() + static_cast<size_t>(k) * sectorSize_, sectorSize_);
    }
    missed_.swap(still);
    return missed_.size();
}

bool IRealFATTable::SameEntries(const IRealFATTable& other) const {
    return buffer_ && other.buffer_ && BufferBytes() == other.BufferBytes() &&
           std::memcmp(buffer_.get(), other.buffer_.get(), BufferBytes()) == 0;
}

bool IRealFATTable::EntryMissed(uint32_t c) const {
    if (missed_.empty()) return false;
    const uint64_t bits = static_cast<uint64_t>(c) * entryBits_;
    const uint64_t first = bits / 8 / sectorSize_, last = (bits + entryBits_ - 1) / 8 / sectorSize_;
    auto it = std::lower_bound(missed_.begin(), missed_.end(), first);
    return it != missed_.end() && *it <= last;
}

uint32_t IRealFATTable::ScaledBound(uint32_t bound, IStorageDevice* device) {
    uint32_t k = (device ? device->GetSectorSize() : 512) / 512;
    return k == 0 ? bound : bound / k;
}

IRealFATTable* CreateFATTable(uint32_t variant, uint32_t sectorsPerFat, uint64_t startSector, IStorageDevice* device,
                              FatTableCheck check) {
    IRealFATTable* table = nullptr;
    switch (variant) {
    case FAT_VARIANT_12: table = new (std::nothrow) CFAT12Table(device, startSector, sectorsPerFat); break;
    case FAT_VARIANT_16: table = new (std::nothrow) CFAT16Table(device, startSector, sectorsPerFat); break;
    case FAT_VARIANT_32: table = new (std::nothrow) CFAT32Table(device, startSector, sectorsPerFat); break;
    default: return nullptr;
    }
    if (table) table->SetChainTest(check == FatTableCheck::Full);
    if (table && check != FatTableCheck::Later && !table->IsValid()) {
        delete table;
        return nullptr;
    }
    return table;
}
