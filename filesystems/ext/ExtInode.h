#pragma once
#include <cstddef>
#include <cstdint>

#include "filesystems/ext/ExtLayout.h"
#include "filesystems/ext/ExtMemory.h"
#include "filesystems/ext/ExtSuperBlock.h"

class CExt2FileSystem;

// The first 156 bytes of one inode (zero past the volume's inode size) and its number.
struct ExtInode {
    uint8_t raw[ext::kInodeRecordBytes] = {};
    uint32_t number = 0;
    // False when the inode's checksum fails (volumes that keep them; never for an unused inode).
    bool checksumHolds = true;

    uint16_t Mode() const { return LoadLE16(raw + ext::IN_MODE); }
    bool IsDirectory() const { return (Mode() & ext::kModeTypeMask) == ext::kModeDirectory; }
    bool IsRegular() const { return (Mode() & ext::kModeTypeMask) == ext::kModeRegular; }
    bool UsesExtents() const { return LoadLE32(raw + ext::IN_FLAGS) & ext::kInodeFlagExtents; }
    bool HasInlineData() const { return LoadLE32(raw + ext::IN_FLAGS) & ext::kInodeFlagInlineData; }
    uint32_t BlocksLo() const { return LoadLE32(raw + ext::IN_BLOCKS_LO); }
    // The blocks of blockSize the inode counts as its own (data, mapping and attribute blocks).
    uint64_t BlocksCounted(const ExtSuperBlock& sb, uint32_t blockSize) const {
        uint64_t units = BlocksLo();
        if (sb.featureRoCompat & ext::kRoCompatHugeFile)
            units |= static_cast<uint64_t>(LoadLE16(raw + ext::IN_BLOCKS_HIGH)) << 32;
        return (LoadLE32(raw + ext::IN_FLAGS) & ext::kInodeFlagHugeFile) ? units : units / (blockSize / 512);
    }
    uint32_t DeletionTime() const { return LoadLE32(raw + ext::IN_DTIME); }
    uint16_t LinksCount() const { return LoadLE16(raw + ext::IN_LINKS_COUNT); }
    // Freed: a deletion time and no link left. A deletion time on an inode that still has links is
    // the next inode of the list of those the journal finishes truncating, or damage: it is live.
    bool IsDeleted() const { return DeletionTime() != 0 && LinksCount() == 0; }
    // Seconds since 1970; values below 1 count as 0.
    int64_t Time(size_t offset) const {
        int32_t t = static_cast<int32_t>(LoadLE32(raw + offset));
        return t < 1 ? 0 : t;
    }
    // The high half of the size only counts for regular files.
    uint64_t FileSize() const {
        uint64_t low = LoadLE32(raw + ext::IN_SIZE_LO);
        return IsRegular() ? (static_cast<uint64_t>(LoadLE32(raw + ext::IN_SIZE_HIGH)) << 32) | low : low;
    }
    // The bytes to walk: the size, or the blocks held when the size is 0.
    uint64_t DataSize() const {
        uint64_t size = FileSize();
        return size ? size : static_cast<uint64_t>(BlocksLo()) * 512;
    }
    // More bytes than 512-byte units held: the file has holes.
    bool LooksSparse() const { return FileSize() / 512 > BlocksLo(); }
    // A size that may stand for holes past what the map holds: the inode's checksum holds (where
    // the volume keeps checksums) and the size is no more than the volume's bytes.
    bool SizeVouchedFor(uint64_t volumeBytes) const { return checksumHolds && FileSize() <= volumeBytes; }
    // A live regular file whose block map describes all its bytes: what the map leaves out (a hole)
    // reads as zeros, as the kernel reads it. A deleted file's map may be gone, so it is not read so.
    bool ReadsThroughHoles() const { return IsRegular() && !IsDeleted() && !HasInlineData(); }
    const uint8_t* BlockArea() const { return raw + ext::IN_BLOCK; }
    uint32_t BlockPointer(size_t i) const { return LoadLE32(raw + ext::IN_BLOCK + 4 * i); }
};

// Logical blocks that a file's run list is built from: every block of its size (the last one
// partly) for a file read through its holes; otherwise its size in blocks when it looks sparse,
// else the blocks it holds (mapping blocks included; the walk stops at the first unmapped one).
uint64_t WalkBlockCount(const CExt2FileSystem& fs, const ExtInode& inode);
// The inode is in use and its block map can be taken seriously: for a classic map, the first
// pointers its size needs (up to 13) are blocks of the volume; for an extent tree, its root is a
// well-formed node (magic, depth at most 5, entries within what fits) naming block numbers such a
// volume can have (past its end is a stretch lost, not garbage).
bool HasPlausibleBlocks(const CExt2FileSystem& fs, const ExtInode& inode);

// A stretch of inode numbers [first, last] whose inodes could not be read.
struct ExtLostInodes {
    uint32_t first = 0;
    uint32_t last = 0;
    bool pastEnd = false;  // past the end of the volume (else: unreadable sectors)
};
// Reads inode ino (1 to s_inodes_count); false for any other number. Throws on a read error.
bool ReadInode(const CExt2FileSystem& fs, uint32_t ino, ExtInode* out);
// Whether inode ino, read whole, carries the checksum it must (true on volumes that keep none).
// Throws on a read error.
bool InodeChecksumHolds(const CExt2FileSystem& fs, uint32_t ino);

// The inode walk's reader: a group's inode table is read in pieces of up to 256 KiB, as far as it
// was ever used, each piece once for a walk in number order. A piece that cannot be read loses its
// own inodes alone.
class CExt2InodeTable {
public:
    explicit CExt2InodeTable(const CExt2FileSystem& fs) : fs_(fs) {}
    // Inodes of the group that may hold files: all of them, or, where the descriptor's checksum
    // vouches for it, those before the never-used tail (none for a table never used).
    uint32_t UsedInodes(uint64_t group) const;
    // False for an inode of a piece of a table that could not be read (said once) or of a table
    // never used; a group's table that runs past the readable blocks is read as far as they go.
    bool Read(uint32_t ino, ExtInode* out);
    // The inodes lost so far, in the order they were met.
    const ExtVector<ExtLostInodes>& Lost() const { return lost_; }
    void AddLost(const ExtLostInodes& lost) { lost_.push_back(lost); }

private:
    // Brings the piece that holds inode index of group in; false when the group is lost.
    bool Load(uint64_t group, uint32_t index);

    const CExt2FileSystem& fs_;
    ExtBuffer piece_;
    ExtVector<ExtLostInodes> lost_;
    uint64_t group_ = UINT64_MAX;
    bool pieceLost_ = false;  // the piece [pieceFirst_, pieceFirst_ + pieceCount_) could not be read
    uint32_t pieceFirst_ = 0;  // index of the piece's first inode in its group
    uint32_t pieceCount_ = 0;  // inodes in the piece
    // The group of the inode asked for last: its number, first inode (zero-based) and used inodes.
    uint64_t lastGroup_ = UINT64_MAX;
    uint64_t lastBase_ = UINT64_MAX;
    uint32_t lastUsed_ = 0;
};
