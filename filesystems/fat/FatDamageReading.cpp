#include "filesystems/fat/FatDamageReading.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>
#include <memory>
#include <new>

#include "filesystems/fat/CFATFileNode.h"
#include "filesystems/fat/FatBootSector.h"
#include "filesystems/fat/FatDirectoryEntry.h"
#include "filesystems/fat/IFATTable.h"
#include "filesystems/fat/IRealFATTable.h"
#include "filesystems/frame/ReadInPart.h"
#include "sqlite_recovery/framework/ByteOrder.h"
#include "sqlite_recovery/framework/IStorageDevice.h"
#include "sqlite_recovery/framework/Logger.h"

bool NameFieldNear(const uint8_t* entry, const char* name11) {
    int off = 0;
    for (int i = 0; i < 11; ++i) off += entry[i] != static_cast<uint8_t>(name11[i]);
    return off <= 1;
}

bool BeginsAsFolder(FatWalkContext& ctx, uint32_t c, uint32_t* up) {
    std::unique_ptr<uint8_t[]> sector(new (std::nothrow) uint8_t[ctx.sectorSize]);
    if (!sector || ctx.sectorSize < 2 * kFatEntrySize || !ctx.device->ReadSectors(sector.get(), ctx.ClusterSector(c), 1))
        return false;
    const uint8_t* s = sector.get();
    if (!IsDotEntry(s) || ctx.EntryCluster(s) != c || !IsDotDotEntry(s + kFatEntrySize)) return false;
    if (up) *up = ctx.EntryCluster(s + kFatEntrySize);
    return true;
}

// A live entry's attributes, as far as what it names can tell them: bits no system sets (0x40,
// 0x80) are damage; so is a volume label's bit on an entry that names data or lies outside the
// root; and an empty file whose entry names a cluster that begins as a folder is that folder. (A
// folder entry whose cluster holds no folder stays one, and is said: its cluster may be what
// changed.) A long-name entry keeps no cluster: one that names a cluster, with a short name's bytes,
// is a short entry whose attributes were lost, a folder when its cluster begins as one.
uint8_t LiveEntryAttributes(FatWalkContext& ctx, const uint8_t* e, uint32_t f, bool inRoot) {
    const uint8_t stored = e[kFatEntryAttributes];
    if (stored == kFatAttrLongName) {
        if (LoadLE16(e + kFatEntryClusterLow) == 0 || !ShortNameBytesValid(e)) return stored;
        const uint8_t a = ctx.IsDataCluster(f) && BeginsAsFolder(ctx, f) ? kFatAttrDirectory : kFatAttrArchive;
        RK_LOG("[FAT] entry \"%.11s\" is marked a long-name entry but names cluster %u: read as a short entry, "
               "attributes 0x%02X", reinterpret_cast<const char*>(e), f, a);
        return a;
    }
    uint8_t a = stored & 0x3F;
    const uint32_t size = LoadLE32(e + kFatEntryFileSize);
    if ((a & kFatAttrVolumeLabel) && (f != 0 || size != 0 || !inRoot)) a &= static_cast<uint8_t>(~kFatAttrVolumeLabel);
    if (a == kFatAttrLongName) return stored;  // the low bits alone make a long-name entry
    if (!(a & (kFatAttrDirectory | kFatAttrVolumeLabel)) && size == 0 && ctx.IsDataCluster(f) && BeginsAsFolder(ctx, f))
        a |= kFatAttrDirectory;
    if (a != stored)
        RK_LOG("[FAT] entry \"%.11s\": its attributes 0x%02X are read as 0x%02X", reinterpret_cast<const char*>(e),
               stored, a);
    return a;
}

// The link of cluster c of a chain that still needs left clusters. Where the two copies of the
// table differ, one was damaged: the one whose chain from there holds what the file still needs.
uint32_t NextLink(FatWalkContext& ctx, uint32_t c, uint64_t left) {
    const uint32_t n = ctx.fat->NextCluster(c);
    if (!ctx.other) return n;
    const uint32_t m = ctx.other->NextCluster(c);
    if (m == n || !TailFits(ctx, ctx.other, m, left)) return n;
    // Both hold it: the one that goes on to the cluster after (a changed link jumps).
    if (TailFits(ctx, ctx.fat, n, left) && !(m == c + 1 && n != c + 1)) return n;
    RK_LOG("[FAT] the copies of the FAT differ at cluster %u (0x%X, 0x%X): the second copy's link is followed", c, n,
           m);
    return m;
}

// A live FAT32 entry whose first cluster lies past the volume: its high half may be what changed. Of
// the clusters with the same low half (volumes of up to 64 times 65 536 clusters), the one that is
// what the entry stands for, when only one is, is taken: a folder's first cluster begins with "."
// naming it; a file's heads a chain that holds exactly its size.
uint32_t RepairHighHalf(FatWalkContext& ctx, const uint8_t* e, bool folder, uint32_t f) {
    if (ctx.kind != FAT_VARIANT_32 || !ctx.fat || ctx.IsRecordedCluster(f)) return f;
    const uint64_t last = static_cast<uint64_t>(ctx.clusterCount) + 1;
    const uint64_t clusterBytes = static_cast<uint64_t>(ctx.sectorsPerCluster) * ctx.sectorSize;
    const uint32_t size = LoadLE32(e + kFatEntryFileSize);
    if ((last >> 16) >= 64 || clusterBytes == 0 || (!folder && size == 0)) return f;
    uint32_t found = 0;
    int count = 0;
    for (uint64_t high = 0; (high << 16) <= last; ++high) {
        const uint32_t c = static_cast<uint32_t>(high << 16 | (f & 0xFFFF));
        if (!ctx.IsDataCluster(c) || ctx.MarkedUnused(c)) continue;
        const bool head = ctx.named.empty() || c >= ctx.named.size() || !ctx.named[c];
        if (folder ? BeginsAsFolder(ctx, c) : head && TailFits(ctx, ctx.fat, c, (size + clusterBytes - 1) / clusterBytes)) {
            found = c;
            ++count;
        }
    }
    if (count != 1) return f;
    RK_LOG("[FAT] entry \"%.11s\" names cluster 0x%X, past the volume: its high half changed; cluster %u is taken",
           reinterpret_cast<const char*>(e), f, found);
    return found;
}

// Whether a live file's first cluster is its own: in use in the table, and either the head of a
// chain or, where a link names it, the start of what the file needs exactly (then that link was
// cross-linked into it, and it is a head). Otherwise the entry's cluster was changed.
uint32_t OrphanSuccessor(FatWalkContext& ctx, uint32_t c, uint64_t left) {
    const uint32_t next = c + 1;
    if (!ctx.IsDataCluster(next) || next >= ctx.named.size() || next >= ctx.heads.size() || ctx.named[next] ||
        ctx.heads[next] || ctx.visited.count(next) || ctx.MarkedUnused(next) || !TailFits(ctx, ctx.fat, next, left))
        return 0;
    return next;
}

bool FirstClusterIsItsOwn(FatWalkContext& ctx, uint32_t f, uint64_t needed) {
    if (!ctx.fat) return true;
    if (ctx.MarkedUnused(f)) {
        RK_LOG("[FAT] a live file's first cluster, %u, is marked free or bad in the FAT", f);
        return false;
    }
    if (ctx.named.empty() || f >= ctx.named.size() || !ctx.named[f]) return true;
    if (!TailFits(ctx, ctx.fat, f, needed)) {
        RK_LOG("[FAT] a live file's first cluster, %u, lies inside another chain, which does not hold what the file "
               "needs", f);
        return false;
    }
    return true;
}

bool InsideWholeChain(FatWalkContext& ctx, uint32_t c) {
    if (!ctx.fat || !ctx.IsDataCluster(c)) return false;
    const uint64_t end = static_cast<uint64_t>(ctx.clusterCount) + 2;
    if (ctx.namedBy.empty()) {
        // Four bytes a cluster: on a volume of hundreds of millions of clusters there may be no
        // room, and then the first cluster is taken as the file's, as it was before this check.
        try {
            ctx.namedBy.assign(end, 0);
        } catch (const std::bad_alloc&) {
            RK_LOG("[FAT] no memory to tell whether a first cluster lies in another file's chain");
            return false;
        }
        // A link the two copies of the table differ on may be the changed one: it names nothing here.
        for (uint32_t from = 2; from < end; ++from) {
            const uint32_t to = ctx.fat->NextCluster(from);
            if (ctx.IsDataCluster(to) && (!ctx.other || ctx.other->NextCluster(from) == to)) ctx.namedBy[to] = from;
        }
    }
    // Back to the chain's head; a chain that loops has none.
    for (uint64_t steps = 0; ctx.namedBy[c] != 0; ++steps) {
        if (steps >= end) return false;
        c = ctx.namedBy[c];
    }
    return c < ctx.whole.size() && ctx.whole[c];
}

bool HoldsFolderEntries(FatWalkContext& ctx, uint32_t c) {
    std::unique_ptr<uint8_t[]> sector(new (std::nothrow) uint8_t[ctx.sectorSize]);
    if (!sector || !ctx.device->ReadSectors(sector.get(), ctx.ClusterSector(c), 1)) return false;
    const uint8_t* s = sector.get();
    for (size_t at = 0; at + kFatEntrySize <= ctx.sectorSize; at += kFatEntrySize) {
        const uint8_t* e = s + at;
        if (e[0] == 0x00) {
            for (size_t k = at; k < ctx.sectorSize; ++k)
                if (s[k]) return false;
            return true;
        }
        if (e[kFatEntryAttributes] == kFatAttrLongName) {
            const uint8_t order = e[0] & 0x3F;
            if (LoadLE16(e + kFatEntryClusterLow) != 0 || (e[0] != kFatDeletedMark && (order == 0 || order > 20)))
                return false;
            continue;
        }
        if ((e[0] != kFatDeletedMark && !ShortNameBytesValid(e)) ||
            !(IsPlausibleFatEntry(e, false) || PlausibleButForTimes(e)))
            return false;
    }
    return true;
}

bool LostFirstByte(const uint8_t* bytes, size_t length, size_t offset) {
    uint8_t e[kFatEntrySize];
    std::memcpy(e, bytes + offset, kFatEntrySize);
    e[0] = '_';
    if (e[kFatEntryAttributes] == kFatAttrLongName || !ShortNameBytesValid(e) || !IsPlausibleFatEntry(e, true))
        return false;
    for (size_t at = offset + kFatEntrySize; at + kFatEntrySize <= length; at += kFatEntrySize) {
        const uint8_t* next = bytes + at;
        if (next[0] == 0x00) return false;
        if (next[0] != kFatDeletedMark && next[kFatEntryAttributes] != kFatAttrLongName && ShortNameBytesValid(next) &&
            IsPlausibleFatEntry(next, false))
            return true;
    }
    return false;
}

bool LostLastFirstByte(FatWalkContext& ctx, const uint8_t* slot, uint32_t directoryCluster) {
    if (!ctx.fat || ctx.named.empty()) return false;
    uint8_t e[kFatEntrySize];
    std::memcpy(e, slot, kFatEntrySize);
    e[0] = '_';
    if (e[kFatEntryAttributes] == kFatAttrLongName || !ShortNameBytesValid(e) || !IsPlausibleFatEntry(e, true))
        return false;
    const uint32_t f = ctx.EntryCluster(e);
    if (!ctx.IsDataCluster(f) || f >= ctx.named.size() || f >= ctx.heads.size() || ctx.named[f] || ctx.heads[f] ||
        ctx.visited.count(f) || ctx.MarkedUnused(f))
        return false;
    if (e[kFatEntryAttributes] & kFatAttrDirectory) {
        const bool root = directoryCluster < 2 || (ctx.kind == FAT_VARIANT_32 && directoryCluster == ctx.rootCluster);
        uint32_t up = 0;
        return BeginsAsFolder(ctx, f, &up) &&
               (root ? up == 0 || (ctx.kind == FAT_VARIANT_32 && up == ctx.rootCluster) : up == directoryCluster);
    }
    const uint64_t clusterBytes = static_cast<uint64_t>(ctx.sectorsPerCluster) * ctx.sectorSize;
    const uint32_t size = LoadLE32(e + kFatEntryFileSize);
    return size != 0 && clusterBytes != 0 && TailFits(ctx, ctx.fat, f, (size + clusterBytes - 1) / clusterBytes);
}

uint32_t HolderKey(const FatWalkContext& ctx, CFATFileNode* node) {
    const uint64_t holder = node->Properties() ? node->Properties()->DirectoryCluster() : 0;
    return holder < 2 || (ctx.kind == FAT_VARIANT_32 && holder == ctx.rootCluster) ? 0 : static_cast<uint32_t>(holder);
}

namespace {

constexpr size_t kMostLostFolderLooks = 4096;  // sectors read looking for lost folders

// Chains no link and no live entry leads to and no folder read holds, that begin as a folder does,
// by the folder their ".." names.
std::multimap<uint32_t, uint32_t> FindLostFolders(FatWalkContext& ctx) {
    std::multimap<uint32_t, uint32_t> lost;
    if (!ctx.fat || ctx.named.empty()) return lost;
    std::unique_ptr<uint8_t[]> sector(new (std::nothrow) uint8_t[ctx.sectorSize]);
    if (!sector || ctx.sectorSize < 2 * kFatEntrySize) return lost;
    size_t looked = 0;
    const size_t last = std::min(ctx.named.size(), ctx.heads.size());
    for (uint32_t c = 2; c < last && looked < kMostLostFolderLooks; ++c) {
        if (ctx.named[c] || ctx.heads[c] || ctx.visited.count(c) || ctx.MarkedUnused(c)) continue;
        ++looked;
        const uint8_t* e = sector.get();
        if (!ctx.device->ReadSectors(sector.get(), ctx.ClusterSector(c), 1) || !IsDotEntry(e) ||
            ctx.EntryCluster(e) != c || !IsDotDotEntry(e + kFatEntrySize))
            continue;
        uint32_t up = ctx.EntryCluster(e + kFatEntrySize);
        if (ctx.kind == FAT_VARIANT_32 && up == ctx.rootCluster) up = 0;
        lost.emplace(up, c);
    }
    return lost;
}

}  // namespace

bool PlaceLostFolders(FatWalkContext& ctx) {
    if (ctx.unplaced.empty()) return true;
    std::vector<FatWalkContext::UnplacedFolder> unplaced;
    unplaced.swap(ctx.unplaced);
    std::multimap<uint32_t, uint32_t> lost = FindLostFolders(ctx);
    std::vector<uint32_t> placed(unplaced.size(), 0);
    auto take = [&](uint32_t key, uint32_t cluster) {
        for (auto it = lost.lower_bound(key); it != lost.end() && it->first == key; ++it)
            if (it->second == cluster) {
                lost.erase(it);
                return true;
            }
        return false;
    };
    // An entry that names a child of a lost folder (its cluster's ".." names that folder) is that
    // folder's; then, of the rest, one entry and one lost folder under the same folder are each other.
    for (size_t i = 0; i < unplaced.size(); ++i)
        if (unplaced[i].fallbackUp && take(HolderKey(ctx, unplaced[i].node), unplaced[i].fallbackUp))
            placed[i] = unplaced[i].fallbackUp;
    std::map<uint32_t, int> byHolder;
    for (size_t i = 0; i < unplaced.size(); ++i)
        if (!placed[i]) ++byHolder[HolderKey(ctx, unplaced[i].node)];
    for (size_t i = 0; i < unplaced.size(); ++i) {
        const uint32_t key = HolderKey(ctx, unplaced[i].node);
        if (!placed[i] && byHolder[key] == 1 && lost.count(key) == 1) placed[i] = lost.find(key)->second;
    }
    // A fallback whose ".." names another folder than the entry's holder is left to an entry that
    // folder holds and that names the same cluster.
    auto yields = [&](size_t i) {
        const FatWalkContext::UnplacedFolder& u = unplaced[i];
        for (size_t j = 0; u.fallbackUp && j < unplaced.size(); ++j)
            if (j != i && !placed[j] && unplaced[j].fallback == u.fallback && HolderKey(ctx, unplaced[j].node) == u.fallbackUp)
                return true;
        return false;
    };
    for (size_t i = 0; i < unplaced.size(); ++i) {
        const FatWalkContext::UnplacedFolder& u = unplaced[i];
        if (placed[i] && !ctx.visited.count(placed[i])) {
            RK_LOG("[FAT] folder \"%s\": its entry names no folder of its own; the lost folder at cluster %u, whose "
                   "\"..\" names the folder that holds the entry, is read as it", FatNodePath(u.node).c_str(), placed[i]);
            ReadDirectoryChain(ctx, u.node, placed[i], false);
        } else if (u.fallback && !ctx.visited.count(u.fallback) && !yields(i)) {
            RK_LOG("[FAT] folder \"%s\": no lost folder is it; its first cluster %u is read as it, whatever its "
                   "\"..\" says", FatNodePath(u.node).c_str(), u.fallback);
            ctx.fallbackRead = u.fallback;
            ReadDirectoryChain(ctx, u.node, u.fallback, false);
            ctx.fallbackRead = 0;
        } else {
            SayReadInPart("%s", u.loss.c_str());
        }
    }
    const bool whole = ReadQueuedDirectories(ctx);
    for (const FatWalkContext::UnplacedFolder& u : ctx.unplaced) SayReadInPart("%s", u.loss.c_str());
    ctx.unplaced.clear();
    return whole;
}

namespace {

constexpr size_t kMostOrphans = 4;  // chains looked at as a changed entry's own
constexpr size_t kMostFolderBytesRead = 65536 * 32;  // a folder holds at most 65 536 entries

// Heads of chains in use that no link and no entry leads to and no folder read holds, each holding
// exactly needed clusters: what a live entry whose cluster was changed held.
std::vector<uint32_t> OrphanChains(FatWalkContext& ctx, uint64_t needed) {
    std::vector<uint32_t> found;
    if (!ctx.fat || ctx.named.empty()) return found;
    const size_t last = std::min(ctx.named.size(), ctx.heads.size());
    for (uint32_t c = 2; c < last && found.size() < kMostOrphans; ++c)
        if (!ctx.named[c] && !ctx.heads[c] && !ctx.visited.count(c) && !ctx.MarkedUnused(c) &&
            TailFits(ctx, ctx.fat, c, needed))
            found.push_back(c);
    return found;
}

// The first clusters of the live files that hold data in the folder whose first cluster is d (below
// 2: a fixed root), in the order of their entries.
std::vector<int64_t> FolderFileClusters(FatWalkContext& ctx, uint32_t d) {
    std::vector<int64_t> out;
    std::vector<uint8_t> bytes;
    const uint64_t clusterBytes = static_cast<uint64_t>(ctx.sectorsPerCluster) * ctx.sectorSize;
    if (clusterBytes == 0) return out;
    try {
        if (d < 2) {
            bytes.resize(static_cast<size_t>(ctx.rootSectors) * ctx.sectorSize);
            if (bytes.empty() || !ctx.device->ReadSectors(bytes.data(), ctx.rootStart, ctx.rootSectors)) return out;
        } else {
            for (uint32_t c = d; ctx.IsDataCluster(c) && bytes.size() < kMostFolderBytesRead;
                 c = ctx.fat->NextCluster(c)) {
                const size_t at = bytes.size();
                bytes.resize(at + clusterBytes);
                if (!ctx.device->ReadSectors(bytes.data() + at, ctx.ClusterSector(c), ctx.sectorsPerCluster)) {
                    bytes.resize(at);
                    break;
                }
            }
        }
        for (size_t at = 0; at + kFatEntrySize <= bytes.size(); at += kFatEntrySize) {
            const uint8_t* e = bytes.data() + at;
            if (e[0] == 0x00) break;
            if (e[0] == kFatDeletedMark || e[0] == '.' || e[kFatEntryAttributes] == kFatAttrLongName ||
                (e[kFatEntryAttributes] & (kFatAttrDirectory | kFatAttrVolumeLabel)) ||
                LoadLE32(e + kFatEntryFileSize) == 0)
                continue;
            out.push_back(ctx.EntryCluster(e));
        }
    } catch (const std::bad_alloc&) {
        out.clear();
    }
    return out;
}

// Whether the file at i of a folder's first clusters (-1: a file with none) lies after the file
// before it and before the one after it that have one.
bool InWriteOrder(const std::vector<int64_t>& firsts, size_t i) {
    if (firsts[i] < 0) return true;
    for (size_t j = i; j-- > 0;)
        if (firsts[j] >= 0) {
            if (firsts[j] >= firsts[i]) return false;
            break;
        }
    for (size_t j = i + 1; j < firsts.size(); ++j)
        if (firsts[j] >= 0) return firsts[i] < firsts[j];
    return true;
}

}  // namespace

// Writers hand clusters out forward, and a folder's entries are made in the order its files are
// written: a folder's files' first clusters mostly rise with their entries. Each reading (the first
// file keeps x and the other holds an orphaned chain, or the other way round; with no orphaned
// chain, the other is lost) is tried on the folders of both; one alone that keeps both in order
// decides. A volume whose files lie in no order decides nothing, and both are refused.
int DecideTwins(FatWalkContext& ctx, CFATFileNode* first, uint32_t secondFolder, uint32_t x, uint64_t needed,
                uint32_t* orphan) {
    *orphan = 0;
    if (!ctx.fat || !first->Properties()) return -1;
    const uint32_t firstFolder = static_cast<uint32_t>(first->Properties()->DirectoryCluster());
    const bool together = firstFolder == secondFolder;
    std::vector<int64_t> a = FolderFileClusters(ctx, firstFolder);
    std::vector<int64_t> b = together ? a : FolderFileClusters(ctx, secondFolder);
    // The first file's entry is the first that names x in its folder; the other's the next one
    // there, or the first in its own.
    const auto at = [x](const std::vector<int64_t>& v, size_t from) {
        for (size_t i = from; i < v.size(); ++i)
            if (v[i] == x) return i;
        return v.size();
    };
    const size_t ia = at(a, 0), ib = at(b, together ? ia + 1 : 0);
    if (ia >= a.size() || ib >= b.size()) return -1;
    const auto holds = [&](int64_t firstAt, int64_t secondAt) {
        std::vector<int64_t> p = a, q = b;
        p[ia] = firstAt;
        (together ? p : q)[ib] = secondAt;
        return InWriteOrder(p, ia) && (together ? InWriteOrder(p, ib) : InWriteOrder(q, ib));
    };
    const std::vector<uint32_t> orphans = OrphanChains(ctx, needed);
    int owner = -1, readings = 0;
    for (uint32_t o : orphans) {
        if (holds(x, o)) owner = 0, *orphan = o, ++readings;
        if (holds(o, x)) owner = 1, *orphan = o, ++readings;
    }
    if (orphans.empty()) {
        if (holds(x, -1)) owner = 0, ++readings;
        if (holds(-1, x)) owner = 1, ++readings;
    }
    if (readings == 1) return owner;
    *orphan = 0;
    return -1;
}
