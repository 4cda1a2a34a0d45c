#include "filesystems/fat/CFATCompleteFSearcher.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "media_recovery/ISectorLender.h"
#include "filesystems/fat/CDoubleFATTable.h"
#include "filesystems/fat/FatBootSector.h"
#include "filesystems/fat/FatDirectoryEntry.h"
#include "filesystems/fat/FatDirectoryReader.h"
#include "filesystems/SectorFirstLook.h"
#include "filesystems/frame/ReadInPart.h"
#include "media_recovery/file_model/IDirecotryTreeBuilder.h"
#include "sqlite_recovery/framework/ByteOrder.h"
#include "sqlite_recovery/framework/IStorageDevice.h"
#include "sqlite_recovery/framework/Logger.h"

namespace {

constexpr uint32_t kLargestSectorSize = 4096;
// Caps on what the pass notes besides boot sectors: a card of many folders keeps the first.
constexpr size_t kMostDotSectors = 1 << 16;
constexpr size_t kMostFatHeads = 4096;
constexpr size_t kMostBootHints = 256;
constexpr uint64_t kMostFatSectors = 1 << 22;  // a FAT32 of 0x0FFFFFF5 clusters of 512-byte sectors
constexpr uint32_t kBootEvidence = FAT_SEEN_FAT12_BOOT | FAT_SEEN_FAT16_BOOT | FAT_SEEN_FAT32_BOOT |
                                   FAT_SEEN_FAT32_BACKUP;

// A FAT begins with entry 0: the boot sector's media byte (0xF0, or 0xF8 to 0xFF), then ones. The
// end-of-chain mark most writers use (0x0FFFFFFF) begins with 0xFF, not with a disk's 0xF8.
bool BeginsLikeTheFat(const uint8_t* s, uint8_t media) { return BeginsLikeAFat(s) && s[0] == media; }

inline bool BeginsWithAJump(const uint8_t* p) { return (p[0] == 0xEB) | (p[0] == 0xE9); }

// Whether Examine can make anything of a sector the first look marks, by its first bytes: a boot
// sector's two FATs and sector size, a "." entry's name, a jump, a FAT's first entry. Most marked
// sectors are other data that fails each; no branch until the answer.
inline bool MayBeAnything(const uint8_t* p, uint32_t sectorSize) {
    const uint8_t b = p[0];
    const bool boot = (p[kFatBootNumberOfFats] == 2) & (LoadLE16(p + kFatBootBytesPerSector) == sectorSize);
    const bool dot = (b == '.') & (p[1] == ' ');
    const bool jump = BeginsWithAJump(p);
    const bool fat = first_look::FatNotes(b) & (LoadLE16(p + 1) == 0xFFFF);
    return boot | dot | jump | fat;
}

uint64_t SectorHash(const uint8_t* s, uint32_t size) {
    uint64_t h = 1469598103934665603ULL;  // FNV-1a
    for (uint32_t i = 0; i < size; ++i) h = (h ^ s[i]) * 1099511628211ULL;
    return h;
}

// A boot sector that is a FAT one though no test takes it: its type text begins "FAT" where FAT12/16
// or FAT32 keep it, or four of its parameters are sound (bytes per sector, sectors per cluster,
// reserved sectors, number of FATs, media byte), which an edited byte or two leaves them. An NTFS
// or exFAT boot sector has no FATs and no reserved sectors.
bool LooksLikeAFatBootSector(const uint8_t* s) {
    if (std::memcmp(s + 54, "FAT", 3) == 0 || std::memcmp(s + 82, "FAT", 3) == 0) return true;
    const uint32_t bps = LoadLE16(s + 11);
    const int sound = (bps >= 512 && bps <= 4096 && (bps & (bps - 1)) == 0) +
                      (s[13] != 0 && s[13] <= 128 && (s[13] & (s[13] - 1)) == 0) + (LoadLE16(s + 14) != 0) +
                      (s[16] == 1 || s[16] == 2) + (s[21] == 0xF0 || s[21] >= 0xF8);
    return sound >= 4;
}

// Whether a boot sector the tests refuse may still be taken as a hint of its volume (see LayOutByParts).
bool MayBeAHint(const uint8_t* s) {
    const uint8_t media = s[kFatBootMedia];
    return media == 0xF0 || media >= 0xF8 || LooksLikeAFatBootSector(s);
}

// The data clusters a volume holds: its data sectors by its cluster size, as far as its FAT reaches.
uint32_t ClustersOf(const CFATSearchedPartitionInfo& v, uint32_t ss) {
    const uint64_t end = v.volumeStart + v.volumeLength;
    if (end <= v.dataStart || v.sectorsPerCluster == 0) return 0;
    const uint64_t bits = v.kind == FAT_VARIANT_32 ? 32 : v.kind == FAT_VARIANT_16 ? 16 : 12;
    const uint64_t entries = static_cast<uint64_t>(v.sectorsPerFat) * ss * 8 / bits;
    return static_cast<uint32_t>(std::min<uint64_t>((end - v.dataStart) / v.sectorsPerCluster,
                                                    entries > 2 ? entries - 2 : 0));
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
    lender_ = dynamic_cast<ISectorLender*>(device);
    if (device) sectorSize_ = device->GetSectorSize();
}

int CFATCompleteFSearcher::BeginSearch() {
    accepted_.clear();
    candidates_.clear();
    fatPositions_.clear();
    fatHeads_.clear();
    dotSectors_.clear();
    bootHints_.clear();
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
    std::shared_ptr<const uint8_t> lent = lender_ ? lender_->LendSectors(firstSector, sectorCount) : nullptr;
    const uint8_t* chunk = lent.get();
    if (!chunk) {
        try {
            if (chunk_.size() < sectorCount * sectorSize_) chunk_.resize(sectorCount * sectorSize_);
        } catch (const std::bad_alloc&) {
            chunk_.clear();
        }
        if (!chunk_.empty() && device_->ReadSectors(chunk_.data(), firstSector, sectorCount)) chunk = chunk_.data();
    }
    const size_t count = static_cast<size_t>(sectorCount);
    try {
        listed_.resize(std::min(count, first_look::kMostListed) + 8);
    } catch (const std::bad_alloc&) {
        chunk = nullptr;
    }
    const uint8_t* marks =
        chunk ? first_look::MarksOf(lent ? lender_ : nullptr, firstSector, chunk, count, sectorSize_, marks_) : nullptr;
    if (marks) {
        ExamineSectors(chunk, marks, firstSector, count);
        return 1;
    }
    uint8_t sector[kLargestSectorSize];
    for (uint64_t i = 0; i < sectorCount; ++i)
        if (device_->ReadSectors(sector, firstSector + i, 1)) Examine(sector, firstSector + i);
    return 1;
}

void CFATCompleteFSearcher::ExamineSectors(const uint8_t* chunk, const uint8_t* marks, uint64_t firstSector,
                                           size_t count) {
    // The sectors the first look marks, and those where a candidate's FAT copy should begin, in
    // order; a sector examined may add FAT positions after it.
    const uint64_t end = firstSector + count;
    const auto nextFatPosition = [&](uint64_t from) {
        const auto next = fatPositions_.lower_bound(from);
        return next == fatPositions_.end() ? end : std::min(end, next->first);
    };
    uint64_t fatAt = nextFatPosition(firstSector);
    const auto examine = [&](uint64_t s) {
        Examine(chunk + (s - firstSector) * sectorSize_, s);
        fatAt = nextFatPosition(s + 1);
    };
    for (size_t from = 0; from < count; from += first_look::kMostListed) {
        const size_t n =
            first_look::ListMarked(marks + from, std::min(count - from, first_look::kMostListed), first_look::kFat,
                                   listed_.data());
        for (size_t k = 0; k < n; ++k) {
            const size_t i = from + listed_[k];
            const uint64_t s = firstSector + i;
            while (fatAt < s) examine(fatAt);
            if (MayBeAnything(chunk + i * sectorSize_, sectorSize_) || fatAt == s) examine(s);
        }
    }
    while (fatAt < end) examine(fatAt);
}

void CFATCompleteFSearcher::NoteParts(const uint8_t* sector, uint64_t s) {
    const uint8_t b = sector[0];
    if (b == '.') {
        if (BeginsLikeAFolder(sector) && dotSectors_.size() < kMostDotSectors)
            dotSectors_.push_back({s, FatEntryFirstCluster(sector), FatEntryFirstCluster(sector + kFatEntrySize)});
    } else if (BeginsWithAJump(sector)) {
        // A hint is only ever taken for a boot sector that looks like a FAT one or whose media byte
        // begins a FAT: that is told by its first bytes, before its end (another line) is read.
        if (MayBeAHint(sector) && sector[kFatBootSignature] == 0x55 && sector[kFatBootSignature + 1] == 0xAA && bootHints_.size() < kMostBootHints) {
            bootHints_.emplace_back();
            bootHints_.back().sector = s;
            std::memcpy(bootHints_.back().bytes, sector, sizeof bootHints_.back().bytes);
        }
    } else if (BeginsLikeAFatAlone(sector) && fatHeads_.size() < kMostFatHeads) {
        fatHeads_.push_back({s, SectorHash(sector, sectorSize_), sector[0]});
    }
}

void CFATCompleteFSearcher::Examine(const uint8_t* sector, uint64_t s) {
    if (sector[0] == 0) return;
    if (first_look::FatNotes(sector[0])) NoteParts(sector, s);
    // Every boot sector taken has two FATs and the device's sector size (bytes 16 and 11), in the
    // sector's first bytes: its signature at the end is read only then.
    if (sector[kFatBootNumberOfFats] == 2 && LoadLE16(sector + kFatBootBytesPerSector) == sectorSize_ &&
        sector[kFatBootSignature] == 0x55 && sector[kFatBootSignature + 1] == 0xAA && OnFatBootSector(sector, s))
        return;
    if (fatPositions_.empty()) return;
    auto range = fatPositions_.equal_range(s);
    if (range.first == range.second) return;
    // A copy is seen only where the sector begins as a FAT does: the FAT that a shifted reading of
    // a boot sector predicts lies inside the real FAT, whose later sectors begin with cluster numbers
    // and end-of-chain marks.
    for (auto it = range.first; it != range.second; ++it) {
        if (!BeginsLikeTheFat(sector, it->second.media)) continue;
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

bool CFATCompleteFSearcher::InsideAccepted(uint64_t sector) const {
    for (const std::unique_ptr<CFATSearchedPartitionInfo>& v : accepted_)
        if (sector >= v->volumeStart && sector - v->volumeStart < std::max<uint64_t>(v->volumeLength, 1)) return true;
    return false;
}

std::vector<FatDotSector> CFATCompleteFSearcher::RootFoldersBetween(uint64_t first, uint64_t end) const {
    std::vector<FatDotSector> out;
    auto it = std::lower_bound(dotSectors_.begin(), dotSectors_.end(), first,
                               [](const FatDotSector& d, uint64_t s) { return d.sector < s; });
    for (; it != dotSectors_.end() && it->sector < end; ++it)
        if (it->parent == 0) out.push_back(*it);
    return out;
}

void CFATCompleteFSearcher::CheckLayout(CFATSearchedPartitionInfo& v,
                                        const std::vector<std::pair<uint64_t, uint64_t>>& pairs) {
    const uint64_t firstFat = v.volumeStart + v.reservedSectors;
    const uint64_t end = v.volumeStart + v.volumeLength;
    std::string refused;
    // Its FAT copies: the second begins where the copy that begins like its first one does.
    for (const auto& pair : pairs) {
        if (pair.first != firstFat || pair.second - firstFat == v.sectorsPerFat || pair.second - firstFat > 0xFFFFFFFF)
            continue;
        refused = "sectors per FAT (" + std::to_string(v.sectorsPerFat) + ")";
        const uint64_t shift = v.dataStart - (firstFat + 2ULL * v.sectorsPerFat);  // the fixed root's sectors
        v.sectorsPerFat = static_cast<uint32_t>(pair.second - firstFat);
        v.dataStart = firstFat + 2ULL * v.sectorsPerFat + shift;
        v.evidenceFlags |= FAT_SEEN_SECOND_FAT | FAT_USE_SECOND_FAT;
    }
    // Its clusters: where the folders of its root lie.
    const uint64_t fatsEnd = firstFat + 2ULL * v.sectorsPerFat;
    const bool fat32 = v.kind == FAT_VARIANT_32;
    const uint64_t rootSector = fat32 ? v.dataStart + static_cast<uint64_t>(v.root - 2) * v.sectorsPerCluster : fatsEnd;
    FolderFit fit = RootFoldersFit(device_, sectorSize_, rootSector, fat32 ? v.sectorsPerCluster : v.root,
                                   v.dataStart, v.sectorsPerCluster, v.clusterCount);
    if (fat32 && fit.fits + fit.misfits == 0 && (!fit.rootBegins || fit.rootEmpty)) {
        // Its root cluster holds no root, or an empty one: the backup boot sector's, else cluster 2,
        // when that one holds entries.
        uint8_t backup[kLargestSectorSize];
        const uint32_t backupRoot =
            sectorSize_ <= kLargestSectorSize && device_->ReadSectors(backup, v.volumeStart + kFat32BackupBootSector, 1) &&
                    IsFat32BootSector(backup, sectorSize_)
                ? FatBootSector{backup, FAT_VARIANT_32, sectorSize_}.RootCluster()
                : 0;
        for (uint32_t r : {backupRoot, 2u}) {
            if (r == v.root || r < 2 || r > static_cast<uint64_t>(v.clusterCount) + 1) continue;
            const FolderFit other =
                RootFoldersFit(device_, sectorSize_, v.dataStart + static_cast<uint64_t>(r - 2) * v.sectorsPerCluster,
                               v.sectorsPerCluster, v.dataStart, v.sectorsPerCluster, v.clusterCount);
            if (!LayoutStands(other, true) || other.rootEmpty) continue;
            refused = "root cluster (" + std::to_string(v.root) + ")";
            v.root = r;
            fit = other;
            break;
        }
    }
    uint64_t dataStart = 0;
    uint32_t spc = 0;
    if (!LayoutStands(fit, true)) {
        if (LayOutByFolders(RootFoldersBetween(fatsEnd, end), fatsEnd, &dataStart, &spc) &&
            (fat32 ? dataStart == fatsEnd : dataStart > fatsEnd)) {
            if (!refused.empty()) refused += " and ";
            refused += spc != v.sectorsPerCluster ? "sectors per cluster (" + std::to_string(v.sectorsPerCluster) + ")"
                                                  : "root entries";
            v.dataStart = dataStart;
            v.sectorsPerCluster = spc;
            if (!fat32) v.root = static_cast<uint32_t>(dataStart - fatsEnd);
        } else {
            RK_LOG("[FAT] the volume at sector %llu: its root's folders do not lie where its boot sector puts its "
                   "clusters, and tell no other layout; read as its boot sector gives it",
                   static_cast<unsigned long long>(v.volumeStart));
        }
    }
    if (refused.empty()) return;
    v.clusterCount = ClustersOf(v, sectorSize_);
    RK_LOG("%sFAT: the volume at sector %llu: what its boot sector gives of its %s does not fit where its FAT copies "
           "and folders lie: read as they lie (FATs of %u sectors from sector %llu, clusters of %u sector%s from sector "
           "%llu)",
           kLogWarningPrefix, static_cast<unsigned long long>(v.volumeStart), refused.c_str(), v.sectorsPerFat,
           static_cast<unsigned long long>(firstFat), v.sectorsPerCluster, v.sectorsPerCluster == 1 ? "" : "s",
           static_cast<unsigned long long>(v.dataStart));
}

void CFATCompleteFSearcher::LayOutByParts() {
    std::sort(fatHeads_.begin(), fatHeads_.end(), [](const FatHead& a, const FatHead& b) { return a.sector < b.sector; });
    std::sort(dotSectors_.begin(), dotSectors_.end(),
              [](const FatDotSector& a, const FatDotSector& b) { return a.sector < b.sector; });
    // The two copies of a FAT: a sector that begins like a FAT and the next one that is the same.
    std::vector<std::pair<uint64_t, uint64_t>> pairs;
    std::vector<uint8_t> media;  // of each pair
    std::vector<bool> paired(fatHeads_.size(), false);
    for (size_t i = 0; i < fatHeads_.size(); ++i) {
        for (size_t j = i + 1; !paired[i] && j < fatHeads_.size() &&
                               fatHeads_[j].sector - fatHeads_[i].sector <= kMostFatSectors; ++j) {
            if (paired[j] || fatHeads_[j].hash != fatHeads_[i].hash) continue;
            pairs.emplace_back(fatHeads_[i].sector, fatHeads_[j].sector);
            media.push_back(fatHeads_[i].media);
            paired[i] = paired[j] = true;
        }
    }
    for (const std::unique_ptr<CFATSearchedPartitionInfo>& v : accepted_) CheckLayout(*v, pairs);

    // Copies no accepted volume holds: a volume whose boot sector is refused or lost.
    const uint64_t deviceEnd = device_ ? device_->GetSectorCount() : 0;
    for (size_t k = 0; k < pairs.size(); ++k) {
        const uint64_t a = pairs[k].first, spf = pairs[k].second - a;
        if (InsideAccepted(a)) continue;
        uint64_t end = k + 1 < pairs.size() ? std::min(deviceEnd, pairs[k + 1].first) : deviceEnd;
        for (const std::unique_ptr<CFATSearchedPartitionInfo>& v : accepted_)
            if (v->volumeStart > a) end = std::min(end, v->volumeStart);
        // The first boot sector between the copies before and these, when it still looks like this
        // volume's (a FAT one, or its media byte is the one its FATs begin with): a FAT32's main one
        // rather than its backup.
        const uint64_t after = k > 0 ? 2 * pairs[k - 1].second - pairs[k - 1].first : 0;
        const BootHint* hint = nullptr;
        for (const BootHint& h : bootHints_)
            if (!hint && h.sector >= after && h.sector < a && a - h.sector <= 0xFFFF && !InsideAccepted(h.sector) &&
                (LooksLikeAFatBootSector(h.bytes) || h.bytes[kFatBootMedia] == media[k]))
                hint = &h;
        FatGeometry g;
        if (!LayOutFromParts(a, static_cast<uint32_t>(spf), RootFoldersBetween(a + 2 * spf, end),
                             hint ? hint->bytes : nullptr, hint ? hint->sector : 0, end, sectorSize_, &g)) {
            // Two sectors alike that begin as a FAT does, with neither a boot sector nor folders to
            // make them a volume's, are no evidence of one.
            if (!hint) {
                RK_LOG("[FAT] sectors %llu and %llu begin alike as a FAT does, but nothing lays out a volume around "
                       "them", static_cast<unsigned long long>(a), static_cast<unsigned long long>(a + spf));
                continue;
            }
            SayReadInPart("FAT: the volume at sector %llu: its boot sector is refused for %s, and its folders do not "
                          "tell where the clusters after its two FAT copies (sectors %llu and %llu) lie: it is lost",
                          static_cast<unsigned long long>(hint->sector),
                          WhyNoFatBootSector(hint->bytes, sectorSize_).c_str(), static_cast<unsigned long long>(a),
                          static_cast<unsigned long long>(a + spf));
            continue;
        }
        std::unique_ptr<CFATSearchedPartitionInfo> v = NewCandidate(g, sectorSize_);
        if (!v) continue;
        v->score = Score(*v);
        v->index = static_cast<uint16_t>(accepted_.size());
        const std::string boot = hint ? "its boot sector refused for " + FieldsThatDisagree(hint->bytes, g, sectorSize_)
                                      : "no boot sector before them";
        RK_LOG("%sFAT: the volume at sector %llu is laid out by its two FAT copies (sectors %llu and %llu) and its "
               "folders, %s: FAT%d, clusters of %u sector%s from sector %llu",
               kLogWarningPrefix, static_cast<unsigned long long>(v->volumeStart), static_cast<unsigned long long>(a),
               static_cast<unsigned long long>(a + spf), boot.c_str(),
               v->kind == FAT_VARIANT_12 ? 12 : v->kind == FAT_VARIANT_16 ? 16 : 32, v->sectorsPerCluster,
               v->sectorsPerCluster == 1 ? "" : "s", static_cast<unsigned long long>(v->dataStart));
        try {
            accepted_.push_back(std::move(v));
        } catch (const std::bad_alloc&) {
            return;
        }
    }

    // A FAT boot sector that no volume holds: one no test takes, one whose volume the device ends
    // inside: its volume is lost, and said. (One the tests take whose FAT copies are not where it
    // puts them is the quick search's, which reads it without them.)
    // A boot sector inside a volume said so (a FAT32's backup) is that volume's.
    uint64_t saidUntil = 0;
    for (const BootHint& h : bootHints_) {
        if (h.sector < saidUntil || InsideAccepted(h.sector) || !LooksLikeAFatBootSector(h.bytes)) continue;
        const uint32_t variant = DetectFatVariant(h.bytes, sectorSize_);
        const FatBootSector view{h.bytes, variant, sectorSize_};
        if (variant == FAT_VARIANT_NONE)
            SayReadInPart("FAT: the volume at sector %llu: its boot sector is refused for %s, and no two FAT copies "
                          "that would lay it out were found: it is lost", static_cast<unsigned long long>(h.sector),
                          WhyNoFatBootSector(h.bytes, sectorSize_).c_str());
        else if (h.sector + view.TotalSectors() > deviceEnd)
            SayVolumePastDeviceEnd(h.sector, deviceEnd - h.sector, view.TotalSectors());
        else
            continue;
        saidUntil = h.sector + std::max<uint64_t>(FatBootSector{h.bytes, FAT_VARIANT_16, sectorSize_}.TotalSectors(), 1);
    }
}

int CFATCompleteFSearcher::EndSearch() {
    SelectFatVolumes(accepted_);
    LayOutByParts();
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
    if (!(v.evidenceFlags & (kBootEvidence | FAT_LAID_OUT_BY_PARTS))) return;
    PrepareVolumeWalk(ctx, fat.get(), recordedSectors, v.volumeLength);
    ReadVolumeTree(ctx);
}
