#pragma once
#include "filesystems/frame/CSearchedPartitionInfo.h"

// Evidence that the FAT searchers collect about a candidate volume.
enum : uint32_t {
    FAT_EVIDENCE_FAT12_BOOT = 0x1,
    FAT_EVIDENCE_FAT16_BOOT = 0x2,
    FAT_EVIDENCE_FAT32_BOOT = 0x4,
    FAT_EVIDENCE_FAT32_BACKUP = 0x8,
    FAT_EVIDENCE_FAT1_SEEN = 0x40,
    FAT_EVIDENCE_FAT1_SELECTED = 0x80,
    FAT_EVIDENCE_FAT2_SEEN = 0x100,
    FAT_EVIDENCE_FAT2_SELECTED = 0x200,
};

// A FAT volume: the common record plus the boot-sector geometry.
class RK_INTERFACE CFATSearchedPartitionInfo : public CSearchedPartitionInfo {
public:
    explicit CFATSearchedPartitionInfo(uint32_t bytesPerSector) : CSearchedPartitionInfo(bytesPerSector) {}
    ~CFATSearchedPartitionInfo() override;
    uint32_t GetTypeTag() const override { return 1; }

    // Null when memory runs out.
    static CFATSearchedPartitionInfo* Create(uint32_t bytesPerSector);
    // Copies everything but score, weight and the two extra fields, which keep their initial values.
    CFATSearchedPartitionInfo* Clone() const;

    uint16_t reservedSectors = 0;
    uint32_t sectorsPerFat = 0;
    uint32_t clusterCount = 0;
    uint32_t root = 0;           // FAT32: root cluster; FAT12/16: sectors of the fixed root directory
    uint32_t evidenceFlags = 0;
};
