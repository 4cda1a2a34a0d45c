#include "filesystems/fat/IRealFATTable.h"

#include <new>

#include "filesystems/fat/CFAT12Table.h"
#include "filesystems/fat/CFAT16Table.h"
#include "filesystems/fat/CFAT32Table.h"
#include "filesystems/fat/FatBootSector.h"
#include "filesystems/fat/IFATTable.h"

IFATTable::~IFATTable() {}
IRealFATTable::~IRealFATTable() {}

IRealFATTable::IRealFATTable(IStorageDevice* device, uint64_t startSector, uint32_t sectors, uint32_t minSectors,
                             uint32_t maxSectors)
    : device_(device), startSector_(startSector), sectors_(sectors), sectorSize_(512) {
    if (device_) {
        uint32_t size = device_->GetSectorSize();
        sectorSize_ = size == 0 ? 512 : size;
    }
    if (!device_ || sectors < minSectors || sectors > maxSectors) return;
    buffer_.reset(new (std::nothrow) uint8_t[BufferBytes()]);
    // A copy that could not be read is no copy: its stale bytes must not reach the validity test.
    if (buffer_ && !device_->ReadSectors(buffer_.get(), startSector_, sectors_)) buffer_.reset();
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
    if (table && !table->IsValid()) {
        delete table;
        return nullptr;
    }
    return table;
}
