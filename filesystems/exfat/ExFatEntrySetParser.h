#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "filesystems/exfat/ExFatDirectoryEntry.h"
#include "filesystems/exfat/ExFatEntryRecord.h"

// A live entry set the parser could not take: the file or folder it stands for is lost.
struct ExFatRefusedSet {
    uint64_t sector = 0;       // the device sector of its file entry
    const char* why = "";      // a static text
    std::string nameSoFar;     // the part of its name read before it was refused; may be empty
};

// Turns the clusters of a directory, fed in order, into one record per entry set (file or folder,
// live or deleted). A set that spans two clusters is finished across the two calls.
class ExFatEntrySetParser {
public:
    // Drops the open set and the entry counter; the finished records stay.
    void Reset();
    // The folder's entries end here: a live set still open is refused.
    void EndFolder() { Drop("the folder's entries end inside it"); }
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
    // The live sets refused since the list was last cleared, in the order met.
    std::vector<ExFatRefusedSet>& Refused() { return refused_; }
    void SetVolumeParameters(const ExFatVolumeParameters& parameters) { parameters_ = parameters; }

private:
    void FinishSet();
    // Reset, after noting the open set as refused when it is live.
    void Drop(const char* why);
    void NoteRefused(uint64_t sector, const char* why);
    bool SameUse(const uint8_t* entry) const;

    uint8_t stage_ = 0;       // 0 nothing open, 1 file entry seen, 2 stream seen, 2 + n after n more
    uint8_t remaining_ = 0;   // secondary entries still expected
    ExFatEntryRecord open_;
    uint8_t nameLength_ = 0;  // the stream's NameLength, kept
    uint64_t counter_ = 0;    // entries since the last reset
    std::vector<ExFatEntryRecord> finished_;
    std::vector<ExFatRefusedSet> refused_;
    ExFatVolumeParameters parameters_;
};
