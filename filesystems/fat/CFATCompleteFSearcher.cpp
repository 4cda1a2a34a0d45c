#include "filesystems/fat/CFATCompleteFSearcher.h"

#include <memory>
#include <new>

#include "media_recovery/ISectorLender.h"
#include "filesystems/fat/CDoubleFATTable.h"
#include "filesystems/fat/FatBootSector.h"
#include "filesystems/fat/FatDirectoryReader.h"
#include "media_recovery/file_model/IDirecotryTreeBuilder.h"
#include "sqlite_recovery/framework/IStorageDevice.h"
#include "sqlite_recovery/framework/Logger.h"

namespace {

constexpr uint32_t kLargestSectorSize = 4096;
constexpr uint32_t kBootEvidence = FAT_SEEN_FAT12_BOOT | FAT_SEEN_FAT16_BOOT | FAT_SEEN_FAT32_BOOT |
                                   FAT_SEEN_FAT32_BACKUP;

// A FAT begins with entry 0: the boot sector's media byte (0xF0, or 0xF8 to 0xFF), then ones. The
// end-of-chain mark most writers use (0x0FFFFFFF) begins with 0xFF, not with a disk's 0xF8.
bool BeginsLikeAFat(const uint8_t* s, uint8_t media) {
    return (s[0] == 0xF0 || s[0] >= 0xF8) && s[0] == media && s[1] == 0xFF && s[2] == 0xFF;
}

std::unique_ptr<CFATSearchedPartitionInfo> NewCandidate(const FatGeometry& g, uint32_t sectorSize) {
    std::unique_ptr<CFATSearchedPartitionInfo> c(CFATSearchedPartitionInfo::Create(sectorSize));
    if (!c) return c;
    c->dataStart = g.dataStart;
    c->sectorsPerCluster = g.sectorsPerCluster;
    c->kind = g.variant;
    c->volumeLength = g.volumeLength;
    c->sectorsPerFat = g.sectorsPerFat;
    c->volumeStart = g.volumeStart;
    c->clusterCount = g.clusterCount;
    c->reservedSectors = g.reservedSectors;
    c->root = g.root;
    c->evidenceFlags = g.flags;
    return c;
}

// Boot part: FAT32 both boot sectors 50, one 45, none 10; FAT12/16 a boot sector 50, else 10. FAT
// part: both copies 50, one 45, none 10.
uint64_t Score(const CFATSearchedPartitionInfo& v) {
    const auto part = [](bool a, bool b) -> uint64_t { return a && b ? 50 : (a || b ? 45 : 10); };
    const uint32_t f = v.evidenceFlags;
    const uint64_t boot = v.kind == FAT_VARIANT_32 ? part(f & FAT_SEEN_FAT32_BOOT, f & FAT_SEEN_FAT32_BACKUP)
                                                   : ((f & (FAT_SEEN_FAT12_BOOT | FAT_SEEN_FAT16_BOOT)) ? 50 : 10);
    return boot + part(f & FAT_SEEN_FIRST_FAT, f & FAT_SEEN_SECOND_FAT);
}

// The data clusters the volume's boot sector gives when the device ends before the last of them (a
// cut image), else 0; recordedSectors receives the volume's length as the boot sector gives it.
uint32_t ClustersPastTheEnd(IStorageDevice* device, const CFATSearchedPartitionInfo& v, uint32_t sectorSize,
                            uint64_t* recordedSectors) {
    if (v.volumeStart + v.volumeLength < device->GetSectorCount() || sectorSize > kLargestSectorSize) return 0;
    const uint32_t main = FAT_SEEN_FAT12_BOOT | FAT_SEEN_FAT16_BOOT | FAT_SEEN_FAT32_BOOT;
    const uint64_t at = v.volumeStart + ((v.evidenceFlags & main) ? 0 : kFat32BackupBootSector);
    uint8_t sector[kLargestSectorSize];
    if (!device->ReadSectors(sector, at, 1) || DetectFatVariant(sector, sectorSize) != v.kind) return 0;
    const FatBootSector view{sector, v.kind, sectorSize};
    if (view.TotalSectors() <= view.SectorsBeforeData() || view.SectorsPerCluster() == 0) return 0;
    *recordedSectors = view.TotalSectors();
    const uint64_t recorded = (view.TotalSectors() - view.SectorsBeforeData()) / view.SectorsPerCluster();
    return recorded > v.clusterCount && recorded <= 0x0FFFFFF5 ? static_cast<uint32_t>(recorded) : 0;
}

}  // namespace

CFATCompleteFSearcher::~CFATCompleteFSearcher() = default;

void CFATCompleteFSearcher::SetDevice(IStorageDevice* device) {
    device_ = device;
    if (device) sectorSize_ = device->GetSectorSize();
}

int CFATCompleteFSearcher::BeginSearch() {
    accepted_.clear();
    candidates_.clear();
    fatPositions_.clear();
    return 1;
}

int CFATCompleteFSearcher::GetPartitions(CSearchedPartitionInfo** out, int max) {
    const int count = static_cast<int>(accepted_.size());
    if (!out || max < count) return count;
    for (int i = 0; i < count; ++i) {
        out[i] = accepted_[static_cast<size_t>(i)]->Clone();
        if (out[i]) continue;
        for (int k = 0; k < i; ++k) {
            delete out[k];
            out[k] = nullptr;
        }
        return 0;
    }
    return count;
}

int CFATCompleteFSearcher::ScanChunk(uint64_t firstSector, uint64_t sectorCount, IProgress*) {
    if (!device_ || sectorSize_ == 0 || sectorSize_ % 512 != 0 || sectorSize_ > kLargestSectorSize) return 0;
    // The chunk is current in the cache: examined where the cache holds it when it lends it,
    // otherwise one read copies it whole; a chunk that cannot be read whole is read sector by
    // sector, skipping what fails.
    if (auto* lender = dynamic_cast<ISectorLender*>(device_)) {
        if (std::shared_ptr<const uint8_t> lent = lender->LendSectors(firstSector, sectorCount)) {
            ExamineSectors(lent.get(), firstSector, sectorCount);
            return 1;
        }
    }
    try {
        if (chunk_.size() < sectorCount * sectorSize_) chunk_.resize(sectorCount * sectorSize_);
    } catch (const std::bad_alloc&) {
        chunk_.clear();
    }
    if (!chunk_.empty() && device_->ReadSectors(chunk_.data(), firstSector, sectorCount)) {
        ExamineSectors(chunk_.data(), firstSector, sectorCount);
        return 1;
    }
    uint8_t sector[kLargestSectorSize];
    for (uint64_t i = 0; i < sectorCount; ++i)
        if (device_->ReadSectors(sector, firstSector + i, 1)) Examine(sector, firstSector + i);
    return 1;
}

void CFATCompleteFSearcher::ExamineSectors(const uint8_t* chunk, uint64_t firstSector, uint64_t count) {
    // Most sectors are judged by their first 64 bytes alone, one a sector apart: too far apart for
    // the processor to fetch them ahead by itself, so each is asked for 32 sectors early.
    const uint64_t ahead = 32;
    for (uint64_t i = 0; i < count; ++i) {
        if (i + ahead < count) __builtin_prefetch(chunk + (i + ahead) * sectorSize_);
        Examine(chunk + i * sectorSize_, firstSector + i);
    }
}

void CFATCompleteFSearcher::Examine(const uint8_t* sector, uint64_t s) {
    if (sector[0] == 0) return;
    // Every boot sector taken has two FATs and the device's sector size (bytes 16 and 11), in the
    // sector's first bytes: its signature at the end is read only then.
    if (sector[16] == 2 && static_cast<uint32_t>(sector[11] | sector[12] << 8) == sectorSize_ && sector[510] == 0x55 &&
        sector[511] == 0xAA && OnFatBootSector(sector, s))
        return;
    if (fatPositions_.empty()) return;
    auto range = fatPositions_.equal_range(s);
    if (range.first == range.second) return;
    // A copy is seen only where the sector begins as a FAT does: the FAT that a shifted reading of
    // a boot sector predicts lies inside the real FAT, whose later sectors begin with cluster numbers
    // and end-of-chain marks.
    for (auto it = range.first; it != range.second; ++it) {
        if (!BeginsLikeAFat(sector, it->second.media)) continue;
        CFATSearchedPartitionInfo* c = it->second.candidate;
        const uint64_t first = c->volumeStart + c->reservedSectors;
        if (s == first) c->evidenceFlags |= FAT_SEEN_FIRST_FAT | FAT_USE_FIRST_FAT;
        else if (s == first + c->sectorsPerFat) c->evidenceFlags |= FAT_SEEN_SECOND_FAT | FAT_USE_SECOND_FAT;
    }
    fatPositions_.erase(range.first, range.second);
}

bool CFATCompleteFSearcher::OnFatBootSector(const uint8_t* sector, uint64_t s) {
    const uint32_t variant = DetectFatVariant(sector, sectorSize_);
    if (variant == FAT_VARIANT_NONE || !device_) return false;
    const FatBootSector view{sector, variant, sectorSize_};
    const uint64_t deviceSectors = device_->GetSectorCount();
    bool found = false;
    FatGeometry g;
    if (MakeFatCandidate(view, s, deviceSectors, false, &g)) {
        Insert(NewCandidate(g, sectorSize_), view.MediaDescriptor());
        found = true;
    }
    if (variant == FAT_VARIANT_32 && s >= kFat32BackupBootSector &&
        MakeFatCandidate(view, s - kFat32BackupBootSector, deviceSectors, true, &g)) {
        // This sector as the backup of a volume 6 sectors before: the main reading of that volume's
        // first sector, when it was seen, gains the backup's evidence.
        CFATSearchedPartitionInfo* known = nullptr;
        for (auto range = candidates_.equal_range(g.dataStart); range.first != range.second; ++range.first)
            if (range.first->second->sectorsPerCluster == g.sectorsPerCluster) known = range.first->second.get();
        if (known) known->evidenceFlags |= FAT_SEEN_FAT32_BACKUP;
        else Insert(NewCandidate(g, sectorSize_), view.MediaDescriptor());
        found = true;
    }
    return found;
}

void CFATCompleteFSearcher::Insert(std::unique_ptr<CFATSearchedPartitionInfo> candidate, uint8_t media) {
    if (!candidate) return;
    CFATSearchedPartitionInfo* c = candidate.get();
    const uint64_t firstFat = c->volumeStart + c->reservedSectors;
    try {
        candidates_.emplace(c->dataStart, std::move(candidate));
        fatPositions_.emplace(firstFat, FatCopy{c, media});
        fatPositions_.emplace(firstFat + c->sectorsPerFat, FatCopy{c, media});
    } catch (const std::bad_alloc&) {
        // The candidate may lack its FAT positions, and then is dropped at the end.
    }
}

void CFATCompleteFSearcher::SelectFatVolumes(std::vector<std::unique_ptr<CFATSearchedPartitionInfo>>& accepted) {
    for (auto& entry : candidates_) {
        std::unique_ptr<CFATSearchedPartitionInfo>& c = entry.second;
        if (!(c->evidenceFlags & (FAT_SEEN_FIRST_FAT | FAT_SEEN_SECOND_FAT))) continue;
        c->score = Score(*c);
        c->index = static_cast<uint16_t>(accepted.size());
        try {
            accepted.push_back(std::move(c));
        } catch (const std::bad_alloc&) {
            break;
        }
    }
    candidates_.clear();
    fatPositions_.clear();
}

int CFATCompleteFSearcher::EndSearch() {
    SelectFatVolumes(accepted_);
    if (accepted_.empty() || !builder_) return 1;
    builder_->BeginSearch(SEARCHER_FAT, 0, 0);
    for (const std::unique_ptr<CFATSearchedPartitionInfo>& v : accepted_) BuildFatVolumeTree(*v);
    builder_->EndSearch(SEARCHER_FAT);
    return 1;
}

void CFATCompleteFSearcher::BuildFatVolumeTree(const CFATSearchedPartitionInfo& v) {
    const uint64_t firstFat = v.volumeStart + v.reservedSectors;
    std::unique_ptr<CDoubleFATTable> fat(LoadFatPair(v.kind, v.sectorsPerFat, firstFat, device_,
                                                     v.evidenceFlags & FAT_USE_FIRST_FAT,
                                                     v.evidenceFlags & FAT_USE_SECOND_FAT));
    if (!fat) {
        RK_LOG("[FAT] no memory for the FAT of the volume at sector %llu",
               static_cast<unsigned long long>(v.volumeStart));
        return;
    }
    FatWalkContext ctx;
    ctx.builder = builder_;
    ctx.device = device_;
    ctx.kind = v.kind;
    ctx.volumeStart = v.volumeStart;
    ctx.sectorSize = sectorSize_;
    ctx.sectorsPerCluster = v.sectorsPerCluster;
    const uint64_t before = v.dataStart - v.volumeStart;
    ctx.dataSectors = v.volumeLength > before ? v.volumeLength - before : 0;
    ctx.clusterCount = v.clusterCount;
    uint64_t recordedSectors = v.volumeLength;
    ctx.recordedClusterCount = ClustersPastTheEnd(device_, v, sectorSize_, &recordedSectors);
    ctx.dataStart = v.dataStart;
    ctx.partitionIndex = v.index;
    if (v.kind == FAT_VARIANT_32) {
        ctx.rootCluster = v.root;
    } else {
        ctx.rootStart = firstFat + 2ULL * v.sectorsPerFat;
        ctx.rootSectors = v.root;
    }
    ResetEmptyFileCounter();
    // The whole tree, as the quick search walks it: a volume found anywhere keeps its folders.
    if (!(v.evidenceFlags & kBootEvidence)) return;
    PrepareVolumeWalk(ctx, fat.get(), recordedSectors, v.volumeLength);
    ReadVolumeTree(ctx);
}
