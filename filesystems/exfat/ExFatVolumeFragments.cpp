#include "filesystems/exfat/ExFatVolumeFragments.h"

#include <new>

#include "filesystems/exfat/ExFatDirectoryInfo.h"
#include "filesystems/exfat/ExFatVolume.h"

void TakeFragmentChain(ExFatVolume& volume, ExFatDirectoryInfo* fragment, bool mark) {
    for (size_t n = 0; fragment && n < ExFatDirectoryInfo::kMostChainRuns; fragment = fragment->next, ++n) {
        try {
            if (volume.takenRuns.insert(fragment).second) AddFragmentKey(volume, fragment->firstSector);
            if (mark) {
                fragment->flags |= ExFatDirectoryInfo::kMarked;
                volume.runMarks[fragment->firstSector] = 1;
            }
        } catch (const std::bad_alloc&) {
            return;
        }
    }
}

void TakeFragmentList(const std::vector<ExFatDirectoryInfo*>& fragments, ExFatVolume& volume, uint32_t value,
                      bool mark) {
    for (ExFatDirectoryInfo* f : fragments) {
        TakeFragmentChain(volume, f, mark);
        if (!mark) continue;
        try {
            volume.runMarks[f->firstSector] = value;
        } catch (const std::bad_alloc&) {
            return;
        }
    }
}

bool IsFragmentTaken(const ExFatVolume& volume, const ExFatDirectoryInfo* fragment) {
    return volume.takenRuns.count(const_cast<ExFatDirectoryInfo*>(fragment)) != 0;
}

bool FragmentInsideVolume(const ExFatVolume& volume, const ExFatDirectoryInfo* f) {
    const int64_t first = static_cast<int64_t>(f->firstSector);
    const int64_t heap = static_cast<int64_t>(volume.heapStart);
    const int64_t last = first + static_cast<int64_t>(f->sectorCount ? f->sectorCount - 1 : 0);
    return first >= heap + 2 * static_cast<int64_t>(volume.sectorsPerCluster) &&
           last < heap + static_cast<int64_t>(volume.volumeLength);
}

bool IsOwnClusterBeforeFiles(const ExFatDirectoryInfo* f, const ExFatVolume& volume, uint32_t bytesPerSector) {
    if (f->firstSector < volume.heapStart || volume.sectorsPerCluster == 0) return false;
    const uint64_t own = (f->firstSector - volume.heapStart) / volume.sectorsPerCluster + 2;
    ExFatClusterClaims used;
    if (!used.Claim(own, 1)) return false;
    if (!f->ClaimClusters(used, volume.sectorsPerCluster * bytesPerSector)) return false;
    return own + 1 == f->lowestFirstCluster;
}

bool AddFragmentKey(ExFatVolume& volume, uint64_t sector) {
    const bool aligned = volume.sectorsPerCluster != 0 &&
                         ((sector - volume.heapStart) & (volume.sectorsPerCluster - 1)) == 0;
    try {
        (aligned ? volume.alignedKeys : volume.misalignedKeys).push_back(sector);
    } catch (const std::bad_alloc&) {
        // The run's files stay unlisted.
    }
    return true;
}

void MergeMisalignedKeys(ExFatVolume& volume, uint32_t bytesPerSector) {
    volume.sectorSize = bytesPerSector;
    bool limited = false;
    uint64_t limit = 0;
    if (volume.evidence & EXFAT_EVIDENCE_BOOT) {
        limit = volume.heapStart + volume.volumeLength;
        limited = true;
    } else if (!volume.alignedKeys.empty()) {
        limit = volume.alignedKeys.back();
        limited = true;
    }
    if (!limited) return;
    for (uint64_t key : volume.misalignedKeys) {
        if (key >= limit) break;
        try {
            volume.alignedKeys.push_back(key);
        } catch (const std::bad_alloc&) {
            return;
        }
    }
}
