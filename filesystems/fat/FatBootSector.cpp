#include "filesystems/fat/FatBootSector.h"

#include <cctype>

#include "sqlite_recovery/framework/ByteOrder.h"

namespace {

// The boot-sector fields the readers use (little-endian, offsets into the sector's first 512
// bytes):
//
//   offset  size  field                    use
//   ------  ----  -----------------------  ---------------------------------------------------
//     11     2    bytes per sector         must equal the device's sector size
//     13     1    sectors per cluster      1, 2, 4, 8, 16, 32, 64 or 128
//     14     2    reserved sectors         sectors in front of the first FAT
//     16     1    number of FATs           must be 2
//     17     2    root directory entries   FAT12/16: the fixed root directory (32 bytes each)
//     19     2    total sectors (16-bit)   0 on larger volumes: then the 32-bit count
//     21     1    media descriptor         0xF0 or 0xF8-0xFF; entry 0 of each FAT begins with it
//     22     2    sectors per FAT (16-bit) FAT12/16
//     32     4    total sectors (32-bit)
//     36     4    sectors per FAT (32-bit) FAT32
//     44     4    root directory cluster   FAT32
//     54     8    file-system type text    "FAT12   " or "FAT16   "
//     82     8    file-system type text    "FAT32   "
//    510     2    signature                55 AA
constexpr int kBytesPerSector = kFatBootBytesPerSector;
constexpr int kSectorsPerCluster = 13;
constexpr int kReservedSectors = 14;
constexpr int kNumberOfFats = kFatBootNumberOfFats;
constexpr int kRootEntries = 17;
constexpr int kTotalSectors16 = 19;
constexpr int kMediaDescriptor = 21;
constexpr int kSectorsPerFat16 = 22;
constexpr int kTotalSectors32 = 32;
constexpr int kSectorsPerFat32 = 36;
constexpr int kRootCluster = 44;
constexpr int kFat1216TypeText = 54;
constexpr int kFat32TypeText = 82;
constexpr int kTypeTextSize = 8;
constexpr uint32_t kRootEntrySize = 32;

bool TypeTextIs(const uint8_t* bytes, int offset, const char* text) {
    for (int i = 0; i < kTypeTextSize; ++i)
        if (std::toupper(bytes[offset + i]) != static_cast<unsigned char>(text[i])) return false;
    return true;
}

bool IsClusterSizeValid(uint8_t spc) { return spc != 0 && spc <= 128 && (spc & (spc - 1)) == 0; }

bool HasSignature(const uint8_t* bytes) {
    return bytes[kFatBootSignature] == 0x55 && bytes[kFatBootSignature + 1] == 0xAA;
}

// The checks shared by every variant: two FATs, a sane cluster size, the device's sector size.
bool CommonFieldsValid(const FatBootSector& view) {
    return view.bytes[kNumberOfFats] == 2 && IsClusterSizeValid(view.bytes[kSectorsPerCluster]) &&
           LoadLE16(view.bytes + kBytesPerSector) == view.sectorSize;
}

// FAT12/16: a fixed root directory of whole sectors, with at least minEntries entries.
bool FixedRootValid(const FatBootSector& view, uint32_t minEntries) {
    uint32_t entries = LoadLE16(view.bytes + kRootEntries);
    return view.sectorSize != 0 && entries >= minEntries && (entries * kRootEntrySize) % view.sectorSize == 0;
}

}  // namespace

uint16_t FatBootSector::BytesPerSector() const { return Known() ? LoadLE16(bytes + kBytesPerSector) : 0; }
uint8_t FatBootSector::SectorsPerCluster() const { return Known() ? bytes[kSectorsPerCluster] : 0; }
uint8_t FatBootSector::MediaDescriptor() const { return Known() ? bytes[kMediaDescriptor] : 0; }
uint16_t FatBootSector::ReservedSectors() const { return Known() ? LoadLE16(bytes + kReservedSectors) : 0; }
uint8_t FatBootSector::NumberOfFats() const { return Known() ? bytes[kNumberOfFats] : 0; }
uint16_t FatBootSector::RootEntries() const {
    return Known() && variant != FAT_VARIANT_32 ? LoadLE16(bytes + kRootEntries) : 0;
}

uint32_t FatBootSector::SectorsPerFat() const {
    if (!Known()) return 0;
    return variant == FAT_VARIANT_32 ? LoadLE32(bytes + kSectorsPerFat32) : LoadLE16(bytes + kSectorsPerFat16);
}

uint64_t FatBootSector::TotalSectors() const {
    if (!Known()) return 0;
    uint16_t small = LoadLE16(bytes + kTotalSectors16);
    switch (variant) {
    case FAT_VARIANT_12: return small;
    case FAT_VARIANT_16: return small != 0 ? small : LoadLE32(bytes + kTotalSectors32);
    default: return LoadLE32(bytes + kTotalSectors32);
    }
}

uint32_t FatBootSector::RootDirectorySectors() const {
    if (!Known() || variant == FAT_VARIANT_32 || sectorSize == 0) return 0;
    return static_cast<uint32_t>(LoadLE16(bytes + kRootEntries)) * kRootEntrySize / sectorSize;
}

uint32_t FatBootSector::RootCluster() const {
    return Known() && variant == FAT_VARIANT_32 ? LoadLE32(bytes + kRootCluster) : 0;
}

uint64_t FatBootSector::SectorsBeforeData() const {
    uint64_t d = ReservedSectors() + static_cast<uint64_t>(NumberOfFats()) * SectorsPerFat();
    if (variant != FAT_VARIANT_32) d += RootDirectorySectors();
    return d;
}

bool IsFat12BootSector(const FatBootSector& view) {
    // Floppy formats carry as few as 64 root entries; mkfs gives hard-disk images 512.
    return view.bytes && TypeTextIs(view.bytes, kFat1216TypeText, "FAT12   ") && CommonFieldsValid(view) &&
           FixedRootValid(view, 16) && LoadLE16(view.bytes + kSectorsPerFat16) >= 1 && HasSignature(view.bytes);
}

bool IsFat16BootSector(const FatBootSector& view) {
    return view.bytes && TypeTextIs(view.bytes, kFat1216TypeText, "FAT16   ") && CommonFieldsValid(view) &&
           FixedRootValid(view, 224) && LoadLE16(view.bytes + kSectorsPerFat16) >= 1 && HasSignature(view.bytes);
}

bool IsFat32BootSector(const FatBootSector& view) {
    return view.bytes && TypeTextIs(view.bytes, kFat32TypeText, "FAT32   ") && CommonFieldsValid(view) &&
           LoadLE32(view.bytes + kSectorsPerFat32) >= 1 && HasSignature(view.bytes);
}

bool IsFat12BootSector(const uint8_t* sector, uint32_t sectorSize) {
    return IsFat12BootSector(FatBootSector{sector, FAT_VARIANT_12, sectorSize});
}
bool IsFat16BootSector(const uint8_t* sector, uint32_t sectorSize) {
    return IsFat16BootSector(FatBootSector{sector, FAT_VARIANT_16, sectorSize});
}
bool IsFat32BootSector(const uint8_t* sector, uint32_t sectorSize) {
    return IsFat32BootSector(FatBootSector{sector, FAT_VARIANT_32, sectorSize});
}

uint32_t DetectFatVariant(const uint8_t* sector, uint32_t sectorSize) {
    if (IsFat16BootSector(sector, sectorSize)) return FAT_VARIANT_16;
    if (IsFat32BootSector(sector, sectorSize)) return FAT_VARIANT_32;
    if (IsFat12BootSector(sector, sectorSize)) return FAT_VARIANT_12;
    return FAT_VARIANT_NONE;
}

bool MakeFatCandidate(const FatBootSector& view, uint64_t start, uint64_t deviceSectors, bool backup,
                      FatGeometry* out) {
    if (!view.bytes || view.variant > 2 || view.sectorSize == 0 || start >= deviceSectors) return false;
    const uint64_t total = view.TotalSectors();
    const uint64_t length = total > deviceSectors - start ? deviceSectors - start : total;
    const uint64_t before = view.SectorsBeforeData();
    // A device that ends before the data area (an image cut inside the FAT) holds no cluster of it.
    if (total <= before) return false;
    const uint32_t spc = view.SectorsPerCluster();
    if (spc == 0) return false;
    const uint64_t clusters = length > before ? (length - before) / spc : 0;
    if (clusters == 0 && length == total) return false;

    static const uint64_t kLow[] = {1, 4085, 65524};
    static const uint64_t kHigh[] = {4085, 65524, 0x0FFFFFF4};
    static const uint64_t kHalfBytes[] = {3, 4, 8};
    const auto fits = [&](uint64_t n) {
        const uint64_t fatSectorsNeeded = (n * kHalfBytes[view.variant] + 2ULL * view.sectorSize - 1) /
                                          (2ULL * view.sectorSize);
        return n >= kLow[view.variant] && n < kHigh[view.variant] && fatSectorsNeeded <= view.SectorsPerFat();
    };
    // A volume the device ends inside (a cut image) is judged by the clusters its boot sector gives:
    // what is left of a FAT32 may hold fewer than any FAT32 does. The count kept is what the device holds.
    const uint64_t recorded = total > before ? (total - before) / spc : 0;
    const uint64_t judged = recorded > clusters && fits(recorded) ? recorded : clusters;
    if (judged == clusters && !fits(clusters)) return false;
    // The root must be a data cluster: 2 .. count + 1.
    if (view.variant == FAT_VARIANT_32 && (view.RootCluster() < 2 || view.RootCluster() > judged + 1)) return false;

    FatGeometry g;
    g.variant = view.variant;
    g.volumeStart = start;
    g.volumeLength = length;
    g.dataStart = start + before;
    g.sectorsPerCluster = spc;
    g.clusterCount = static_cast<uint32_t>(clusters);
    g.reservedSectors = view.ReservedSectors();
    g.sectorsPerFat = view.SectorsPerFat();
    g.root = view.variant == FAT_VARIANT_32 ? view.RootCluster() : view.RootDirectorySectors();
    switch (view.variant) {
    case FAT_VARIANT_12: g.flags = backup ? 0u : static_cast<uint32_t>(FAT_SEEN_FAT12_BOOT); break;
    case FAT_VARIANT_16: g.flags = backup ? 0u : static_cast<uint32_t>(FAT_SEEN_FAT16_BOOT); break;
    default: g.flags = backup ? static_cast<uint32_t>(FAT_SEEN_FAT32_BACKUP) : static_cast<uint32_t>(FAT_SEEN_FAT32_BOOT); break;
    }
    *out = g;
    return true;
}
