#include "filesystems/fat/CFAT12Table.h"

#include "sqlite_recovery/framework/ByteOrder.h"
#include "filesystems/fat/IFATTable.h"

// FAT12 copies are at most 12 sectors, whatever the sector size.
CFAT12Table::CFAT12Table(IStorageDevice* device, uint64_t startSector, uint32_t sectors)
    : IRealFATTable(device, startSector, sectors, 1, 12, 12) {
    entryCount_ = static_cast<uint32_t>(BufferBytes() * 2 / 3);
}

uint32_t CFAT12Table::NextCluster(uint32_t cluster) {
    if (!buffer_) return FAT_CLUSTER_FREE;
    uint64_t offset = static_cast<uint64_t>(cluster) * 3 / 2;
    if (offset + 1 >= BufferBytes()) return FAT_CLUSTER_FREE;
    uint32_t v = LoadLE16(buffer_.get() + offset);
    v = (cluster & 1) ? v >> 4 : v & 0xFFF;
    if (v == 0xFFF) return FAT12_CLUSTER_END_FFF;
    if (v >= 0xFF8) return FAT_CLUSTER_END;
    return v;
}

bool CFAT12Table::IsValid() {
    // Media byte with high nibble F, then 0xFFF.
    if (!buffer_ || BufferBytes() < 4 || (LoadLE32(buffer_.get()) & 0x00FFFFF0) != 0x00FFFFF0) return false;
    named_.assign(entryCount_, false);
    for (uint32_t c = 2; c < entryCount_; ++c) {
        const uint32_t v = NextCluster(c);
        if (v >= 2 && v < entryCount_ && v != c) named_[v] = true;
    }
    return true;
}
