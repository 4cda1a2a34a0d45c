#pragma once
#include <cstdint>

#include "platform/Export.h"

// One volume found by a searcher. The per-item reader takes its geometry to turn a node's run
// units into device sectors: unit u of a run starts at byte dataStart x device sector size +
// u x sectorsPerCluster x sectorSize of the device.
class RK_INTERFACE CSearchedPartitionInfo {
public:
    // A sector size that is not a non-zero multiple of 512 becomes 512.
    explicit CSearchedPartitionInfo(uint32_t bytesPerSector);
    virtual ~CSearchedPartitionInfo();
    // 4 here, 1 for the FAT form; nothing depends on it.
    virtual uint32_t GetTypeTag() const { return 4; }

    uint16_t index = 0xFFFF;        // position in the searcher's list; nodes carry it in their locator
    uint32_t kind = 9;              // family variant (FAT: 0 FAT12, 1 FAT16, 2 FAT32)
    uint32_t sectorsPerCluster = 0;
    uint64_t dataStart = 0;         // absolute device sector of the units' origin (FAT: cluster 2)
    uint64_t volumeStart = 0;       // absolute sector of the volume's first sector
    uint64_t extra1 = 0;
    uint64_t extra2 = 0;
    uint32_t sectorSize;            // bytes per sector of the volume
    uint64_t volumeLength = 0;      // sectors of the volume, clipped to the device
    uint64_t score = 1;             // confidence of a complete search
    double weight = 0.0;            // larger is preferred by the per-item reader
};
