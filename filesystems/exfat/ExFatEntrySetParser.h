#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "filesystems/exfat/ExFatDirectoryEntry.h"
#include "filesystems/exfat/ExFatEntryRecord.h"

class ExFatUpcaseTable;

// A live entry set the parser could not take: the file or folder it stands for is lost.
struct ExFatRefusedSet {
    uint64_t sector = 0;       // the device sector of its file entry
    const char* why = "";      // a static text
    std::string nameSoFar;     // the part of its name read before it was refused; may be empty
};

// Turns the clusters of a directory, fed in order, into one record per entry set (file or folder,
// live or deleted). A set that spans two clusters is finished across the two calls. Each finished
// record says what of it changed since it was written, as far as the set's checksum and its name's
// length and hash tell (ExFatEntryRecord::changed).
class ExFatEntrySetParser {
public:
    // Drops the open set and the entry counter; the finished records stay.
    void Reset();
    // The folder's entries end here: a live set still open is refused.
    void EndFolder() { Drop("the folder's entries end inside it"); }
    // Parses byteCount / 32 entries; firstSector is the device sector of the buffer's start.
    // False at the entry that ends the directory (0x00): the entries after it are not looked at.
    // An entry that is refused, or of a critical type not known here, loses only the set it stands
    // in.
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
    // The volume's up-case table, through which names are hashed; null: only units below 0x80 are
    // known, and a name with others is not checked. Not owned.
    void SetUpcaseTable(const ExFatUpcaseTable* table) { upcase_ = table; }

private:
    void FinishSet();
    // Reset, after noting the open set as refused when it is live. nameAhead: the set is refused at
    // one of its own entries, so a name not read yet is taken from the name entries that follow in
    // the buffer, from the entry being parsed on.
    void Drop(const char* why, bool nameAhead = false);
    void NoteRefused(uint64_t sector, const char* why, bool nameAhead = false);
    // The name the name entries from the entry being parsed on spell, as far as the buffer goes.
    std::string NameAhead() const;
    bool SameUse(const uint8_t* entry) const;
    // Adds an entry of the open set to its checksum (the file entry's SetChecksum left out).
    void AddToChecksum(const uint8_t* entry, bool fileEntry);
    // Adds a name entry's units to the name's length and hash.
    void AddToNameHash(const uint8_t* entry);

    uint8_t stage_ = 0;       // 0 nothing open, 1 file entry seen, 2 stream seen, 2 + n after n more
    uint8_t remaining_ = 0;   // secondary entries still expected
    ExFatEntryRecord open_;
    uint8_t nameLength_ = 0;  // the stream's NameLength, kept
    uint64_t counter_ = 0;    // entries since the last reset
    std::vector<ExFatEntryRecord> finished_;
    std::vector<ExFatRefusedSet> refused_;
    ExFatVolumeParameters parameters_;
    const ExFatUpcaseTable* upcase_ = nullptr;
    // What the open set's checks have gathered.
    uint16_t checksum_ = 0, storedChecksum_ = 0;
    uint16_t nameHash_ = 0, storedNameHash_ = 0;
    uint16_t nameUnits_ = 0;   // name units met so far, the NUL padding included
    bool nameBroken_ = false;  // a NUL inside the name, or a unit past its length
    bool nameUnsure_ = false;  // a unit whose capital is not known
    // The buffer being parsed and the entry being parsed, for NameAhead.
    const uint8_t* buffer_ = nullptr;
    uint32_t bufferEntries_ = 0, at_ = 0;
};
