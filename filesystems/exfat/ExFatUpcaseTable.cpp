#include "filesystems/exfat/ExFatUpcaseTable.h"

#include <algorithm>
#include <new>

#include "filesystems/exfat/ExFatLayout.h"
#include "filesystems/exfat/ExFatVolume.h"
#include "sqlite_recovery/framework/ByteOrder.h"
#include "sqlite_recovery/framework/IStorageDevice.h"

bool ExFatUpcaseTable::Take(const uint8_t* bytes, size_t length, uint32_t checksum) {
    uint32_t sum = 0;
    for (size_t i = 0; i < length; ++i) sum = ((sum >> 1) | (sum << 31)) + bytes[i];
    if (sum != checksum || length < 2) return false;
    std::vector<uint16_t> capitals;
    try {
        capitals.resize(0x10000);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (uint32_t u = 0; u < 0x10000; ++u) capitals[u] = static_cast<uint16_t>(u);
    uint32_t unit = 0;
    for (size_t i = 0; i + 1 < length && unit < 0x10000; i += 2) {
        const uint16_t value = LoadLE16(bytes + i);
        if (value == 0xFFFF && i + 3 < length) {
            unit += LoadLE16(bytes + i + 2);
            i += 2;
        } else {
            capitals[unit++] = value;
        }
    }
    capitals_.swap(capitals);
    return true;
}

bool ExFatUpcaseTable::Read(ExFatVolume& volume, IStorageDevice* device, uint32_t firstCluster, uint64_t length,
                            uint32_t checksum) {
    if (!device || length == 0 || length > kMostBytes || !volume.IsHeapCluster(firstCluster) || !volume.clusterSize)
        return false;
    const uint64_t clusters = (length + volume.clusterSize - 1) / volume.clusterSize;
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(static_cast<size_t>(clusters * volume.clusterSize));
    } catch (const std::bad_alloc&) {
        return false;
    }
    uint32_t cluster = firstCluster;
    for (uint64_t k = 0; k < clusters; ++k) {
        if (!volume.IsHeapCluster(cluster) ||
            !device->ReadSectors(bytes.data() + k * volume.clusterSize, volume.ClusterSector(cluster),
                                 volume.sectorsPerCluster))
            return false;
        const uint32_t next = volume.NextHeapCluster(cluster);
        cluster = next == exfat::kNoCluster ? cluster + 1 : next;
    }
    return Take(bytes.data(), static_cast<size_t>(length), checksum);
}
