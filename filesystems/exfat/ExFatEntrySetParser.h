#pragma once
#include <cstdint>
#include <vector>

#include "filesystems/exfat/ExFatDirectoryEntry.h"
#include "filesystems/exfat/ExFatEntryRecord.h"

// Turns the clusters of a directory, fed in order, into one record per entry set (file or folder,
// live or deleted). A set that spans two clusters is finished across the two calls.
class ExFatEntrySetParser {
public:
    // Drops the open set and the entry counter; the finished records stay.
    void Reset();
    // Parses byteCount / 32 entries; firstSector is the device sector of the buffer's start.
    // False at the first entry that ends the directory (0x00, or a critical entry of a type not
    // known here): the entries after it are not looked at. An entry of a known type that is
    // refused loses only the set it stands in.
    bool ParseDirectoryBuffer(const uint8_t* buffer, uint32_t byteCount, uint64_t firstSector);

    bool OnFileEntry(const uint8_t* entry, uint64_t sector);
    bool OnStreamEntry(const uint8_t* entry);
    bool OnNameEntry(const uint8_t* entry);
    // A vendor or other benign secondary entry: counted against the set's SecondaryCount.
    bool OnBenignSecondary(const uint8_t* entry);

    std::vector<ExFatEntryRecord>& Finished() { return finished_; }
    void SetVolumeParameters(const ExFatVolumeParameters& parameters) { parameters_ = parameters; }

private:
    void FinishSet();
    bool SameUse(const uint8_t* entry) const;

    uint8_t stage_ = 0;       // 0 nothing open, 1 file entry seen, 2 stream seen, 2 + n after n more
    uint8_t remaining_ = 0;   // secondary entries still expected
    ExFatEntryRecord open_;
    uint8_t nameLength_ = 0;  // the stream's NameLength, kept
    uint64_t counter_ = 0;    // entries since the last reset
    std::vector<ExFatEntryRecord> finished_;
    ExFatVolumeParameters parameters_;
};
