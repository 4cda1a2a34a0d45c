#pragma once
#include <cstdint>

// FAT variants, as stored in a volume record's kind.
enum : uint32_t { FAT_VARIANT_12 = 0, FAT_VARIANT_16 = 1, FAT_VARIANT_32 = 2, FAT_VARIANT_NONE = 9 };

// Evidence flags of a FAT volume.
enum : uint32_t {
    FAT_SEEN_FAT12_BOOT = 0x1,
    FAT_SEEN_FAT16_BOOT = 0x2,
    FAT_SEEN_FAT32_BOOT = 0x4,
    FAT_SEEN_FAT32_BACKUP = 0x8,
    FAT_SEEN_FIRST_FAT = 0x40,
    FAT_USE_FIRST_FAT = 0x80,
    FAT_SEEN_SECOND_FAT = 0x100,
    FAT_USE_SECOND_FAT = 0x200,
    // Laid out by its FAT copies and folders, its boot sector refused or lost: its root is read.
    FAT_LAID_OUT_BY_PARTS = 0x1000,
};

// Sector of the FAT32 backup boot sector, counted from the volume start.
constexpr uint64_t kFat32BackupBootSector = 6;
// The fields of a boot sector that the whole-device search reads of the sectors it looks at.
constexpr int kFatBootBytesPerSector = 11;  // u16
constexpr int kFatBootNumberOfFats = 16;    // u8
constexpr int kFatBootMedia = 21;          // u8
constexpr int kFatBootSignature = 510;      // 55 AA

// A view of a boot sector: at least 512 bytes, the variant it is read as, the device's sector size.
// Every accessor answers 0 for a variant other than FAT12, FAT16 and FAT32.
struct FatBootSector {
    const uint8_t* bytes;
    uint32_t variant;
    uint32_t sectorSize;

    uint16_t BytesPerSector() const;
    uint8_t SectorsPerCluster() const;
    uint8_t MediaDescriptor() const;
    uint16_t ReservedSectors() const;
    uint8_t NumberOfFats() const;
    uint16_t RootEntries() const;
    uint32_t SectorsPerFat() const;
    uint64_t TotalSectors() const;
    // FAT12/16: sectors of the fixed root directory.
    uint32_t RootDirectorySectors() const;
    // FAT32: first cluster of the root directory.
    uint32_t RootCluster() const;
    // Sectors from the volume start to cluster 2.
    uint64_t SectorsBeforeData() const;

private:
    bool Known() const { return bytes && variant <= 2; }
};

bool IsFat12BootSector(const FatBootSector& view);
bool IsFat16BootSector(const FatBootSector& view);
bool IsFat32BootSector(const FatBootSector& view);

// The same tests on a copy of a sector of at least 512 bytes.
bool IsFat12BootSector(const uint8_t* sector, uint32_t sectorSize);
bool IsFat16BootSector(const uint8_t* sector, uint32_t sectorSize);
bool IsFat32BootSector(const uint8_t* sector, uint32_t sectorSize);

// FAT16, then FAT32, then FAT12; FAT_VARIANT_NONE when no test passes.
uint32_t DetectFatVariant(const uint8_t* sector, uint32_t sectorSize);

// The layout of a candidate volume computed from its boot sector.
struct FatGeometry {
    uint32_t variant = FAT_VARIANT_NONE;
    uint64_t volumeStart = 0;   // absolute sector of the boot sector
    uint64_t volumeLength = 0;  // sectors, clipped to the device
    uint64_t dataStart = 0;     // absolute sector of cluster 2
    uint32_t sectorsPerCluster = 0;
    uint32_t clusterCount = 0;
    uint16_t reservedSectors = 0;
    uint32_t sectorsPerFat = 0;
    uint32_t root = 0;  // FAT32 root cluster; FAT12/16 root directory sectors
    uint32_t flags = 0;
};

// Geometry of a volume whose boot sector (read as view.variant) belongs at sector start of a device of
// deviceSectors sectors. False when the data area is empty, the cluster count lies outside the
// variant's range, the FAT is too small for it, or the FAT32 root cluster is not a data cluster. When
// the device ends inside the volume, the boot sector's own count may pass these tests in place of the
// count the device holds; the geometry keeps the latter.
bool MakeFatCandidate(const FatBootSector& view, uint64_t start, uint64_t deviceSectors, bool backup,
                      FatGeometry* out);
