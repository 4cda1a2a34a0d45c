#include "filesystems/ext/ExtBlockOwners.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "filesystems/ext/CExt2FileSystem.h"
#include "filesystems/ext/ExtChecksums.h"
#include "filesystems/ext/ExtErrors.h"
#include "sqlite_recovery/framework/Logger.h"

using namespace ext;

namespace {
// One bit a block: beyond this many blocks (1 TiB of 4 KiB blocks) the map would take more memory
// than it is worth, and nothing is checked.
constexpr uint64_t kMostBlocks = uint64_t{1} << 28;
constexpr uint64_t kNone = UINT64_MAX;

bool Bit(const ExtVector<uint64_t>& bits, uint64_t b) { return (bits[b >> 6] >> (b & 63)) & 1; }

// Calls visit(word, mask of the blocks of [start, end) in that word of a one-bit-a-block map) for
// each word the range covers, until it answers true.
template <class Visit>
void EachWord(uint64_t start, uint64_t end, Visit visit) {
    for (uint64_t b = start; b < end;) {
        const uint64_t bit = b & 63;
        const uint64_t n = std::min<uint64_t>(64 - bit, end - b);
        const uint64_t mask = (n == 64 ? ~uint64_t{0} : ((uint64_t{1} << n) - 1)) << bit;
        if (visit(b >> 6, mask)) return;
        b += n;
    }
}
}  // namespace

ExtBlockOwners::ExtBlockOwners(const CExt2FileSystem& fs) : fs_(fs) {}

void ExtBlockOwners::Begin() {
    enabled_ = false;
    blocks_ = fs_.BlockCount();
    // Bitmaps of clusters of blocks would need a map of their own.
    if (blocks_ == 0 || blocks_ > kMostBlocks || (fs_.SuperBlock().featureRoCompat & kRoCompatBigalloc)) return;
    try {
        const size_t words = static_cast<size_t>((blocks_ + 63) / 64);
        held_.assign(words, 0);
        inUse_.assign(words, 0);
        trusted_.assign(static_cast<size_t>(fs_.GroupCount()), 0);
        shared_.clear();
        claims_.clear();
        enabled_ = true;
        const ExtSuperBlock& sb = fs_.SuperBlock();
        // A superblock copy, with the descriptor table and the blocks kept for it after it.
        const uint64_t copyBlocks =
            (sb.featureIncompat & kIncompatMetaBg) ? 1 : 1 + sb.DescriptorBlocks() + sb.reservedGdtBlocks;
        // Block 0 holds the boot sector (with 1 KiB blocks, before group 0): never a file's.
        if (sb.firstDataBlock > 0) HoldMetadata(0, sb.firstDataBlock);
        for (uint64_t g = 0; g < sb.GroupCount(); ++g)
            if (sb.HasSuperBlockCopy(g)) HoldMetadata(g * sb.blocksPerGroup + sb.firstDataBlock, copyBlocks);
        for (uint64_t g = 0; g < fs_.GroupCount(); ++g) {
            const ExtGroupDescriptor& d = fs_.Group(g);
            if (d.bitmapsOk) {
                HoldMetadata(d.blockBitmap, 1);
                HoldMetadata(d.inodeBitmap, 1);
            }
            if (d.tableOk) HoldMetadata(d.inodeTable, sb.InodeTableBlocks());
        }
        ReadBitmaps();
    } catch (const std::bad_alloc&) {
        enabled_ = false;
        held_.clear();
        inUse_.clear();
        shared_.clear();
        claims_.clear();
    }
}

void ExtBlockOwners::Hold(uint64_t start, uint64_t length) {
    if (!enabled_ || start >= blocks_) return;
    EachWord(start, std::min(blocks_, start + std::min(length, blocks_)), [this](uint64_t word, uint64_t mask) {
        for (uint64_t twice = held_[word] & mask; twice; twice &= twice - 1)
            shared_.insert((word << 6) | static_cast<uint64_t>(__builtin_ctzll(twice)));
        held_[word] |= mask;
        return false;
    });
}

void ExtBlockOwners::HoldMetadata(uint64_t start, uint64_t length) {
    Claim c;
    c.start = start;
    c.length = length;
    c.kind = kMetadata;
    AddClaim(c);
}

void ExtBlockOwners::HoldData(uint64_t start, uint64_t length) { Hold(start, length); }

void ExtBlockOwners::AddClaim(const Claim& claim) {
    if (!enabled_ || claim.length == 0 || claim.start >= blocks_) return;
    Hold(claim.start, claim.length);
    if (!claims_.empty()) {
        Claim& last = claims_.back();
        // Each mapping block keeps the logical block it leads to.
        if (claim.kind != kMapping && last.inode == claim.inode && last.kind == claim.kind &&
            last.start + last.length == claim.start &&
            (claim.kind == kMetadata || last.logical + last.length == claim.logical)) {
            last.length += claim.length;
            return;
        }
    }
    claims_.push_back(claim);
}

uint64_t ExtBlockOwners::FirstShared(uint64_t start, uint64_t length) const {
    if (shared_.empty()) return kNone;
    auto it = shared_.lower_bound(start);
    return it != shared_.end() && *it - start < length ? *it : kNone;
}

bool ExtBlockOwners::GroupTrusted(uint64_t block) const {
    const ExtSuperBlock& sb = fs_.SuperBlock();
    if (block < sb.firstDataBlock) return false;
    const uint64_t g = (block - sb.firstDataBlock) / sb.blocksPerGroup;
    return g < trusted_.size() && trusted_[static_cast<size_t>(g)];
}

uint64_t ExtBlockOwners::FirstMarkedFree(uint64_t start, uint64_t length) const {
    if (!enabled_ || !bitmapsTrusted_ || start >= blocks_) return kNone;
    uint64_t found = kNone;
    // Blocks in use pass a word at a time; a free one counts where its group's bitmap holds.
    EachWord(start, std::min(blocks_, start + std::min(length, blocks_)), [&](uint64_t word, uint64_t mask) {
        for (uint64_t free = ~inUse_[word] & mask; free; free &= free - 1) {
            const uint64_t at = (word << 6) | static_cast<uint64_t>(__builtin_ctzll(free));
            if (GroupTrusted(at)) {
                found = at;
                return true;
            }
        }
        return false;
    });
    return found;
}

bool ExtBlockOwners::Orphan(uint64_t block) const {
    return enabled_ && bitmapsTrusted_ && block < blocks_ && GroupTrusted(block) && Bit(inUse_, block) &&
           !Bit(held_, block);
}

void ExtBlockOwners::ReadBitmaps() {
    const ExtSuperBlock& sb = fs_.SuperBlock();
    // A journal that still holds changes may hold the bitmaps' last state too.
    bitmapsTrusted_ = !(sb.featureIncompat & kIncompatRecover);
    if (!bitmapsTrusted_) return;
    const uint32_t bs = fs_.BlockSize();
    const bool checksums = sb.featureRoCompat & kRoCompatMetadataCsum;
    const bool flagsHold = fs_.TrustsUnusedInodes();
    ExtBuffer buffer;
    uint8_t* bitmap = buffer.Reserve(bs);
    for (uint64_t g = 0; g < fs_.GroupCount(); ++g) {
        const ExtGroupDescriptor& d = fs_.Group(g);
        const uint64_t first = g * sb.blocksPerGroup + sb.firstDataBlock;
        if (first >= blocks_) break;
        const uint64_t count = std::min<uint64_t>(sb.blocksPerGroup, blocks_ - first);
        // Never written: every block of the group is free but its metadata (marked below).
        if ((d.flags & kGroupBlockUninit) && flagsHold && d.checksumOk) {
            trusted_[static_cast<size_t>(g)] = 2;
            continue;
        }
        if (!d.bitmapsOk || !fs_.IsReadableBlock(d.blockBitmap) || sb.blocksPerGroup > 8ull * bs) continue;
        try {
            fs_.ReadBlocks(bitmap, d.blockBitmap, 1);
        } catch (const CExt2ReadSectorError&) {
            continue;
        } catch (const std::range_error&) {
            continue;
        }
        if (checksums) {
            const uint32_t mask = d.wideBitmapChecksum ? 0xFFFFFFFFu : 0xFFFFu;
            if ((ExtBitmapChecksum(sb, bitmap, sb.blocksPerGroup / 8) & mask) != d.bitmapChecksum) continue;
        }
        // 64 bits at a time (the bitmap's bit i is bit i % 8 of its byte i / 8: little-endian words).
        for (uint64_t i = 0; i < count; i += 64) {
            uint64_t v = 0;
            const uint64_t n = std::min<uint64_t>(64, count - i);
            for (uint64_t k = 0; k < (n + 7) / 8; ++k) v |= static_cast<uint64_t>(bitmap[i / 8 + k]) << (8 * k);
            if (n < 64) v &= (uint64_t{1} << n) - 1;
            const uint64_t at = first + i;
            inUse_[at >> 6] |= v << (at & 63);
            if ((at & 63) && (at >> 6) + 1 < inUse_.size()) inUse_[(at >> 6) + 1] |= v >> (64 - (at & 63));
        }
        trusted_[static_cast<size_t>(g)] = 1;
    }
    // A bitmap that marks the volume's own metadata free is not the one the volume keeps. A group
    // whose bitmap was never written holds its metadata all the same.
    for (const Claim& c : claims_) {
        if (c.kind != kMetadata) continue;
        for (uint64_t b = c.start; b < std::min(blocks_, c.start + c.length); ++b) {
            if (Bit(inUse_, b) || !GroupTrusted(b)) continue;
            const uint64_t g = (b - sb.firstDataBlock) / sb.blocksPerGroup;
            if (trusted_[static_cast<size_t>(g)] == 2) {
                inUse_[b >> 6] |= uint64_t{1} << (b & 63);
                continue;
            }
            trusted_[static_cast<size_t>(g)] = 0;
            RK_LOG("[Dredgel] Ext block bitmap of group %llu marks the volume's block %llu free, which its metadata "
                   "holds: it is not taken into account",
                   static_cast<unsigned long long>(g), static_cast<unsigned long long>(b));
        }
    }
}

namespace {
// The bytes of a file's block at logical run to its size: a full block has data to its end, its
// last block data up to where the size ends and zeros after it. Eight zero bytes at an end are
// taken as chance.
bool EndsAsDataOf(const uint8_t* data, size_t bs, uint64_t logical, uint64_t size) {
    if (logical >= size / bs + (size % bs != 0)) return false;
    const uint64_t expected = std::min<uint64_t>(bs, size - logical * bs);
    size_t used = bs;
    while (used > 0 && data[used - 1] == 0) --used;
    return used <= expected && used + 8 >= expected;
}

bool IsFolderBlock(const CExt2FileSystem& fs, const uint8_t* data, size_t bs, uint32_t folder, uint64_t logical) {
    size_t at = 0;
    while (at < bs) {
        if (at + kDirEntryHeaderBytes > bs) return false;
        const uint32_t ino = LoadLE32(data + at);
        const uint32_t length = LoadLE16(data + at + 4);
        const uint8_t nameLength = data[at + 6];
        if (length % 4 != 0 || length < kDirEntryHeaderBytes + nameLength || at + length > bs ||
            ino > fs.SuperBlock().inodesCount)
            return false;
        // A folder's first block begins with its own "." entry.
        if (at == 0 && logical == 0 && (ino != folder || nameLength != 1 || data[kDirEntryHeaderBytes] != '.'))
            return false;
        at += length;
    }
    return true;
}

bool MapsBlocks(const CExt2FileSystem& fs, const uint8_t* data, size_t bs, bool extents) {
    if (extents)
        return LoadLE16(data + EH_MAGIC) == kExtentMagic && LoadLE16(data + EH_DEPTH) <= kExtentMaxDepth &&
               LoadLE16(data + EH_ENTRIES) <= LoadLE16(data + EH_MAX);
    for (size_t at = 0; at < bs; at += 4)
        if (!fs.IsValidBlock(LoadLE32(data + at)) && LoadLE32(data + at) != 0) return false;
    return true;
}

constexpr uint32_t kAttributeMagic = 0xEA020000;
}  // namespace

ExtVector<ExtClaimant> SettleBlock(const CExt2FileSystem& fs, uint64_t block, const ExtVector<ExtClaimant>& claimants,
                                   const std::function<bool(uint32_t)>& credible) {
    for (const ExtClaimant& c : claimants)
        if (c.kind == ExtBlockOwners::kMetadata) return ExtVector<ExtClaimant>(1, c);
    const size_t bs = fs.BlockSize();
    ExtBuffer buffer;
    uint8_t* data = buffer.Reserve(bs);
    bool readable = true;
    try {
        fs.ReadBlocks(data, block, 1);
    } catch (const CExt2ReadSectorError&) {
        readable = false;
    } catch (const std::range_error&) {
        readable = false;
    }
    ExtVector<ExtClaimant> best;
    int bestScore = -1;
    for (const ExtClaimant& c : claimants) {
        bool reads = readable;
        if (readable) {
            switch (c.kind) {
                case ExtBlockOwners::kData: reads = EndsAsDataOf(data, bs, c.logical, c.size); break;
                case ExtBlockOwners::kFolder: reads = IsFolderBlock(fs, data, bs, c.inode, c.logical); break;
                case ExtBlockOwners::kMapping: reads = MapsBlocks(fs, data, bs, c.extents); break;
                case ExtBlockOwners::kAttributes: reads = LoadLE32(data) == kAttributeMagic; break;
                default: break;
            }
        }
        const int score = (credible(c.inode) ? 4 : 0) + (reads ? 2 : 0) + (c.fits ? 1 : 0);
        if (score > bestScore) {
            best.clear();
            bestScore = score;
        }
        if (score == bestScore) best.push_back(c);
    }
    return best;
}
