#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// One 32-byte FAT directory entry and the long-name entries in front of it.
constexpr size_t kFatEntrySize = 32;
constexpr uint8_t kFatDeletedMark = 0xE5;
constexpr uint8_t kFatAttrLongName = 0x0F;
constexpr uint8_t kFatAttrVolumeLabel = 0x08;
constexpr uint8_t kFatAttrDirectory = 0x10;
constexpr uint8_t kFatAttrReserved = 0x40;

// Plausibility of an entry's dates, times and attribute bits; strict mode also wants a file's first
// cluster and size to agree. Long-name entries always pass.
bool IsPlausibleFatEntry(const uint8_t* entry, bool strict);
bool IsDotEntry(const uint8_t* entry);
bool IsDotDotEntry(const uint8_t* entry);

// The entry's first cluster (high and low halves).
uint32_t FatEntryFirstCluster(const uint8_t* entry);

// Up to 13 UTF-16 units of a long-name entry, ending at its first 0; returns how many.
size_t LongNamePartUnits(const uint8_t* entry, char16_t out[13]);
// The same part as text.
bool LongNamePartToText(const uint8_t* entry, std::string* out);

// "NAME.EXT" from the 8.3 fields: trailing blanks cut, a deleted first byte shown as '#', the
// lower-case flags of byte 12 applied, and bytes that no file name may hold replaced by '_'.
std::string ShortNameToText(const uint8_t* entry);

// False for the characters no file name may hold.
bool IsValidLongNameChar(char c);

// The checksum that long-name entries carry of the 11 bytes of their short name.
uint8_t ShortNameChecksum(const uint8_t* name11);

// The name of the short entry at entries + count * 32, from the long-name entries that precede it
// (count of them, oldest first). The long name is taken only when its checksum matches the short
// name (for a deleted entry, whose first byte is lost, the long name's first letter stands in for
// it), its parts are in order and every character is allowed; otherwise the short name.
std::string FatEntryName(const uint8_t* entries, size_t count);

// The fields of an entry that a found item carries.
struct FatEntryFields {
    std::string name;
    uint32_t size = 0;
    uint8_t attributes = 0;
    uint64_t creationTime = 0;  // FILETIME, 0 when the stored date is not one
    uint64_t writeTime = 0;
    uint64_t accessTime = 0;
    bool deleted = false;
    uint32_t firstCluster = 0;
};

// Fields of the short entry with the given name.
FatEntryFields DecodeFatEntry(const std::string& name, const uint8_t* entry);
