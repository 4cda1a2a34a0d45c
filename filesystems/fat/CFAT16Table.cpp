#include "filesystems/fat/CFAT16Table.h"

#include "sqlite_recovery/framework/ByteOrder.h"
#include "filesystems/fat/FatChainCheck.h"
#include "filesystems/fat/IFATTable.h"

CFAT16Table::CFAT16Table(IStorageDevice* device, uint64_t startSector, uint32_t sectors)
    : IRealFATTable(device, startSector, sectors, ScaledBound(12, device), ScaledBound(256, device), 16) {
    entryCount_ = static_cast<uint32_t>(BufferBytes() / 2);
}

uint32_t CFAT16Table::NextCluster(uint32_t cluster) {
    if (!buffer_ || cluster >= entryCount_) return FAT_CLUSTER_FREE;
    uint32_t v = LoadLE16(buffer_.get() + static_cast<size_t>(cluster) * 2);
    if (v == 0xFFF7) return FAT_CLUSTER_BAD;
    if (v >= 0xFFF8) return FAT_CLUSTER_END;
    return v;
}

bool CFAT16Table::IsValid() {
    if (!buffer_ || entryCount_ < 2) return false;
    const uint8_t* fat = buffer_.get();
    // Entry 0 carries the media byte (0xF0 or 0xF8..0xFF); entry 1 is an end mark whose two top bits
    // record a dirty shutdown and a disk error, so they are not examined.
    uint32_t e0 = LoadLE16(fat), e1 = LoadLE16(fat + 2);
    if ((e0 & 0xFFF0) != 0xFFF0 || ((e1 | 0xC000) & 0xFFF8) != 0xFFF8) return false;
    auto entry = [fat](uint32_t c) { return static_cast<uint32_t>(LoadLE16(fat + c * 2)); };
    return chainTest_ ? FatEntriesAndChainsValid(entryCount_, 0xFFF7, entry, &named_)
                      : FatEntriesInRange(entryCount_, 0xFFF7, entry, &named_);
}
