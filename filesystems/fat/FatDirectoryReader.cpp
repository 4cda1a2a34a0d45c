#include "filesystems/fat/FatDirectoryReader.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <new>

#include "media_recovery/file_model/CDataRunList.h"
#include "filesystems/fat/CDoubleFATTable.h"
#include "filesystems/fat/CFATFileNode.h"
#include "filesystems/fat/FatBootSector.h"
#include "filesystems/fat/FatDamageReading.h"
#include "filesystems/fat/FatDirectoryEntry.h"
#include "media_recovery/file_model/IDirecotryTreeBuilder.h"
#include "filesystems/fat/IFATTable.h"
#include "filesystems/frame/IFileSystemSearchController.h"
#include "filesystems/frame/ReadInPart.h"
#include "sqlite_recovery/framework/ByteOrder.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "sqlite_recovery/framework/IStorageDevice.h"
#include "sqlite_recovery/framework/Logger.h"

namespace {

uint64_t g_emptyFileNumber = kFirstEmptyFileNumber;

constexpr uint32_t kGroupSectors = 128;     // most sectors one directory read covers
constexpr uint32_t kBufferSectors = 130;    // a group and a carried long-name run
constexpr size_t kMaxCarriedBytes = 1023;
constexpr uint64_t kMostFolderBytes = 65536 * 32;  // a folder holds at most 65 536 entries

// The directory's own first two entries: "." naming the directory itself and "..". A deleted
// directory's clusters may since belong to another directory; its ".." tells them apart.
bool DotEntriesFit(const FatWalkContext& ctx, const uint8_t* entries, CFATFileNode* dir, uint32_t first) {
    if (!IsDotEntry(entries) || !IsDotDotEntry(entries + kFatEntrySize)) return false;
    if (ctx.EntryCluster(entries) != first) return false;
    if (dir && dir->IsDeleted() && dir->Properties()) {
        uint64_t holder = dir->Properties()->DirectoryCluster();
        uint64_t expected = (holder < 2 || (ctx.kind == 2 && holder == ctx.rootCluster)) ? 0 : holder;
        if (ctx.EntryCluster(entries + kFatEntrySize) != expected) return false;
    }
    return true;
}

bool NameFieldIs(const uint8_t* entry, const char* name11) { return std::memcmp(entry, name11, 11) == 0; }

// Reads count sectors from first; a sector that cannot be read (a bad one, one past the device's
// end) is left as zeros, which read as never-used slots. Returns the sectors not read.
uint64_t ReadAsFarAsItGoes(FatWalkContext& ctx, uint8_t* out, uint64_t first, uint64_t count, bool* firstRead) {
    *firstRead = true;
    if (ctx.device->ReadSectors(out, first, count)) return 0;
    const uint64_t end = ctx.device->GetSectorCount();
    uint64_t missed = 0;
    for (uint64_t k = 0; k < count; ++k) {
        uint8_t* at = out + k * ctx.sectorSize;
        if (first + k < end && ctx.device->ReadSectors(at, first + k, 1)) continue;
        std::memset(at, 0, ctx.sectorSize);
        ++missed;
        if (k == 0) *firstRead = false;
    }
    return missed;
}

// An entry's name field as it stands, bytes that print as nothing shown as '?'.
std::string PrintableName11(const uint8_t* e) {
    std::string name(reinterpret_cast<const char*>(e), 11);
    for (char& ch : name)
        if (static_cast<unsigned char>(ch) < 0x20 || static_cast<unsigned char>(ch) >= 0x7F) ch = '?';
    return name;
}

std::string FolderName(CFATFileNode* dir) { return dir ? "folder \"" + FatNodePath(dir) + "\"" : "the root folder"; }

}  // namespace

FatWalkContext::FatWalkContext() {}
FatWalkContext::~FatWalkContext() {}

uint32_t FatWalkContext::EntryCluster(const uint8_t* entry) const {
    return kind == FAT_VARIANT_32 ? FatEntryFirstCluster(entry) : LoadLE16(entry + kFatEntryClusterLow);
}

bool FatWalkContext::MarkedUnused(uint32_t c) const {
    const uint32_t v = fat->NextCluster(c);
    if (v == FAT_CLUSTER_FREE) return !(usedCopy && usedCopy->EntryMissed(c));
    return IsBadLink(*this, v);
}

std::string FatNodePath(CFATFileNode* node) {
    std::string path;
    for (IFileNode* n = node; n; n = n->GetParent()) {
        const char* name = n->GetName();
        path = std::string(name ? name : "") + (path.empty() ? "" : "/") + path;
    }
    return path;
}

void MapLinks(FatWalkContext& ctx, uint32_t tableEntries, bool findJoined) {
    ctx.joined.clear();
    ctx.named.clear();
    ctx.heads.clear();
    ctx.whole.clear();
    if (!ctx.fat) return;
    const uint64_t last = std::min<uint64_t>(tableEntries, static_cast<uint64_t>(ctx.clusterCount) + 2);
    ctx.heads.assign(last, false);
    ctx.whole.assign(last, false);
    if (ctx.kind == 2 && ctx.rootCluster < last) ctx.heads[ctx.rootCluster] = true;
    if (ctx.usedCopy && !findJoined) {
        ctx.named = ctx.usedCopy->Named();  // its test walked every link
        return;
    }
    ctx.named.assign(last, false);
    for (uint32_t c = 2; c < last; ++c) {
        const uint32_t v = ctx.fat->NextCluster(c);
        if (v < 2 || v >= last || v == c) continue;
        if (findJoined && ctx.named[v]) ctx.joined.insert(v);
        ctx.named[v] = true;
    }
    if (!ctx.joined.empty())
        RK_LOG("[FAT] %zu clusters are each named by the links of two chains", ctx.joined.size());
}

void SayVolumePastDeviceEnd(uint64_t volumeStart, uint64_t heldSectors, uint64_t recordedSectors) {
    SayReadInPart("FAT: the volume at sector %llu runs past the end of the device: %llu of its %llu sectors are there; "
                  "what lies past them is lost", static_cast<unsigned long long>(volumeStart),
                  static_cast<unsigned long long>(heldSectors), static_cast<unsigned long long>(recordedSectors));
}

void PrepareVolumeWalk(FatWalkContext& ctx, CDoubleFATTable* fat, uint64_t recordedSectors, uint64_t heldSectors) {
    IRealFATTable* used = fat ? fat->Used() : nullptr;
    ctx.fat = used ? fat : nullptr;  // no copy: no links to follow
    ctx.usedCopy = used;
    ctx.other = used ? fat->Other() : nullptr;
    // A FAT12 copy's test looks at no chain; it is small enough to look at every link.
    if (used) MapLinks(ctx, used->EntryCount(), !used->ChainsChecked() || ctx.kind == 0);
    const unsigned long long at = ctx.volumeStart;
    if (heldSectors < recordedSectors && (ctx.recordedClusterCount != 0 || ctx.clusterCount == 0))
        SayVolumePastDeviceEnd(ctx.volumeStart, heldSectors, recordedSectors);
    if (!used)
        SayReadInPart("FAT: the volume at sector %llu: no copy of its FAT can be read or trusted: each folder is read "
                      "as its first cluster alone, each file as following on from its first cluster", at);
    else if (used->MissedSectors())
        SayReadInPart("FAT: the volume at sector %llu: %zu sectors of its FAT cannot be read in either copy (bad, or "
                      "past the end of the device): the chains through them end there", at, used->MissedSectors());
}

void ResetEmptyFileCounter() { g_emptyFileNumber = kFirstEmptyFileNumber; }
uint64_t NextEmptyFileNumber() { return g_emptyFileNumber++; }

namespace {

// Runs already finished for one file, by start, to see a chain come back to a cluster it held.
class HeldClusters {
public:
    void Add(uint64_t start, uint64_t length) { runs_.emplace(start, start + length); }
    bool Holds(uint64_t c) const {
        if (runs_.empty()) return false;
        auto it = runs_.upper_bound(c);
        return it != runs_.begin() && c < std::prev(it)->second;
    }

private:
    std::map<uint64_t, uint64_t> runs_;
};

// Why the chain ends at the link n of its cluster c (left clusters still needed; loop: n is a
// cluster the chain held), or null when it goes on.
const char* LinkBreak(FatWalkContext& ctx, uint32_t c, uint32_t n, uint64_t left, bool loop) {
    if (!ctx.IsDataCluster(n)) return "the link names no cluster";
    // A cluster of a chain is in use: a link to a free or bad one was changed.
    if (ctx.MarkedUnused(n)) return "it names a cluster the FAT marks free or bad";
    if (loop) return "it comes back to a cluster it held";
    if (n < ctx.heads.size() && ctx.heads[n]) return "it runs into the first cluster of another file or folder";
    // Two chains join here: the one whose length after the join is what its file still needs holds
    // the clusters; when both do, the one that comes to it from the cluster before.
    if (!ctx.joined.empty() && ctx.joined.count(n)) {
        if (!TailFits(ctx, ctx.fat, n, left)) return "it runs into clusters another chain holds";
        if (n != c + 1 && ctx.fat->NextCluster(n - 1) == n) return "it jumps into clusters another chain reaches in turn";
    }
    return nullptr;
}

}  // namespace

IDataRunList* BuildFatFileRuns(FatWalkContext& ctx, uint32_t firstCluster, uint64_t size, bool deleted,
                               uint64_t* keptBytes, bool* fits) {
    if (fits) *fits = true;
    const uint64_t clusterBytes = static_cast<uint64_t>(ctx.sectorsPerCluster) * ctx.sectorSize;
    if (size == 0 || clusterBytes == 0 || !ctx.IsDataCluster(firstCluster)) {
        if (size != 0 && keptBytes && ctx.IsPastDeviceEnd(firstCluster)) *keptBytes = 0;
        return nullptr;
    }
    const uint64_t needed = (size + clusterBytes - 1) / clusterBytes;
    if (fits && !deleted) {
        if (!FirstClusterIsItsOwn(ctx, firstCluster, needed)) {
            if (keptBytes) *keptBytes = 0;
            return nullptr;
        }
        // A first cluster that a link names: either that link was cross-linked into this file, or
        // this entry's cluster was changed to one inside another chain. Which is known once every
        // file whose chain holds it whole is: kept back till then.
        if (ctx.deferring && firstCluster < ctx.named.size() && ctx.named[firstCluster]) {
            *fits = false;
            return nullptr;
        }
        if (firstCluster < ctx.heads.size()) ctx.heads[firstCluster] = true;
    }
    const uint64_t volumeEnd = static_cast<uint64_t>(ctx.clusterCount) + 2;  // one past the last cluster
    CDataRunList* list = CreateDataRunList();
    if (!list) return nullptr;
    uint64_t taken = 0;

    if (deleted) {
        // The chain is gone: take the data as contiguous, stepping over clusters marked bad, up to the
        // volume's end.
        for (uint64_t c = firstCluster; taken < needed && ctx.IsDataCluster(c); ++c) {
            if (ctx.fat && IsBadLink(ctx, ctx.fat->NextCluster(static_cast<uint32_t>(c)))) continue;
            DataRun run(static_cast<int64_t>(c - 2), 1);
            list->AppendRun(&run);
            ++taken;
        }
        if (taken == 0) {
            list->Release();
            return nullptr;
        }
    } else {
        // Live file: follow the chain for as many clusters as the size needs. The chain ends where
        // its link does not name a cluster of the volume (an end mark, a free or bad entry, a value
        // past the volume or the device's end) or comes back to a cluster it held: what follows on the disk is another
        // file's, so the file is what the chain held. Only without a table is the data taken as
        // following on from the first cluster, up to the volume's end.
        HeldClusters held;
        uint64_t runStart = firstCluster, runLength = 1;
        uint32_t c = firstCluster;
        taken = 1;
        while (taken < needed) {
            if (!ctx.fat) {
                const uint64_t more = std::min(needed - taken, volumeEnd - (runStart + runLength));
                runLength += more;
                taken += more;
                break;
            }
            uint32_t n = NextLink(ctx, c, needed - taken);
            const bool loop = ctx.IsDataCluster(n) && ((n >= runStart && n < runStart + runLength) || held.Holds(n));
            if (const char* why = LinkBreak(ctx, c, n, needed - taken, loop)) {
                // Once every first cluster is known, a broken link whose cluster's successor on the
                // disk heads a chain no one holds, holding what the file still needs, lost that
                // successor: the file goes on there.
                const uint32_t next = ctx.finishing ? OrphanSuccessor(ctx, c, needed - taken) : 0;
                if (next || n < FAT_CLUSTER_END)  // an end mark is where a chain ends, and no news
                    RK_LOG("[FAT] the chain from cluster %u, at cluster %u (link 0x%X): %s; %s", firstCluster, c, n, why,
                           next ? "it goes on at the cluster after, which no chain holds and which holds the rest"
                                : "it ends there");
                if (!next) break;
                n = next;
            }
            if (n == c + 1) {
                ++runLength;
            } else {
                DataRun run(static_cast<int64_t>(runStart - 2), runLength);
                list->AppendRun(&run);
                held.Add(runStart, runLength);
                runStart = n;
                runLength = 1;
            }
            ++taken;
            c = n;
        }
        DataRun run(static_cast<int64_t>(runStart - 2), runLength);
        list->AppendRun(&run);
        if (fits && ctx.fat)
            *fits = taken == needed && (ctx.fat->NextCluster(c) >= FAT_CLUSTER_END ||
                                        (ctx.other && ctx.other->NextCluster(c) >= FAT_CLUSTER_END));
    }
    if (taken < needed && keptBytes) *keptBytes = taken * clusterBytes;
    return list;
}

namespace {

// A file's runs, its size cut to what they hold (and it marked as holding less than its entry
// said); null with fits false when its chain does not hold what its size needs and the walk can
// come back to it.
IDataRunList* FileRuns(FatWalkContext& ctx, CFATFileProperties* props, uint32_t f, uint32_t directoryCluster,
                       bool* fits) {
    uint64_t kept = props->GetSize();
    IDataRunList* runs = BuildFatFileRuns(ctx, f, props->GetSize(), props->IsDeleted(), &kept, fits);
    if (!*fits && ctx.deferring) {
        if (runs) runs->Release();
        return nullptr;
    }
    if (*fits && !props->IsDeleted() && f < ctx.whole.size()) ctx.whole[f] = true;
    *fits = true;
    if (kept < props->GetSize()) {
        RK_LOG("[FAT] \"%s\" in directory at cluster %u: its size, %llu, is more than its clusters hold; %llu bytes "
               "kept", props->GetName(), directoryCluster, static_cast<unsigned long long>(props->GetSize()),
               static_cast<unsigned long long>(kept));
        props->CutSize(kept);
    }
    return runs;
}

// A node for the properties and runs, handed to the builder (or kept, without one) and to its
// parent; null when the builder refuses it or memory runs out.
CFATFileNode* AddFatNode(FatWalkContext& ctx, std::unique_ptr<CFATFileProperties> props, IDataRunList* runs,
                         CFATFileNode* parent) {
    CFATFileNode* node = new (std::nothrow) CFATFileNode;
    if (!node) {
        if (runs) runs->Release();
        return nullptr;
    }
    node->AttachProperties(props.release());
    node->SetDataRuns(runs);
    SetNodePartitionIndex(node, ctx.partitionIndex);
    if (ctx.builder) {
        if (!ctx.builder->AddNode(node, SEARCHER_FAT)) {
            node->Release();
            return nullptr;
        }
    } else {
        ctx.unowned.emplace_back(node);
    }
    if (parent) parent->AddChild(node);
    return node;
}

}  // namespace

int ParseDirectoryBuffer(FatWalkContext& ctx, const uint8_t* bytes, size_t length, CFATFileNode* parent,
                         uint32_t directoryCluster, bool stopAtBadEntry, size_t ownDotEntries) {
    const bool parentDeleted = parent && parent->IsDeleted();
    const uint64_t directorySector = directoryCluster >= 2 ? ctx.ClusterSector(directoryCluster) : ctx.rootStart;
    const size_t count = length / kFatEntrySize;
    size_t longNameStart = SIZE_MAX;
    for (size_t i = 0; i < count; ++i) {
        const size_t offset = i * kFatEntrySize;
        const uint8_t* e = bytes + offset;
        // A never-used slot: nothing of a file is in it. What follows the first is never a live
        // entry that a writer put there; so a slot that holds an entry but for its first byte, with
        // live entries after it, is a live entry whose first byte was lost (read as '_').
        uint8_t zeroed[kFatEntrySize];
        if (e[0] == 0x00) {
            if (stopAtBadEntry || parentDeleted || ctx.entriesEnded ||
                !(LostFirstByte(bytes, length, offset) || LostLastFirstByte(ctx, e, directoryCluster))) {
                longNameStart = SIZE_MAX;
                ctx.entriesEnded = true;
                continue;
            }
            std::memcpy(zeroed, e, kFatEntrySize);
            zeroed[0] = '_';
            e = zeroed;
            RK_LOG("[FAT] directory at cluster %u: entry %zu holds an entry but for its first byte, whose volume "
                   "or live entries after it vouch for it: read as \"%.11s\"", directoryCluster, i,
                   reinterpret_cast<const char*>(e));
        }
        uint32_t f = ctx.EntryCluster(e);
        // A live entry among the folder's live ones: what its attributes say is checked against
        // what it names.
        const bool live = !stopAtBadEntry && !parentDeleted && !ctx.entriesEnded && e[0] != kFatDeletedMark;
        const uint8_t attr = live ? LiveEntryAttributes(ctx, e, f, !parent) : e[kFatEntryAttributes];
        if (live && attr != kFatAttrLongName) f = RepairHighHalf(ctx, e, attr & kFatAttrDirectory, f);
        uint8_t fixed[kFatEntrySize];
        if (attr != e[kFatEntryAttributes]) {
            std::memcpy(fixed, e, kFatEntrySize);
            fixed[kFatEntryAttributes] = attr;
        }
        // Implausible fields, or a first cluster beyond the volume (an empty file's names nothing it
        // needs).
        const uint8_t* read = attr != e[kFatEntryAttributes] ? fixed : e;
        bool plausible = IsPlausibleFatEntry(read, false);
        // A live entry whose only fault is a date or a time, with a name as writers make them, is
        // that file or folder with its times unknown: a date costs nothing of its data.
        if (!plausible && live && attr != kFatAttrLongName && ShortNameBytesValid(e) && PlausibleButForTimes(read)) {
            RK_LOG("[FAT] entry \"%.11s\": its dates or times are not those of an entry; read without them",
                   reinterpret_cast<const char*>(e));
            plausible = true;
        }
        const bool holdsData = (attr & kFatAttrDirectory) || LoadLE32(e + kFatEntryFileSize) != 0;
        const bool outside = attr != kFatAttrLongName && holdsData && f > static_cast<uint64_t>(ctx.clusterCount) + 1 &&
                             !ctx.IsPastDeviceEnd(f);
        std::string loss;
        if (!plausible || outside) {
            const size_t start = longNameStart == SIZE_MAX ? offset : longNameStart;
            if (stopAtBadEntry) return static_cast<int>(length);
            // A live entry costs its file: said, by the name it has.
            if (live)
                loss = "FAT: " + FolderName(parent) + ": its entry \"" + PrintableName11(e) + "\" (\"" +
                       FatEntryName(bytes + start, (offset - start) / kFatEntrySize) + "\") is refused: " +
                       (plausible ? "its first cluster lies outside the volume"
                                  : "its times, dates or attributes are not those of an entry") +
                       "; the other entries are read";
            else
                RK_LOG("[FAT] directory at cluster %u: entry %zu is not plausible; skipped", directoryCluster, i);
            // A live folder's entry that names a cluster past the volume: a lost folder may be it.
            if (!(live && plausible && (attr & kFatAttrDirectory) && ctx.deferring)) {
                longNameStart = SIZE_MAX;
                if (!loss.empty()) SayReadInPart("%s", loss.c_str());
                continue;
            }
        }
        if (attr == kFatAttrLongName) {
            if (longNameStart == SIZE_MAX) longNameStart = offset;
            continue;
        }
        if (attr & kFatAttrVolumeLabel) {
            longNameStart = SIZE_MAX;
            continue;
        }
        if (i < ownDotEntries) {  // the directory's own "." and "..", checked by the caller
            longNameStart = SIZE_MAX;
            continue;
        }
        if (e[0] == '.') {
            // Another "." or ".." names no item; any other name that begins with '.' is one.
            const bool dotName = NameFieldIs(e, ".          ") || NameFieldIs(e, "..         ");
            RK_LOG("[FAT] directory at cluster %u: entry %zu has the odd name \"%.11s\"%s", directoryCluster, i,
                   reinterpret_cast<const char*>(e), dotName ? "; skipped" : "");
            if (dotName) {
                longNameStart = SIZE_MAX;
                continue;
            }
        }
        // A directory listing itself.
        if (f != 0 && f == directoryCluster) {
            longNameStart = SIZE_MAX;
            continue;
        }
        const size_t start = longNameStart == SIZE_MAX ? offset : longNameStart;
        longNameStart = SIZE_MAX;
        std::vector<uint8_t> run;  // the entry's long-name run and its entry, when its first byte was put back
        if (e != bytes + offset) {
            run.assign(bytes + start, bytes + offset);
            run.insert(run.end(), e, e + kFatEntrySize);
        }
        std::unique_ptr<CFATFileProperties> props(
            MakeEntryProperties(run.empty() ? bytes + start : run.data(), (offset - start) / kFatEntrySize));
        if (!props) continue;
        if (parentDeleted) props->SetFlags(static_cast<uint8_t>(props->GetFlags() | 1));
        props->SetDirectory(directoryCluster, directorySector);
        props->SetFirstCluster(f);
        props->SetAttributes(attr);
        // A live entry named by its short name alone, whose bytes no writer puts there: a byte of
        // its name was changed, and what it is called (its kind, for a file) may be lost.
        if (live && !ShortNameAsWritten(e) && ShortNameToText(e) == props->GetName())
            SayReadInPart("FAT: %s: its entry \"%s\" holds a byte that no name holds: it is read as \"%s\", which may "
                          "not be its name", FolderName(parent).c_str(), PrintableName11(e).c_str(), props->GetName());

        const bool isDirectory = attr & kFatAttrDirectory;
        IDataRunList* runs = nullptr;
        bool holdsWhole = false;  // a live file whose chain holds it whole
        if (isDirectory && !props->IsDeleted()) {
            // A live folder's clusters are its own: its extents say where, though it is never written.
            // Its first cluster is a head unless a link names it and it holds no folder (then the
            // entry's cluster was changed, and the chain through it is another's).
            if (f < ctx.heads.size() && (!ctx.named[f] || BeginsAsFolder(ctx, f))) ctx.heads[f] = true;
            runs = BuildFatFileRuns(ctx, f, ctx.fat ? kMostFolderBytes : 1, false);
        } else if (!isDirectory && props->GetSize() == 0) {
            props->SetFirstCluster(NextEmptyFileNumber());
        } else if (!isDirectory) {
            bool fits = true;
            const bool taken = !props->IsDeleted() && f < ctx.whole.size() && ctx.whole[f];
            runs = FileRuns(ctx, props.get(), f, directoryCluster, &fits);
            auto twin = fits && taken && ctx.deferring ? ctx.wholeFiles.find(f) : ctx.wholeFiles.end();
            if (twin != ctx.wholeFiles.end()) {
                // Two files whose chains would each hold them whole from one first cluster: one
                // entry's cluster was changed. Which one is decided once every file is known.
                if (runs) runs->Release();
                runs = nullptr;
                fits = false;
            }
            if (!fits) {
                // Its chain may run into the first cluster of a file not met yet: read again at the end.
                try {
                    ctx.pending.push_back({std::move(props), f, directoryCluster, parent});
                    if (twin != ctx.wholeFiles.end()) ctx.pending.back().twinOf = twin->second;
                } catch (const std::bad_alloc&) {
                }
                continue;
            }
            holdsWhole = !taken && ctx.deferring && runs && f < ctx.whole.size() && ctx.whole[f] && !props->IsDeleted();
        }
        CFATFileNode* node = AddFatNode(ctx, std::move(props), runs, parent);
        if (!node) continue;
        if (holdsWhole) {
            try {
                ctx.wholeFiles.emplace(f, node);
            } catch (const std::bad_alloc&) {
            }
        }
        // A live folder's entry that names no cluster (0, 1) holds nothing: a lost folder may be it.
        if (loss.empty() && live && isDirectory && !node->IsDeleted() && f < 2)
            loss = "FAT: folder \"" + FatNodePath(node) + "\": its entry names cluster " + std::to_string(f) +
                   ", which is no folder's: what it holds is not read";
        if (!loss.empty()) {
            if (ctx.deferring) ctx.unplaced.push_back({node, loss});
            else SayReadInPart("%s", loss.c_str());
            continue;
        }
        if (isDirectory && ctx.IsRecordedCluster(f)) {
            auto known = ctx.knownDirectories.find(f);
            if (known == ctx.knownDirectories.end()) {
                ctx.knownDirectories.emplace(f, node);
                ctx.queue.push_back(node);
            } else if (live && !node->IsDeleted() && ctx.deferring) {
                // Two live folders never share a cluster: this entry's may have changed, and a lost
                // folder may be the one it stands for; or the other's did, and the cluster is this
                // one's when the other gives it up.
                ctx.unplaced.push_back({node,
                                        "FAT: folder \"" + FatNodePath(node) + "\": its first cluster, " +
                                            std::to_string(f) + ", is that of folder \"" + FatNodePath(known->second) +
                                            "\": what it holds is not read",
                                        f});
            } else {
                RK_LOG("[FAT] folder \"%s\": its first cluster %u is that of folder \"%s\"; read once, as that one",
                       FatNodePath(node).c_str(), f, FatNodePath(known->second).c_str());
            }
        }
    }
    return longNameStart != SIZE_MAX ? static_cast<int>(longNameStart) : static_cast<int>(length);
}

bool ReadDirectoryChain(FatWalkContext& ctx, CFATFileNode* parent, uint32_t firstCluster, bool root) {
    if (!ctx.device || !ctx.IsRecordedCluster(firstCluster) || ctx.sectorsPerCluster == 0 ||
        ctx.sectorsPerCluster > kGroupSectors)
        return false;
    const size_t ss = ctx.sectorSize;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kBufferSectors * ss]);
    if (!buffer) return false;
    // What a live folder loses is said; a deleted one's clusters may hold anything by now.
    const bool said = !(parent && parent->IsDeleted());
    ctx.entriesEnded = false;
    uint64_t missed = 0;  // sectors of the folder that could not be read
    size_t carried = 0;
    uint32_t c = firstCluster;
    while (ctx.IsRecordedCluster(c)) {
        // A cluster read before: another directory's (not read again) or this chain coming back to
        // itself (what came before the loop is kept).
        if (ctx.visited.count(c)) {
            if (c != firstCluster)
                RK_LOG("[FAT] directory at cluster %u: its chain comes back to cluster %u; what came before is read",
                       firstCluster, c);
            return false;
        }
        // A group of consecutive clusters not read before, read with one call; one past the
        // device's end alone.
        uint32_t n = 1;
        uint32_t next = ctx.fat ? ctx.fat->NextCluster(c) : 0;
        while (ctx.IsDataCluster(c) && next == c + n && ctx.IsDataCluster(next) && !ctx.visited.count(next) &&
               static_cast<uint64_t>(ctx.sectorsPerCluster) * (n + 1) <= kGroupSectors) {
            ++n;
            next = ctx.fat->NextCluster(c + n - 1);
        }
        for (uint32_t k = 0; k < n; ++k) ctx.visited.emplace(c + k, parent);

        uint8_t* group = buffer.get() + carried;
        bool firstRead = true;
        missed += ReadAsFarAsItGoes(ctx, group, ctx.ClusterSector(c), static_cast<uint64_t>(n) * ctx.sectorsPerCluster,
                                    &firstRead);
        size_t ownDots = 0;
        if (c == firstCluster && firstRead) {
            if (root) {
                if (IsDotEntry(group) || IsDotDotEntry(group + kFatEntrySize)) {
                    SayReadInPart("FAT: the root folder at cluster %u begins as a subfolder does (\".\", \"..\"): "
                                      "it is not read", firstCluster);
                    return false;
                }
            } else if (DotEntriesFit(ctx, group, parent, firstCluster)) {
                ownDots = 2;
                // A live folder's ".." names the folder that holds its entry. One that names another
                // is another folder's first cluster, which this entry names by damage (or its ".."
                // was changed: it is read as this folder when no lost folder is this one).
                const uint32_t up = ctx.EntryCluster(group + kFatEntrySize);
                const uint32_t holder = parent ? HolderKey(ctx, parent) : 0;
                if (said && ctx.deferring && parent && firstCluster != ctx.fallbackRead && up != holder &&
                    !(ctx.kind == FAT_VARIANT_32 && holder == 0 && up == ctx.rootCluster)) {
                    for (uint32_t k = 0; k < n; ++k) ctx.visited.erase(c + k);
                    auto known = ctx.knownDirectories.find(firstCluster);
                    if (known != ctx.knownDirectories.end() && known->second == parent) ctx.knownDirectories.erase(known);
                    ctx.unplaced.push_back({parent,
                                            "FAT: " + FolderName(parent) + ": its first cluster, " +
                                                std::to_string(firstCluster) + ", is that of a folder held by the "
                                                "folder at cluster " + std::to_string(up) + ": what it holds is not read",
                                            firstCluster, up});
                    return false;
                }
            } else if (!(parent && parent->IsDeleted()) && NameFieldNear(group, ".          ") &&
                       NameFieldNear(group + kFatEntrySize, "..         ")) {
                // A live folder is the one its entry names: a "." that names another cluster, or one
                // of its two first entries changed, is damage to that entry alone.
                RK_LOG("[FAT] %s at cluster %u: its \".\" and \"..\" entries are not as a folder's (\"%.11s\" naming "
                       "cluster %u, \"%.11s\"); read as the folder its entry names", FolderName(parent).c_str(),
                       firstCluster, reinterpret_cast<const char*>(group), ctx.EntryCluster(group),
                       reinterpret_cast<const char*>(group + kFatEntrySize));
                ownDots = 2;
            } else {
                // Not this folder's: the clusters stay for the chain that holds them.
                for (uint32_t k = 0; k < n; ++k) ctx.visited.erase(c + k);
                char loss[512];
                std::snprintf(loss, sizeof loss, "FAT: %s: its first cluster, %u, holds no folder (no \".\" and \"..\" "
                              "entries): what it holds is not read", FolderName(parent).c_str(), firstCluster);
                if (said && ctx.deferring && parent) ctx.unplaced.push_back({parent, loss});
                else if (said) SayReadInPart("%s", loss);
                return false;
            }
        }
        const size_t length = carried + static_cast<size_t>(n) * ctx.sectorsPerCluster * ss;
        const size_t consumed = static_cast<size_t>(
            ParseDirectoryBuffer(ctx, buffer.get(), length, parent, firstCluster, false, ownDots));
        const size_t rest = length - consumed;
        carried = 0;
        if (rest > 0 && rest <= kMaxCarriedBytes) {
            std::memmove(buffer.get(), buffer.get() + consumed, rest);
            carried = rest;
        }
        c = next;
    }
    if (missed && said)
        SayReadInPart("FAT: %s at cluster %u: %llu of its sectors cannot be read (bad, or past the end of the device): "
                      "the entries in them are lost, the others are read", FolderName(parent).c_str(), firstCluster,
                      static_cast<unsigned long long>(missed));
    // A chain that ends in a free or bad link, or one past the volume, rather than an end mark.
    if (ctx.fat && said && c < FAT_CLUSTER_END && !ctx.entriesEnded)
        SayReadInPart("FAT: %s at cluster %u: its chain ends in a link that names no cluster (0x%X): entries after "
                      "it are lost", FolderName(parent).c_str(), firstCluster, c);
    return true;
}

bool ReadRootDirectory(FatWalkContext& ctx) {
    if (ctx.kind == 2) return ReadDirectoryChain(ctx, nullptr, ctx.rootCluster, true);
    if (!ctx.device || ctx.rootSectors == 0) return false;
    const size_t ss = ctx.sectorSize;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[static_cast<size_t>(ctx.rootSectors) * ss]);
    if (!buffer) return false;
    // Read in pieces; a sector that cannot be read costs only its entries.
    ctx.entriesEnded = false;
    uint64_t missed = 0;
    for (uint32_t read = 0; read < ctx.rootSectors;) {
        const uint32_t piece = std::min(ctx.rootSectors - read, kGroupSectors);
        bool firstRead = true;
        missed += ReadAsFarAsItGoes(ctx, buffer.get() + static_cast<size_t>(read) * ss, ctx.rootStart + read, piece,
                                    &firstRead);
        read += piece;
    }
    if (missed == ctx.rootSectors) {
        SayReadInPart("FAT: the root folder at sector %llu cannot be read (bad, or past the end of the device)",
                      static_cast<unsigned long long>(ctx.rootStart));
        return false;
    }
    if (missed)
        SayReadInPart("FAT: the root folder at sector %llu: %llu of its %u sectors cannot be read (bad, or past the end "
                      "of the device): the entries in them are lost, the others are read",
                      static_cast<unsigned long long>(ctx.rootStart), static_cast<unsigned long long>(missed),
                      ctx.rootSectors);
    ParseDirectoryBuffer(ctx, buffer.get(), static_cast<size_t>(ctx.rootSectors) * ss, nullptr, 0, false);
    return true;
}

namespace {

// The runs of a live file kept back as the twin of one met before (see DecideTwins), the first one's
// node set as decided: the one that keeps the first cluster is read from it, the other from the
// orphaned chain that is its own, or refused. Not known: both are refused, and said.
IDataRunList* ReadTwin(FatWalkContext& ctx, FatWalkContext::PendingFile& p,
                       const std::vector<FatWalkContext::PendingFile>& pending) {
    CFATFileNode* first = p.twinOf;
    CFATFileProperties* firstProps = first->Properties();
    const uint32_t x = p.firstCluster;
    const uint64_t clusterBytes = static_cast<uint64_t>(ctx.sectorsPerCluster) * ctx.sectorSize;
    const uint64_t needed = (p.props->GetSize() + clusterBytes - 1) / clusterBytes;
    size_t twins = 0;
    for (const FatWalkContext::PendingFile& q : pending) twins += q.twinOf == first;
    uint32_t orphan = 0;
    const int owner = twins == 1 ? DecideTwins(ctx, first, p.directoryCluster, x, needed, &orphan) : -1;
    const std::string firstPath = FatNodePath(first);
    const std::string path = p.parent ? FatNodePath(p.parent) + "/" + p.props->GetName() : p.props->GetName();
    const auto runsFrom = [&](CFATFileProperties* props, uint32_t c) {
        bool fits = true;
        uint64_t kept = props->GetSize();
        IDataRunList* runs = BuildFatFileRuns(ctx, c, props->GetSize(), false, &kept, &fits);
        if (kept < props->GetSize()) props->CutSize(kept);
        return runs;
    };
    if (owner < 0) {
        SayReadInPart("FAT: \"%s\" and \"%s\": their entries name one first cluster, %u, from which a chain holds "
                      "either whole; which one's it is is not known: neither is read", firstPath.c_str(), path.c_str(), x);
        first->SetDataRuns(nullptr);
        if (firstProps) firstProps->CutSize(0);
        p.props->CutSize(0);
        return nullptr;
    }
    const std::string& loser = owner == 0 ? path : firstPath;
    if (orphan)
        RK_LOG("[FAT] \"%s\" and \"%s\" name one first cluster, %u: \"%s\" is read from the chain at cluster %u, "
               "which no entry leads to, as their files' order in their folders says", firstPath.c_str(), path.c_str(),
               x, loser.c_str(), orphan);
    else
        RK_LOG("[FAT] \"%s\" and \"%s\" name one first cluster, %u: it is that of \"%s\", as their files' order in "
               "their folders says; no chain is the other's", firstPath.c_str(), path.c_str(), x,
               (owner == 0 ? firstPath : path).c_str());
    if (owner == 0) {
        if (!orphan) {
            p.props->CutSize(0);
            return nullptr;
        }
        p.props->SetFirstCluster(orphan);
        return runsFrom(p.props.get(), orphan);
    }
    if (orphan && firstProps) {
        firstProps->SetFirstCluster(orphan);
        first->SetFirstLocation(orphan);
        first->SetDataRuns(runsFrom(firstProps, orphan));
    } else {
        first->SetDataRuns(nullptr);
        if (firstProps) firstProps->CutSize(0);
    }
    return runsFrom(p.props.get(), x);
}

}  // namespace

bool ReadVolumeTree(FatWalkContext& ctx) {
    ctx.deferring = true;
    ReadRootDirectory(ctx);
    bool whole = ReadQueuedDirectories(ctx);
    if (whole) whole = PlaceLostFolders(ctx);
    ctx.deferring = false;
    std::vector<FatWalkContext::PendingFile> pending;
    pending.swap(ctx.pending);
    if (!whole) return false;
    ctx.finishing = true;
    // A file kept back for a first cluster that a link names holds it when no other file's whole
    // chain runs through it, and no live folder read it as entries it holds: a chain that runs into
    // it is cut there, as at any file's first cluster. Where a folder's chain runs through it, what
    // the cluster holds tells whose it is: entries are the folder's (the file's entry was changed),
    // anything else the file's (the folder's link was). (Decided before any is read again: a chain
    // read again may no longer run through it.)
    for (FatWalkContext::PendingFile& p : pending) {
        if (p.firstCluster >= ctx.named.size() || p.firstCluster >= ctx.heads.size() || !ctx.named[p.firstCluster])
            continue;
        p.notItsOwn = InsideWholeChain(ctx, p.firstCluster);
        auto read = ctx.visited.find(p.firstCluster);
        p.inFolder = !p.notItsOwn && read != ctx.visited.end() && HoldsFolderEntries(ctx, p.firstCluster);
        if (p.notItsOwn || p.inFolder) continue;
        ctx.heads[p.firstCluster] = true;
        if (read != ctx.visited.end() && !(read->second && read->second->IsDeleted()))
            SayReadInPart("FAT: %s: its chain runs into cluster %u, where file \"%s\" begins: its entries past that "
                          "link are lost", FolderName(read->second).c_str(), p.firstCluster,
                          (p.parent ? FatNodePath(p.parent) + "/" + p.props->GetName() : p.props->GetName()).c_str());
    }
    ctx.wholeFiles.clear();
    for (FatWalkContext::PendingFile& p : pending) {
        // A first cluster that heads another file's whole chain is that file's, and one where a
        // folder begins is that folder's: this entry's cluster was changed.
        IDataRunList* runs = nullptr;
        if (p.twinOf) {
            runs = ReadTwin(ctx, p, pending);
        } else if (p.firstCluster < ctx.whole.size() && ctx.whole[p.firstCluster]) {
            RK_LOG("[FAT] \"%s\": its first cluster, %u, is that of another file, whose chain holds that file whole",
                   p.props->GetName(), p.firstCluster);
            p.props->CutSize(0);
        } else if (ctx.IsDataCluster(p.firstCluster) && BeginsAsFolder(ctx, p.firstCluster)) {
            RK_LOG("[FAT] \"%s\": its first cluster, %u, is where a folder begins", p.props->GetName(), p.firstCluster);
            p.props->CutSize(0);
        } else if (p.inFolder) {
            RK_LOG("[FAT] \"%s\": its first cluster, %u, lies in the chain of a live folder, and holds its entries",
                   p.props->GetName(), p.firstCluster);
            p.props->CutSize(0);
        } else if (p.notItsOwn) {
            RK_LOG("[FAT] \"%s\": its first cluster, %u, lies in the chain of another file, which holds that file whole",
                   p.props->GetName(), p.firstCluster);
            p.props->CutSize(0);
        } else {
            bool fits = true;
            runs = FileRuns(ctx, p.props.get(), p.firstCluster, p.directoryCluster, &fits);
        }
        AddFatNode(ctx, std::move(p.props), runs, p.parent);
    }
    ctx.finishing = false;
    return true;
}

bool ReadQueuedDirectories(FatWalkContext& ctx) {
    uint64_t processed = 0, lastPercent = 0;
    while (!ctx.queue.empty()) {
        if (ctx.sink) {
            if (!ctx.sink->ShouldContinue()) return false;
            ++processed;
            const uint64_t percent = 100 * processed / (ctx.queue.size() + processed);
            if (percent > lastPercent) {
                PROGRESS_INFO info{};
                info.state = PROGRESS_STATE_RUNNING;
                info.total = 100;
                info.done = percent;
                ctx.sink->OnProgress(&info);
                lastPercent = percent;
            }
        }
        CFATFileNode* dir = ctx.queue.front();
        ctx.queue.pop_front();
        if (!dir->GetFirstChild())
            ReadDirectoryChain(ctx, dir, static_cast<uint32_t>(dir->Properties()->FirstCluster()), false);
    }
    return true;
}
