#include "filesystems/fat/FatDirectoryReader.h"

#include <cstring>
#include <new>

#include "media_recovery/file_model/CDataRunList.h"
#include "filesystems/fat/CFATFileNode.h"
#include "filesystems/fat/FatDirectoryEntry.h"
#include "media_recovery/file_model/IDirecotryTreeBuilder.h"
#include "filesystems/fat/IFATTable.h"
#include "filesystems/IFileSystemSearchController.h"
#include "sqlite_recovery/framework/IStorageDevice.h"

namespace {

uint64_t g_emptyFileNumber = kFirstEmptyFileNumber;

constexpr uint32_t kGroupSectors = 128;     // most sectors one directory read covers
constexpr uint32_t kBufferSectors = 130;    // a group and a carried long-name run
constexpr size_t kMaxCarriedBytes = 1023;

bool IsBad(const FatWalkContext& ctx, uint32_t v) {
    return v == FAT_CLUSTER_BAD || (ctx.kind == 0 && v == FAT12_CLUSTER_BAD);
}

// The directory's own first two entries: "." naming the directory itself and "..". A deleted
// directory's clusters may since belong to another directory; its ".." tells them apart.
bool DotEntriesFit(const FatWalkContext& ctx, const uint8_t* entries, CFATFileNode* dir, uint32_t first) {
    if (!IsDotEntry(entries) || !IsDotDotEntry(entries + kFatEntrySize)) return false;
    if (FatEntryFirstCluster(entries) != first) return false;
    if (dir && dir->IsDeleted() && dir->Properties()) {
        uint64_t holder = dir->Properties()->DirectoryCluster();
        uint64_t expected = (holder < 2 || (ctx.kind == 2 && holder == ctx.rootCluster)) ? 0 : holder;
        if (FatEntryFirstCluster(entries + kFatEntrySize) != expected) return false;
    }
    return true;
}

}  // namespace

FatWalkContext::FatWalkContext() {}
FatWalkContext::~FatWalkContext() {}

void ResetEmptyFileCounter() { g_emptyFileNumber = kFirstEmptyFileNumber; }
uint64_t NextEmptyFileNumber() { return g_emptyFileNumber++; }

IDataRunList* BuildFatFileRuns(FatWalkContext& ctx, uint32_t firstCluster, uint64_t size, bool deleted) {
    const uint64_t clusterBytes = static_cast<uint64_t>(ctx.sectorsPerCluster) * ctx.sectorSize;
    if (size == 0 || clusterBytes == 0 || !ctx.IsDataCluster(firstCluster)) return nullptr;
    const uint64_t needed = (size + clusterBytes - 1) / clusterBytes;
    CDataRunList* list = CreateDataRunList();
    if (!list) return nullptr;

    if (deleted) {
        // The chain is gone: take the data as contiguous, stepping over clusters marked bad.
        uint64_t covered = 0;
        for (uint64_t c = firstCluster; covered < needed && ctx.IsDataCluster(c); ++c) {
            if (ctx.fat && IsBad(ctx, ctx.fat->NextCluster(static_cast<uint32_t>(c)))) continue;
            DataRun run(static_cast<int64_t>(c - 2), 1);
            list->AppendRun(&run);
            ++covered;
        }
        if (covered == 0) {
            list->Release();
            return nullptr;
        }
        return list;
    }

    // Live file: follow the chain for as many clusters as the size needs; where the chain ends
    // early, the rest is taken as following on from the last cluster.
    uint64_t runStart = firstCluster, runLength = 1, taken = 1;
    uint32_t c = firstCluster;
    while (taken < needed) {
        uint32_t n = ctx.fat ? ctx.fat->NextCluster(c) : 0;
        if (!ctx.IsDataCluster(n)) {
            runLength += needed - taken;
            taken = needed;
            break;
        }
        if (n == c + 1) {
            ++runLength;
        } else {
            DataRun run(static_cast<int64_t>(runStart - 2), runLength);
            list->AppendRun(&run);
            runStart = n;
            runLength = 1;
        }
        ++taken;
        c = n;
    }
    if (runStart - 2 + runLength > ctx.clusterCount) {
        list->Release();
        return nullptr;
    }
    DataRun run(static_cast<int64_t>(runStart - 2), runLength);
    list->AppendRun(&run);
    return list;
}

int ParseDirectoryBuffer(FatWalkContext& ctx, const uint8_t* bytes, size_t length, CFATFileNode* parent,
                         uint32_t directoryCluster, bool stopAtBadEntry) {
    const bool parentDeleted = parent && parent->IsDeleted();
    const uint64_t directorySector = directoryCluster >= 2 ? ctx.ClusterSector(directoryCluster) : ctx.rootStart;
    const size_t count = length / kFatEntrySize;
    size_t longNameStart = SIZE_MAX;
    int dots = 0;
    for (size_t i = 0; i < count; ++i) {
        const size_t offset = i * kFatEntrySize;
        const uint8_t* e = bytes + offset;
        // A never-used slot: nothing of a file is in it.
        if (e[0] == 0x00) {
            longNameStart = SIZE_MAX;
            continue;
        }
        const uint8_t attr = e[kFatEntryAttributes];
        const uint32_t f = FatEntryFirstCluster(e);
        // Implausible fields, or a first cluster beyond the volume.
        if (!IsPlausibleFatEntry(e, false) ||
            (attr != kFatAttrLongName && f > static_cast<uint64_t>(ctx.clusterCount) + 1)) {
            longNameStart = SIZE_MAX;
            if (stopAtBadEntry) return static_cast<int>(length);
            continue;
        }
        if (attr == kFatAttrLongName) {
            if (longNameStart == SIZE_MAX) longNameStart = offset;
            continue;
        }
        if (attr & kFatAttrVolumeLabel) {
            longNameStart = SIZE_MAX;
            continue;
        }
        if (e[0] == '.') {
            longNameStart = SIZE_MAX;
            if (++dots > 2) return -1;
            continue;
        }
        // A directory listing itself.
        if (f != 0 && f == directoryCluster) {
            longNameStart = SIZE_MAX;
            continue;
        }
        const size_t start = longNameStart == SIZE_MAX ? offset : longNameStart;
        longNameStart = SIZE_MAX;
        std::unique_ptr<CFATFileProperties> props(MakeEntryProperties(bytes + start, (offset - start) / kFatEntrySize));
        if (!props) continue;
        if (parentDeleted) props->SetFlags(static_cast<uint8_t>(props->GetFlags() | 1));
        props->SetDirectory(directoryCluster, directorySector);

        const bool isDirectory = attr & kFatAttrDirectory;
        IDataRunList* runs = nullptr;
        if (!isDirectory && props->GetSize() == 0) {
            props->SetFirstCluster(NextEmptyFileNumber());
        } else if (!isDirectory) {
            runs = BuildFatFileRuns(ctx, f, props->GetSize(), props->IsDeleted());
        }
        CFATFileNode* node = new (std::nothrow) CFATFileNode;
        if (!node) {
            if (runs) runs->Release();
            continue;
        }
        node->AttachProperties(props.release());
        node->SetDataRuns(runs);
        SetNodePartitionIndex(node, ctx.partitionIndex);

        bool kept = true;
        if (ctx.builder) {
            kept = ctx.builder->AddNode(node, SEARCHER_FAT);
            if (!kept) node->Release();
        } else {
            ctx.unowned.emplace_back(node);
        }
        if (!kept) continue;
        if (parent) parent->AddChild(node);
        if (isDirectory && ctx.IsDataCluster(f) && ctx.knownDirectories.find(f) == ctx.knownDirectories.end()) {
            ctx.knownDirectories.emplace(f, node);
            ctx.queue.push_back(node);
        }
    }
    return longNameStart != SIZE_MAX ? static_cast<int>(longNameStart) : static_cast<int>(length);
}

bool ReadDirectoryChain(FatWalkContext& ctx, CFATFileNode* parent, uint32_t firstCluster, bool root) {
    if (!ctx.device || !ctx.IsDataCluster(firstCluster) || ctx.sectorsPerCluster == 0 ||
        ctx.sectorsPerCluster > kGroupSectors)
        return false;
    const size_t ss = ctx.sectorSize;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kBufferSectors * ss]);
    if (!buffer) return false;
    size_t carried = 0;
    uint32_t c = firstCluster;
    while (ctx.IsDataCluster(c)) {
        // A group of consecutive clusters, read with one call.
        uint32_t n = 1;
        uint32_t next = ctx.fat ? ctx.fat->NextCluster(c) : 0;
        while (next == c + n && ctx.IsDataCluster(next) &&
               static_cast<uint64_t>(ctx.sectorsPerCluster) * (n + 1) <= kGroupSectors) {
            ++n;
            next = ctx.fat->NextCluster(c + n - 1);
        }
        for (uint32_t k = 0; k < n; ++k)
            if (ctx.visited.count(c + k)) return false;
        for (uint32_t k = 0; k < n; ++k) ctx.visited.insert(c + k);

        uint8_t* group = buffer.get() + carried;
        // A failed read leaves nothing to parse: the rest of this directory is lost.
        if (!ctx.device->ReadSectors(group, ctx.ClusterSector(c), static_cast<uint64_t>(n) * ctx.sectorsPerCluster))
            return false;
        if (c == firstCluster) {
            if (root ? (IsDotEntry(group) || IsDotDotEntry(group + kFatEntrySize))
                     : !DotEntriesFit(ctx, group, parent, firstCluster))
                return false;
        }
        const size_t length = carried + static_cast<size_t>(n) * ctx.sectorsPerCluster * ss;
        int consumed = ParseDirectoryBuffer(ctx, buffer.get(), length, parent, firstCluster, false);
        if (consumed < 0) return true;
        const size_t rest = length - static_cast<size_t>(consumed);
        carried = 0;
        if (rest > 0 && rest <= kMaxCarriedBytes) {
            std::memmove(buffer.get(), buffer.get() + consumed, rest);
            carried = rest;
        }
        c = next;
    }
    return true;
}

bool ReadRootDirectory(FatWalkContext& ctx) {
    if (ctx.kind == 2) return ReadDirectoryChain(ctx, nullptr, ctx.rootCluster, true);
    if (!ctx.device || ctx.rootSectors == 0) return false;
    const size_t ss = ctx.sectorSize;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[static_cast<size_t>(ctx.rootSectors) * ss]);
    if (!buffer) return false;
    // Read in pieces; a piece that fails ends the root there.
    uint32_t read = 0;
    while (read < ctx.rootSectors) {
        uint32_t piece = ctx.rootSectors - read < kGroupSectors ? ctx.rootSectors - read : kGroupSectors;
        if (!ctx.device->ReadSectors(buffer.get() + static_cast<size_t>(read) * ss, ctx.rootStart + read, piece)) break;
        read += piece;
    }
    if (read == 0) return false;
    return ParseDirectoryBuffer(ctx, buffer.get(), static_cast<size_t>(read) * ss, nullptr, 0, false) != -1;
}
