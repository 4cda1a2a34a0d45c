#pragma once
// Tests that decide whether 32 bytes found on a disk are a believable exFAT directory entry, the
// entry-set checksum and the timestamp conversion. Each validator reads exactly 32 bytes.
#include <cstddef>
#include <cstdint>

// What the length tests of stream, bitmap and up-case entries measure against.
struct ExFatVolumeParameters {
    uint32_t sectorShift = 9;    // log2 of the bytes per sector
    uint32_t clusterShift = 9;   // log2 of the bytes per cluster
    uint64_t deviceSectors = 0;
};

bool IsValidExFatTimestamp(uint32_t timestamp);
bool IsValidFileEntry(const uint8_t* entry);
// The file entry's fields but its three timestamps: a set whose only fault is a time is a file.
bool IsValidFileEntryLayout(const uint8_t* entry);
bool IsValidStreamEntry(const uint8_t* entry, uint32_t sectorShift, uint32_t clusterShift, uint64_t deviceSectors);
// The stream entry's reserved bytes and first cluster, its lengths left out.
bool IsValidStreamLayout(const uint8_t* entry);
bool IsValidNameEntry(const uint8_t* entry);
bool IsValidLabelEntry(const uint8_t* entry);
bool IsValidBitmapEntry(const uint8_t* entry, uint32_t sectorShift, uint32_t clusterShift, uint64_t deviceSectors);
bool IsValidUpcaseEntry(const uint8_t* entry, uint32_t sectorShift, uint32_t clusterShift, uint64_t deviceSectors);

// True for 32 bytes a folder's cluster may begin with: an unused slot (all zero), or an entry of a
// type the readers know whose fields hold together (benign entries: their type alone). Data that is
// no folder's begins so only by chance.
bool IsBelievableFolderEntry(const uint8_t* entry);
// True when every entry of a cluster up to its first unused slot is believable: a file's first
// bytes pass for one entry by chance (one byte of 0x03 is a deleted label), hardly for a cluster's.
bool HoldsOnlyBelievableFolderEntries(const uint8_t* cluster, size_t bytes);

// False for the characters below 0x100 that may not stand in a name or label.
bool IsValidExFatNameChar(uint16_t unit);

// The entry-set checksum over byteCount bytes (the file entry's SetChecksum bytes left out). A
// deleted set (first byte 0x05) also matches with the type bytes it had while it was live.
bool EntrySetChecksumMatches(const uint8_t* set, uint32_t byteCount, uint16_t expected);

// Benign entries (type bit 5) are optional: cameras add vendor entries (0xE0, 0xE1) to their sets,
// and a volume GUID entry (0xA0) may stand among the root's entries. Bit 7 is left out.
inline bool IsBenignPrimary(uint8_t type) { return (type & 0x60) == 0x20; }
inline bool IsBenignSecondary(uint8_t type) { return (type & 0x60) == 0x60; }

// FILETIME of an exFAT timestamp (its DOS date and time halves, no time-zone shift); 0 when it is
// no date.
uint64_t ExFatTimestampToFileTime(uint32_t timestamp);
