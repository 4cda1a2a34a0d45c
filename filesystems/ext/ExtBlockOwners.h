#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

#include "filesystems/ext/ExtMemory.h"

class CExt2FileSystem;

// Who holds each block of an Ext volume: its own metadata (superblocks, descriptor tables, bitmaps,
// inode tables), the reserved inodes (the journal), folders, and files with their mapping blocks;
// and what the block bitmaps say is in use. A block pointer that damage moved names a block that is
// free, the volume's metadata or another's: this map tells which. One bit a block for what is held,
// one for what the bitmaps mark in use; the few blocks held twice are kept apart.
class ExtBlockOwners {
public:
    enum Kind : uint8_t {
        kMetadata,    // placed by the volume's geometry and descriptors: never another's
        kReserved,    // a reserved inode's blocks (the journal)
        kAttributes,  // an inode's extended-attribute block (may be shared by several inodes)
        kFolder,      // a folder's block
        kMapping,     // a file's indirect block or extent tree node
        kData,        // a file's data block
    };
    // A stretch of blocks one claimant holds. logical: the claimant's logical block at start (a
    // mapping block: the first logical block reached through it).
    struct Claim {
        uint64_t start = 0;
        uint64_t length = 0;
        uint64_t logical = 0;
        uint32_t inode = 0;  // 0 for the volume's metadata
        Kind kind = kData;
        bool extents = false;  // a mapping block of an extent tree (else an indirect block)
    };

    explicit ExtBlockOwners(const CExt2FileSystem& fs);
    ExtBlockOwners(const ExtBlockOwners&) = delete;
    ExtBlockOwners& operator=(const ExtBlockOwners&) = delete;

    // Holds the volume's metadata and reads its block bitmaps, keeping those that hold together.
    // Nothing is checked on a volume too large for one bit a block, or when memory runs out.
    void Begin();
    bool Enabled() const { return enabled_; }

    // A file's data blocks: held, not recorded (its node keeps its runs).
    void HoldData(uint64_t start, uint64_t length);
    // Any other claim: held and recorded (a block next to the last claim's, of the same claimant,
    // extends it).
    void AddClaim(const Claim& claim);
    const ExtVector<Claim>& Claims() const { return claims_; }

    bool AnyShared() const { return !shared_.empty(); }
    // The first block of [start, start + length) that two claims hold, or UINT64_MAX.
    uint64_t FirstShared(uint64_t start, uint64_t length) const;
    const ExtSet<uint64_t>& Shared() const { return shared_; }
    // The first block of [start, start + length) that a bitmap trusted marks free, or UINT64_MAX.
    uint64_t FirstMarkedFree(uint64_t start, uint64_t length) const;
    bool BitmapsTrusted() const { return bitmapsTrusted_; }
    // A block a bitmap trusted marks in use that no claim holds (a stretch damage moved a map off).
    bool Orphan(uint64_t block) const;
    // Bitmaps that mark free the blocks of several live files are stale, not a sign of damage.
    void DistrustBitmaps() { bitmapsTrusted_ = false; }

private:
    void Hold(uint64_t start, uint64_t length);
    void HoldMetadata(uint64_t start, uint64_t length);
    void ReadBitmaps();
    bool GroupTrusted(uint64_t block) const;

    const CExt2FileSystem& fs_;
    bool enabled_ = false;
    bool bitmapsTrusted_ = false;
    uint64_t blocks_ = 0;
    ExtVector<uint64_t> held_;    // one bit a block: some claim holds it
    ExtVector<uint64_t> inUse_;   // one bit a block: its group's bitmap marks it in use
    ExtVector<uint8_t> trusted_;  // per group: 1 its bitmap holds together, 2 it was never written
    ExtSet<uint64_t> shared_;     // held by two claims or more
    ExtVector<Claim> claims_;
};

// One holder of a block that another claim holds too.
struct ExtClaimant {
    ExtBlockOwners::Kind kind = ExtBlockOwners::kData;
    uint32_t inode = 0;
    uint64_t logical = 0;  // its logical block there (a mapping block: the first one it reaches)
    uint64_t size = 0;     // the file's size (data)
    bool extents = false;  // a mapping block of an extent tree
    bool fits = false;     // a block next to this one is the claimant's too
};
// Which of the claimants hold block: one, or several when nothing tells them apart. The volume's
// metadata always keeps its place. Each other claimant is weighed by what can be checked, in this
// order: its inode's checksum holds (credible(inode), on volumes that keep checksums); the block's
// bytes read as what it takes them for (a file's block ends where its size puts the end, a folder
// block is a folder's, a mapping block maps blocks of the volume, an attribute block has its
// magic); a block next to it is its own too. Those ahead of all others hold it.
ExtVector<ExtClaimant> SettleBlock(const CExt2FileSystem& fs, uint64_t block, const ExtVector<ExtClaimant>& claimants,
                                   const std::function<bool(uint32_t)>& credible);
