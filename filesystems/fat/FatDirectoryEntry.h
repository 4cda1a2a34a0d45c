#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// One 32-byte FAT directory entry and the long-name entries in front of it (little-endian):
//
//   short entry                               long-name entry
//   offset  size  field                       offset  size  field
//   ------  ----  --------------------------  ------  ----  ------------------------------------
//      0     11   8.3 name (E5: deleted)          0     1    sequence (0x40: last; low 6 bits: n)
//     11      1   attributes                      1    10    UTF-16 units 1-5
//     12      1   case flags (08 base, 10 ext)   11     1    attributes, 0F
//     14      2   creation time                  13     1    checksum of the short name
//     16      2   creation date                  14    12    UTF-16 units 6-11
//     18      2   access date                    26     2    0
//     20      2   first cluster, high half       28     4    UTF-16 units 12-13
//     22      2   write time
//     24      2   write date
//     26      2   first cluster, low half
//     28      4   file size
constexpr size_t kFatEntrySize = 32;
constexpr size_t kFatEntryAttributes = 11;
constexpr size_t kFatEntryCaseFlags = 12;
constexpr size_t kFatEntryCreationTime = 14;
constexpr size_t kFatEntryCreationDate = 16;
constexpr size_t kFatEntryAccessDate = 18;
constexpr size_t kFatEntryClusterHigh = 20;
constexpr size_t kFatEntryWriteTime = 22;
constexpr size_t kFatEntryWriteDate = 24;
constexpr size_t kFatEntryClusterLow = 26;
constexpr size_t kFatEntryFileSize = 28;
constexpr size_t kFatLongNameChecksum = 13;
constexpr uint8_t kFatDeletedMark = 0xE5;
constexpr uint8_t kFatAttrLongName = 0x0F;
constexpr uint8_t kFatAttrVolumeLabel = 0x08;
constexpr uint8_t kFatAttrDirectory = 0x10;
constexpr uint8_t kFatAttrArchive = 0x20;
constexpr uint8_t kFatAttrReserved = 0x40;

// Plausibility of an entry's dates, times and attribute bits; strict mode also wants a file's first
// cluster and size to agree. Long-name entries always pass.
bool IsPlausibleFatEntry(const uint8_t* entry, bool strict);
// Whether the entry would be plausible but for its dates and times.
bool PlausibleButForTimes(const uint8_t* entry);
// Whether the 11 name bytes are such as writers put in a short name: no control character, no
// lower-case letter, none of the characters a short name may not hold, no blank first.
bool ShortNameBytesValid(const uint8_t* entry);
// ShortNameBytesValid, and no byte of a code page (0x80 and up) in a part its case flags say is in
// lower case: writers give such a name a long name.
bool ShortNameAsWritten(const uint8_t* entry);
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
