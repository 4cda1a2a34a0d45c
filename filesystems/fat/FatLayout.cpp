#include "filesystems/fat/FatLayout.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <new>

#include "filesystems/fat/FatBootSector.h"
#include "filesystems/fat/FatDirectoryEntry.h"
#include "sqlite_recovery/framework/ByteOrder.h"
#include "sqlite_recovery/framework/IStorageDevice.h"

namespace {

constexpr int kMostFoldersChecked = 8;
constexpr uint32_t kMostRootSectorsRead = 4;
constexpr size_t kMostFoldersVoting = 64;

bool IsPowerOfTwoCluster(uint64_t spc) { return spc != 0 && spc <= 128 && (spc & (spc - 1)) == 0; }

bool TextAt(const uint8_t* s, int at, const char* text) {
    for (int i = 0; i < 8; ++i)
        if (std::toupper(s[at + i]) != static_cast<unsigned char>(text[i])) return false;
    return true;
}

}  // namespace

bool BeginsLikeAFat(const uint8_t* s) { return (s[0] == 0xF0 || s[0] >= 0xF8) && s[1] == 0xFF && s[2] == 0xFF; }

bool BeginsLikeAFatAlone(const uint8_t* s) { return BeginsLikeAFat(s) && s[0] != 0xFF; }

bool BeginsLikeAFolder(const uint8_t* s) { return IsDotEntry(s) && IsDotDotEntry(s + kFatEntrySize); }

bool BeginsLikeARoot(const uint8_t* e) {
    if (e[0] == 0x00) return true;
    const uint8_t attr = e[kFatEntryAttributes];
    if (attr == kFatAttrLongName) return (e[0] & ~0x40) >= 1 && (e[0] & ~0x40) <= 20 && LoadLE16(e + 26) == 0;
    if (e[0] == '.' || (attr & 0xC0) || !IsPlausibleFatEntry(e, false)) return false;
    for (int i = 0; i < 11; ++i)
        if (e[i] < 0x20 && !(i == 0 && e[i] == 0x05)) return false;
    return true;
}

FolderFit RootFoldersFit(IStorageDevice* device, uint32_t ss, uint64_t rootSector, uint32_t rootSectors,
                         uint64_t dataStart, uint32_t spc, uint64_t clusterCount) {
    FolderFit fit;
    const uint32_t n = std::min(rootSectors, kMostRootSectorsRead);
    if (!device || ss < kFatEntrySize * 2 || n == 0 || spc == 0) return fit;
    std::unique_ptr<uint8_t[]> root(new (std::nothrow) uint8_t[static_cast<size_t>(n) * ss]);
    std::unique_ptr<uint8_t[]> sector(new (std::nothrow) uint8_t[ss]);
    if (!root || !sector || !device->ReadSectors(root.get(), rootSector, n)) return fit;
    fit.rootRead = true;
    fit.rootBegins = BeginsLikeARoot(root.get());
    fit.rootEmpty = root[0] == 0x00;
    int checked = 0;
    for (size_t at = 0; at + kFatEntrySize <= static_cast<size_t>(n) * ss && checked < kMostFoldersChecked;
         at += kFatEntrySize) {
        const uint8_t* e = root.get() + at;
        if (e[0] == 0x00) break;
        const uint8_t attr = e[kFatEntryAttributes];
        if (e[0] == kFatDeletedMark || e[0] == '.' || attr == kFatAttrLongName || (attr & kFatAttrVolumeLabel) ||
            !(attr & kFatAttrDirectory) || !IsPlausibleFatEntry(e, false))
            continue;
        const uint32_t c = FatEntryFirstCluster(e);
        if (c < 2 || c > clusterCount + 1) continue;
        ++checked;
        if (!device->ReadSectors(sector.get(), dataStart + static_cast<uint64_t>(c - 2) * spc, 1)) continue;
        if (BeginsLikeAFolder(sector.get()) && FatEntryFirstCluster(sector.get()) == c) ++fit.fits;
        else ++fit.misfits;
    }
    return fit;
}

bool LayoutStands(const FolderFit& fit, bool fatSeen) {
    if (fit.fits + fit.misfits == 0) return fatSeen && (fit.rootBegins || !fit.rootRead);
    return fit.fits > fit.misfits;
}

bool LayOutByFolders(const std::vector<FatDotSector>& rootFolders, uint64_t lowestDataStart, uint64_t* dataStart,
                     uint32_t* sectorsPerCluster) {
    std::vector<FatDotSector> dots;
    for (const FatDotSector& d : rootFolders)
        if (d.sector >= lowestDataStart && d.cluster >= 2 && dots.size() < kMostFoldersVoting) dots.push_back(d);
    std::map<std::pair<uint64_t, uint32_t>, int> votes;
    for (size_t i = 0; i < dots.size(); ++i)
        for (size_t j = i + 1; j < dots.size(); ++j) {
            const FatDotSector& lo = dots[i].cluster < dots[j].cluster ? dots[i] : dots[j];
            const FatDotSector& hi = dots[i].cluster < dots[j].cluster ? dots[j] : dots[i];
            if (lo.cluster == hi.cluster || hi.sector <= lo.sector) continue;
            const uint64_t sectors = hi.sector - lo.sector, clusters = hi.cluster - lo.cluster;
            if (sectors % clusters != 0 || !IsPowerOfTwoCluster(sectors / clusters)) continue;
            const uint32_t spc = static_cast<uint32_t>(sectors / clusters);
            const uint64_t before = static_cast<uint64_t>(lo.cluster - 2) * spc;
            if (before > lo.sector || lo.sector - before < lowestDataStart) continue;
            ++votes[{lo.sector - before, spc}];
        }
    const std::pair<const std::pair<uint64_t, uint32_t>, int>* best = nullptr;
    for (const auto& v : votes)
        if (!best || v.second > best->second) best = &v;
    if (!best) return false;
    *dataStart = best->first.first;
    *sectorsPerCluster = best->first.second;
    return true;
}

std::string WhyNoFatBootSector(const uint8_t* s, uint32_t ss) {
    const uint32_t bps = LoadLE16(s + 11);
    if (bps != ss) return "its bytes per sector (" + std::to_string(bps) + ")";
    if (s[16] != 2) return "its number of FATs (" + std::to_string(s[16]) + ")";
    if (!IsPowerOfTwoCluster(s[13])) return "its sectors per cluster (" + std::to_string(s[13]) + ")";
    const bool small = TextAt(s, 54, "FAT12   ") || TextAt(s, 54, "FAT16   ");
    if (!small && !TextAt(s, 82, "FAT32   ")) return "its type text";
    if (small && (LoadLE16(s + 17) == 0 || (LoadLE16(s + 17) * 32u) % ss != 0))
        return "its root entries (" + std::to_string(LoadLE16(s + 17)) + ")";
    return "its reserved sectors, FAT size or total sectors";
}

std::string FieldsThatDisagree(const uint8_t* s, const FatGeometry& g, uint32_t ss) {
    std::string out;
    const auto field = [&](const char* name, uint64_t value, uint64_t laidOut) {
        if (value == laidOut) return;
        out += (out.empty() ? "its " : ", its ") + std::string(name) + " (" + std::to_string(value) + ")";
    };
    const bool fat32 = g.variant == FAT_VARIANT_32;
    // Counts in sectors larger than the device's are counted in the device's.
    const uint32_t bps = LoadLE16(s + 11);
    const uint64_t scale = bps > ss && bps <= 4096 && bps % ss == 0 && IsPowerOfTwoCluster(bps / ss) ? bps / ss : 1;
    field("bytes per sector", bps, ss);
    field("sectors per cluster", s[13] * scale, g.sectorsPerCluster);
    field("reserved sectors", LoadLE16(s + 14) * scale, g.reservedSectors);
    field("number of FATs", s[16], 2);
    if (!fat32) field("root entries", LoadLE16(s + 17), static_cast<uint64_t>(g.root) * ss / 32);
    field("sectors per FAT", (fat32 ? LoadLE32(s + 36) : LoadLE16(s + 22)) * scale, g.sectorsPerFat);
    return out.empty() ? WhyNoFatBootSector(s, ss) : out;
}

bool LayOutFromParts(uint64_t fatStart, uint32_t spf, const std::vector<FatDotSector>& rootFolders,
                     const uint8_t* hint, uint64_t hintSector, uint64_t end, uint32_t ss, FatGeometry* out) {
    if (spf == 0 || ss == 0) return false;
    // The hint's counts are in its own sectors, which may be larger than the device's.
    const uint32_t bps = hint ? LoadLE16(hint + 11) : 0;
    const uint32_t scale = bps > ss && bps <= 4096 && bps % ss == 0 && IsPowerOfTwoCluster(bps / ss) ? bps / ss : 1;
    const uint64_t fatsEnd = fatStart + 2ULL * spf;
    uint64_t dataStart = 0;
    uint32_t spc = 0;
    if (!LayOutByFolders(rootFolders, fatsEnd, &dataStart, &spc)) {
        // No two folders of the root to tell it: the hint's cluster size, and its root entries
        // (none on FAT32, whose 16-bit FAT size is 0).
        if (!hint || !IsPowerOfTwoCluster(hint[13] * scale)) return false;
        spc = hint[13] * scale;
        const uint32_t entries = LoadLE16(hint + 17);
        if (LoadLE16(hint + 22) == 0) dataStart = fatsEnd;
        else if (entries != 0 && (entries * 32u) % ss == 0) dataStart = fatsEnd + entries * 32u / ss;
        else return false;
    }
    const bool fat32 = dataStart == fatsEnd;
    const uint64_t start = hint && fatStart - hintSector <= 0xFFFF ? hintSector : fatStart;
    uint64_t length = end > start ? end - start : 0;
    if (hint) {
        const uint64_t total = (LoadLE16(hint + 19) != 0 ? LoadLE16(hint + 19) : LoadLE32(hint + 32)) * scale;
        if (start + total > dataStart && total < length) length = total;
    }
    if (start + length <= dataStart) return false;
    uint64_t clusters = (start + length - dataStart) / spc;
    // FAT12 or FAT16 as the hint's type text says, else by the clusters.
    const bool said12 = hint && TextAt(hint, 54, "FAT12   "), said16 = hint && TextAt(hint, 54, "FAT16   ");
    const uint64_t bits = fat32 ? 32 : said12 ? 12 : said16 ? 16 : clusters < 4085 ? 12 : 16;
    const uint64_t entries = static_cast<uint64_t>(spf) * ss * 8 / bits;
    if (entries < 3) return false;
    clusters = std::min<uint64_t>(clusters, std::min<uint64_t>(entries - 2, 0x0FFFFFF5));
    if (clusters == 0) return false;

    FatGeometry g;
    g.variant = fat32 ? FAT_VARIANT_32 : bits == 12 ? FAT_VARIANT_12 : FAT_VARIANT_16;
    g.volumeStart = start;
    g.volumeLength = length;
    g.dataStart = dataStart;
    g.sectorsPerCluster = spc;
    g.clusterCount = static_cast<uint32_t>(clusters);
    g.reservedSectors = static_cast<uint16_t>(fatStart - start);
    g.sectorsPerFat = spf;
    if (fat32) {
        const uint32_t root = hint ? LoadLE32(hint + 44) : 0;
        g.root = root >= 2 && root <= clusters + 1 ? root : 2;
    } else {
        g.root = static_cast<uint32_t>(dataStart - fatsEnd);
    }
    g.flags = FAT_SEEN_FIRST_FAT | FAT_USE_FIRST_FAT | FAT_SEEN_SECOND_FAT | FAT_USE_SECOND_FAT | FAT_LAID_OUT_BY_PARTS;
    *out = g;
    return true;
}
