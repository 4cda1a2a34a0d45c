#pragma once
#include <cstddef>
#include <cstdint>

// One finished directory entry set: a file or folder, live or deleted. Copied as one block.
struct ExFatEntryRecord {
    static constexpr size_t kNameBytes = 259;  // at most 258 bytes of UTF-8 text and the NUL
    // What the set's own checks found changed since it was written (the quick search's parser
    // makes the first two, the whole-device search's recognizer the third).
    enum : uint8_t {
        kChecksumDiffers = 0x01,   // its entries do not add up to its SetChecksum
        kNameDiffers = 0x02,       // its name is not the one its NameLength and NameHash were made from
        kLengthPastDevice = 0x04,  // a length of its stream runs past the device: it tells nothing of clusters
    };

    uint64_t dataLength = 0;     // stream extension
    uint64_t validDataLength = 0;  // stream extension: the bytes written to it, from its start
    uint32_t firstCluster = 0;   // stream extension
    uint8_t noFatChain = 0;      // stream extension flag bit 1, as 0 or 1
    uint8_t inUse = 0;           // bit 7 of the file entry's type byte, as 0 or 1
    uint16_t attributes = 0;     // file entry's FileAttributes
    uint32_t createTimestamp = 0;
    uint32_t modifyTimestamp = 0;
    uint32_t accessTimestamp = 0;
    uint64_t sector = 0;         // the device sector that holds the file entry
    char name[kNameBytes] = {};
    uint16_t nameBytes = 0;      // bytes of text in name
    char16_t pendingSurrogate = 0;  // a high surrogate whose pair is in the next name entry
    uint8_t changed = 0;         // kChecksumDiffers | kNameDiffers | kLengthPastDevice

    bool IsDirectory() const { return (attributes & 0x10) != 0; }
};

// Appends the characters of one file name entry (up to 15, up to the first 0) to the record's name
// as UTF-8; a unit that is no character becomes the byte 0x01. The name is cut at a character
// boundary when it would pass 258 bytes.
void AppendExFatNamePiece(ExFatEntryRecord& record, const uint8_t* entry);
// A high surrogate left at the end of the name becomes 0x01.
void FinishExFatName(ExFatEntryRecord& record);
