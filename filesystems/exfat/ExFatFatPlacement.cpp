#include "filesystems/exfat/ExFatFatPlacement.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "filesystems/exfat/ExFatEntryRecord.h"
#include "filesystems/exfat/ExFatLayout.h"
#include "filesystems/exfat/ExFatVolume.h"
#include "sqlite_recovery/framework/IStorageDevice.h"

using namespace exfat;

namespace {

uint64_t SectorsFor(uint64_t bytes, uint64_t sectorSize) { return (bytes + sectorSize - 1) / sectorSize; }

}  // namespace

bool ExFatFatPlacement::ChainFits(const ExFatEntryRecord& file) {
    const uint64_t needed = (file.dataLength + volume_.clusterSize - 1) / volume_.clusterSize;
    uint32_t cluster = file.firstCluster;
    for (uint64_t k = 1; k < needed && k < kMostChainSteps; ++k) {
        cluster = volume_.fat.NextCluster(cluster);
        if (!volume_.IsHeapCluster(cluster)) return false;
    }
    return needed > kMostChainSteps || volume_.fat.NextCluster(cluster) == kNoCluster;
}

ExFatFatPlacement::Agreement ExFatFatPlacement::Check(const std::vector<const ExFatEntryRecord*>& files) {
    Agreement a;
    for (const ExFatEntryRecord* file : files) ++(ChainFits(*file) ? a.agree : a.disagree);
    return a;
}

bool ExFatFatPlacement::Place(const std::vector<uint64_t>& fatStarts, const std::vector<const ExFatEntryRecord*>& records) {
    volume_.fat.Close();
    const uint64_t sectorSize = device_ ? device_->GetSectorSize() : 0;
    if (!sectorSize || !volume_.sectorsPerCluster || !volume_.clusterSize) return false;
    const uint64_t deviceSectors = device_->GetSectorCount();
    if (volume_.heapStart >= deviceSectors) return false;

    // The live chained files are the witnesses; the FAT must hold an entry for every cluster named.
    std::vector<const ExFatEntryRecord*> files;
    uint64_t highest = volume_.clusterCount ? uint64_t{volume_.clusterCount} + 1 : 0;
    for (const ExFatEntryRecord* r : records) {
        if (!volume_.IsHeapCluster(r->firstCluster)) continue;
        highest = std::max<uint64_t>(highest, r->firstCluster);
        if (r->inUse && !r->noFatChain && r->dataLength > 0 && !(r->changed & ExFatEntryRecord::kLengthPastDevice) &&
            files.size() < kMostFilesChecked)
            files.push_back(r);
    }
    if (files.empty()) return false;
    const uint64_t clusters = volume_.clusterCount
                                  ? volume_.clusterCount
                                  : std::min<uint64_t>((deviceSectors - volume_.heapStart) / volume_.sectorsPerCluster,
                                                       kLastValidCluster - 1);
    const uint64_t fewest = SectorsFor((highest + 1) * 4, sectorSize);
    const uint64_t fatSectors = std::min<uint64_t>(SectorsFor((clusters + 2) * 4, sectorSize), 0xFFFFFFFFu);
    const uint64_t farthest = fatSectors + kMostAlignmentBytes / sectorSize;

    // Nearest the heap first.
    std::vector<std::pair<uint64_t, uint64_t>> starts;  // distance, sector
    for (uint64_t s : fatStarts)
        if (s < volume_.heapStart && volume_.heapStart - s >= fewest && volume_.heapStart - s <= farthest)
            starts.emplace_back(volume_.heapStart - s, s);
    std::sort(starts.begin(), starts.end());
    if (starts.size() > kMostStartsTried) starts.resize(kMostStartsTried);

    // Each start is read as a FAT of its length: up to the heap, at most the FAT of every cluster.
    std::vector<std::pair<uint64_t, uint32_t>> sound;  // sector, length
    for (const auto& [distance, sector] : starts) {
        const uint32_t length = static_cast<uint32_t>(std::min(distance, fatSectors));
        volume_.fat.Open(device_, sector, length);
        if (!volume_.fat.IsOpen()) continue;
        const Agreement a = Check(files);
        volume_.fat.Close();
        if (a.Sound()) sound.emplace_back(sector, length);
    }
    if (sound.empty()) return false;
    // Two that every file agrees with are one table only when they hold the same entries (a volume's second
    // FAT); otherwise one is an older copy, and which one the files' chains are in is not known.
    std::sort(sound.begin(), sound.end());
    for (size_t i = 1; i < sound.size(); ++i)
        if (!SameEntries(sound[0].first, sound[i].first, std::min(sound[0].second, sound[i].second))) return false;
    volume_.fat.Open(device_, sound[0].first, sound[0].second);
    placedAt_ = sound[0].first;
    return volume_.fat.IsOpen();
}

bool ExFatFatPlacement::SameEntries(uint64_t a, uint64_t b, uint64_t sectors) {
    // Tables that overlap are compared up to where the second begins.
    sectors = std::min(sectors, b - a);
    const uint64_t sectorSize = device_->GetSectorSize();
    const uint64_t step = std::max<uint64_t>(kCompareBytes / sectorSize, 1);
    std::vector<uint8_t> first(static_cast<size_t>(step * sectorSize)), second(first.size());
    for (uint64_t done = 0; done < sectors; done += step) {
        const uint64_t count = std::min(step, sectors - done);
        if (!device_->ReadSectors(first.data(), a + done, count) || !device_->ReadSectors(second.data(), b + done, count) ||
            std::memcmp(first.data(), second.data(), static_cast<size_t>(count * sectorSize)) != 0)
            return false;
    }
    return true;
}
