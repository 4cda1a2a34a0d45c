#pragma once
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "filesystems/ext/ExtBlockMap.h"
#include "filesystems/ext/ExtInode.h"
#include "filesystems/ext/ExtMemory.h"

class CExt2FileSystem;
class ExtBlockOwners;

// Walks a directory's entries in order through a window of two blocks: the next block is loaded
// before the position comes within one longest entry (264 bytes) of it, so an entry that crosses a
// block boundary is read whole. Records of inode 0 (free space, the checksum tail of a leaf block,
// the hash index blocks of a large folder) are handed out like any other; the caller skips them.
// The walk ends at the directory's size. What it cannot read costs itself alone, and is noted: a
// record that is not well formed itself (the walk goes on at the next record of its block that
// looks like a live entry, else at the next block), a block that cannot be read or is not mapped
// its own entries (a run of such blocks is passed over whole and said once: a damaged size costs
// what the map holds, not what it claims), and a first block that does not begin with the folder's
// own "." entry (its pointer names another's block) its own entries.
class CExt2DirEntry {
public:
    // Thrown by Current when there is no entry (the directory could not be read at all).
    class CBadDir : public std::exception {
    public:
        const char* what() const noexcept override { return "CExt2DirEntry::CBadDir"; }
    };

    struct Entry {
        uint32_t inode = 0;
        uint16_t recordLength = 0;
        uint8_t nameLength = 0;
        uint8_t fileType = 0;
        const uint8_t* name = nullptr;  // nameLength bytes, valid until Advance
    };

    // owners, when given, learns the blocks the folder holds (those read, and their mapping blocks).
    CExt2DirEntry(const CExt2FileSystem& fs, const ExtInode& directory, ExtBlockOwners* owners = nullptr);
    CExt2DirEntry(const CExt2DirEntry&) = delete;
    CExt2DirEntry& operator=(const CExt2DirEntry&) = delete;

    bool AtEnd() const { return end_; }
    Entry Current() const;
    void Advance();
    // The current entry's name, converted for display (see ExtEntryName).
    std::string Name() const;
    uint64_t Position() const { return position_; }
    // How many times the walk passed over what it could not read, and the first of them in words.
    uint32_t Damaged() const { return damaged_; }
    const std::string& Damage() const { return damage_; }
    // Blocks read whose checksum fails (volumes that keep them): their entries are read, but their
    // names may not be the folder's; the first of them in words.
    uint32_t Doubted() const { return doubted_; }
    const std::string& Doubt() const { return doubt_; }
    // The current entry lies in such a block.
    bool CurrentDoubted() const;

private:
    // Loads logical block next into the window; false (noted) when it cannot be had, with the
    // blocks after it that cannot be had either.
    bool LoadBlock(uint64_t next);
    // Loads the first block from next on that can be had, the position at its start when it was
    // before it; false when none is left.
    bool LoadFrom(uint64_t next);
    void SkipToNextBlock();
    // A record at byte at of the folder that reads as a live entry would, whole inside its block.
    bool LooksLikeEntry(uint64_t at) const;
    void NoteDamage(const std::string& what);
    bool CurrentIsWhole() const;
    bool Lost(uint64_t block) const { return block >= lostFrom_ && block < lostUntil_; }

    const CExt2FileSystem& fs_;
    uint32_t folder_;  // the directory's inode number
    uint32_t generation_;
    bool indexed_;  // a hash index over its entries
    uint64_t dataSize_;
    uint64_t blockCount_;
    ExtBlockMap map_;
    ExtBlockOwners* owners_;
    size_t mappingClaimed_ = 0;  // map_'s mapping blocks already given to owners_
    ExtBuffer window_;
    bool haveWindow_ = false;
    bool single_ = false;       // the window holds one block, at its start
    bool windowDoubt_[2] = {false, false};  // the window's blocks fail their checksums
    // The logical blocks [lostFrom_, lostUntil_) last found missing: one loss, said once.
    uint64_t lostFrom_ = UINT64_MAX;
    uint64_t lostUntil_ = UINT64_MAX;
    uint64_t tried_ = 0;        // blocks asked of the volume
    ExtBuffer scratch_;
    uint64_t index_ = 0;        // logical block last loaded
    uint64_t windowStart_ = 0;  // directory byte at the window's start
    uint64_t loadedEnd_ = 0;    // directory byte after the last loaded one
    uint64_t position_ = 0;
    bool end_ = false;
    uint32_t damaged_ = 0;
    std::string damage_;
    uint32_t doubted_ = 0;
    std::string doubt_;
};

// A name from a directory entry, for the system's code page (UTF-8): well-formed UTF-8 stays as it
// is; a sequence cut off by the end of the name is dropped; any other ill-formed name keeps its raw
// bytes. At most 255 bytes.
std::string ExtEntryName(const uint8_t* bytes, size_t size);
// The length of that name: it is always the first bytes of the entry's.
size_t ExtEntryNameLength(const uint8_t* bytes, size_t size);
