#include "filesystems/fat/CFAT32Table.h"

#include "sqlite_recovery/framework/ByteOrder.h"
#include "filesystems/fat/FatChainCheck.h"
#include "filesystems/fat/IFATTable.h"

namespace {
// The top four bits of a FAT32 entry are reserved.
constexpr uint32_t kEntryMask = 0x0FFFFFFF;
}  // namespace

CFAT32Table::CFAT32Table(IStorageDevice* device, uint64_t startSector, uint32_t sectors)
    : IRealFATTable(device, startSector, sectors, ScaledBound(256, device), ScaledBound(128000, device), 32) {
    entryCount_ = static_cast<uint32_t>(BufferBytes() / 4);
}

uint32_t CFAT32Table::NextCluster(uint32_t cluster) {
    if (!buffer_ || cluster >= entryCount_) return FAT_CLUSTER_FREE;
    return LoadLE32(buffer_.get() + static_cast<size_t>(cluster) * 4) & kEntryMask;
}

bool CFAT32Table::IsValid() {
    if (!buffer_) return false;
    const uint8_t* fat = buffer_.get();
    auto entry = [fat](uint32_t c) { return LoadLE32(fat + static_cast<size_t>(c) * 4) & kEntryMask; };
    return chainTest_ ? FatEntriesAndChainsValid(entryCount_, FAT_CLUSTER_BAD, entry, &named_)
                      : FatEntriesInRange(entryCount_, FAT_CLUSTER_BAD, entry, &named_);
}
