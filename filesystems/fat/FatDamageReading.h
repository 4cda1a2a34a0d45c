#pragma once
#include <cstdint>

#include "filesystems/fat/FatDirectoryReader.h"
#include "filesystems/fat/IFATTable.h"

// What a walk over a FAT volume makes of damage it can see through: an entry, a link or a folder
// whose other parts, or the other copy of the table, say what it was.

inline bool IsBadLink(const FatWalkContext& ctx, uint32_t v) {
    return v == FAT_CLUSTER_BAD || (ctx.kind == 0 && v == FAT12_CLUSTER_BAD);
}

// Whether the chain from cluster n ends in an end mark after exactly left clusters: the clusters a
// file still needs, as the chain that truly holds them gives them.
template <typename Table>
inline bool TailFits(const FatWalkContext& ctx, Table* table, uint32_t n, uint64_t left) {
    uint64_t k = 0;
    uint32_t c = n;
    for (; ctx.IsDataCluster(c); c = table->NextCluster(c))
        if (++k > left) return false;
    return k == left && c >= FAT_CLUSTER_END;
}

// A name field that is name11 but for one byte at most: a dot entry that a damaged byte changed.
bool NameFieldNear(const uint8_t* entry, const char* name11);
// Whether cluster c begins as a folder does: "." naming c itself, then ".." (whose cluster up
// receives, when given).
bool BeginsAsFolder(FatWalkContext& ctx, uint32_t c, uint32_t* up = nullptr);
// A live entry's attributes, as far as what it names can tell them (see the definition).
uint8_t LiveEntryAttributes(FatWalkContext& ctx, const uint8_t* e, uint32_t f, bool inRoot);
// The link of cluster c of a chain that still needs left clusters, from whichever copy of the table
// holds it where the two differ.
uint32_t NextLink(FatWalkContext& ctx, uint32_t c, uint64_t left);
// A live FAT32 entry's first cluster f, with its high half put right when that alone was changed.
uint32_t RepairHighHalf(FatWalkContext& ctx, const uint8_t* e, bool folder, uint32_t f);
// The cluster after c, when no link names it, no entry starts there, it is in use and its chain
// holds exactly left clusters: where a chain whose link at c broke goes on; else 0.
uint32_t OrphanSuccessor(FatWalkContext& ctx, uint32_t c, uint64_t left);
// Whether a live file's first cluster, of a file needing so many clusters, is its own.
bool FirstClusterIsItsOwn(FatWalkContext& ctx, uint32_t f, uint64_t needed);
// Whether cluster c, which a link names, lies in the chain of a live file that holds that file whole.
bool InsideWholeChain(FatWalkContext& ctx, uint32_t c);
// Whether cluster c, read as part of a live folder, holds what a folder's does past its first
// cluster: entries, up to a never-used slot after which the sector is empty (writers clear a
// folder's new clusters). A file's data does not read so; a cluster of zeros does, and then which
// claim holds is not known.
bool HoldsFolderEntries(FatWalkContext& ctx, uint32_t c);
// Whether the never-used slot at offset of a folder's bytes holds an entry but for its first byte
// (with '_' there: a name as writers make them, plausible, a cluster and a size that agree) and a
// live entry follows it before any other never-used slot: then that byte was lost.
bool LostFirstByte(const uint8_t* bytes, size_t length, size_t offset);
// Whether the never-used slot at offset, after which no live entry follows, holds an entry but for
// its first byte that the volume vouches for: a folder whose cluster begins as one, its ".." naming
// the folder that holds the slot (directoryCluster), or a file whose first cluster heads a chain in
// use that no link and no entry leads to and that holds exactly its size. Then that byte was lost.
bool LostLastFirstByte(FatWalkContext& ctx, const uint8_t* slot, uint32_t directoryCluster);
// What the ".." of a folder whose entry is the node's names: the first cluster of the folder that
// holds the entry, 0 for the root.
uint32_t HolderKey(const FatWalkContext& ctx, CFATFileNode* node);
// Reads each of ctx.unplaced from the lost folder that is it (see ReadVolumeTree) and says the loss
// of the others; false when told to stop.
bool PlaceLostFolders(FatWalkContext& ctx);
// Of two live files whose entries name one first cluster x, from which a chain holds each whole
// (needed clusters), one entry's cluster was changed: which one keeps x (0: the one met first,
// named by first; 1: the other, held by the folder at secondFolder; -1: not known), and in *orphan
// the chain that is the other one's (0: none, it is lost). Decided only when one reading alone
// keeps both files' first clusters in the order writers hand clusters out (see the definition).
int DecideTwins(FatWalkContext& ctx, CFATFileNode* first, uint32_t secondFolder, uint32_t x, uint64_t needed,
                uint32_t* orphan);
