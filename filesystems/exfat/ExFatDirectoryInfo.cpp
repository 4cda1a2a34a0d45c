#include "filesystems/exfat/ExFatDirectoryInfo.h"

#include <algorithm>
#include <new>

#include "filesystems/exfat/ExFatLayout.h"

using namespace exfat;

namespace {

// The smallest power of two at or above value, at most 2^31.
uint32_t PowerOfTwoAtLeast(uint64_t value) {
    uint64_t p = 1;
    while (p < value && p < 0x80000000ULL) p <<= 1;
    return static_cast<uint32_t>(p);
}

bool IsHeapClusterNumber(uint32_t cluster) { return cluster >= kFirstCluster && cluster <= kLastValidCluster; }

// Calls visit(run) for a run and the runs chained after it, at most kMostChainRuns of them.
template <typename Visit>
bool ForChain(const ExFatDirectoryInfo* run, Visit visit) {
    for (size_t n = 0; run && n < ExFatDirectoryInfo::kMostChainRuns; run = run->next, ++n)
        if (!visit(*run)) return false;
    return true;
}

}  // namespace

bool ExFatClusterClaims::Claim(uint64_t first, uint64_t count) {
    if (count == 0) return true;
    const uint64_t end = first + count;
    auto after = claimed_.upper_bound(first);
    if (after != claimed_.end() && after->first < end) return false;
    if (after != claimed_.begin() && std::prev(after)->second > first) return false;
    try {
        claimed_.emplace_hint(after, first, end);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void ExFatDirectoryInfo::FinishSet(const ExFatEntryRecord& record) {
    if (IsHeapClusterNumber(record.firstCluster))
        lowestFirstCluster = std::min(lowestFirstCluster, record.firstCluster);
    highestFirstCluster = std::max(highestFirstCluster, record.firstCluster);
    if (record.IsDirectory() && !(record.changed & ExFatEntryRecord::kLengthPastDevice)) {
        // Every folder's length is a whole number of clusters: its lowest set bit bounds the cluster.
        const uint32_t low = static_cast<uint32_t>(record.dataLength);
        directoryBound = std::min(directoryBound, low ? (low & (~low + 1)) : 1u);
    }
    try {
        if (!record.inUse) {
            deleted.push_back(record);
            return;
        }
        live.push_back(record);
        if (record.IsDirectory()) subdirectories.push_back({record.firstCluster, record.dataLength});
    } catch (const std::bad_alloc&) {
        // The set is lost; the run goes on.
    }
}

void ExFatDirectoryInfo::SetVolumeLabel(const uint8_t* e) {
    flags |= kHasLabel;
    const uint8_t count = e[kLabelCount];
    if (count == 0 || count > kLabelMaxUnits || LoadLE16(e + kLabelText) == 0) return;
    for (uint8_t i = 0; i < count; ++i) label[i] = LoadLE16(e + kLabelText + 2 * i);
    label[count] = 0;
}

void ExFatDirectoryInfo::SetAllocationBitmap(const uint8_t* e) {
    flags |= kHasBitmap;
    const uint32_t first = LoadLE32(e + kSystemFirstCluster);
    if (first < kLastValidCluster) firstClusterAboveSystem = std::max(firstClusterAboveSystem, first + 1);
    bitmapClusterCount = static_cast<uint32_t>(LoadLE64(e + kSystemDataLength) * 8);
    bitmapFirstCluster = first;
    bitmapDataLength = LoadLE64(e + kSystemDataLength);
}

void ExFatDirectoryInfo::SetUpcaseTable(const uint8_t* e) {
    flags |= kHasUpcase;
    const uint32_t first = LoadLE32(e + kSystemFirstCluster);
    if (first < kLastValidCluster) firstClusterAboveSystem = std::max(firstClusterAboveSystem, first + 1);
    upcaseFirstCluster = first;
    upcaseDataLength = LoadLE64(e + kSystemDataLength);
}

void ExFatDirectoryInfo::Finish(uint32_t sectorShift) {
    if (finished) return;
    finished = true;
    std::stable_sort(live.begin(), live.end(), [](const ExFatEntryRecord& a, const ExFatEntryRecord& b) {
        return a.firstCluster < b.firstCluster;
    });
    // A contiguous file at cluster c followed by the next file at c' fits in c' - c clusters, so a
    // cluster holds at least DataLength / (c' - c) bytes.
    const ExFatEntryRecord* previousRecord = nullptr;
    for (const ExFatEntryRecord& r : live) {
        if (!IsHeapClusterNumber(r.firstCluster) || (r.changed & ExFatEntryRecord::kLengthPastDevice)) continue;
        if (previousRecord && previousRecord->noFatChain) {
            uint64_t gap = r.firstCluster - previousRecord->firstCluster;
            if (gap == 0) gap = 0xFFFFFFFF;
            const uint64_t estimate = (previousRecord->dataLength + gap - 1) / gap;
            if (estimate > lowerBound) lowerBound = PowerOfTwoAtLeast(estimate);
        }
        previousRecord = &r;
    }
    lowerBound >>= sectorShift;
    if (lowerBound == 0) lowerBound = 1;
    directoryBound >>= sectorShift;
}

bool ExFatDirectoryInfo::ClaimClusters(ExFatClusterClaims& used, uint32_t bytesPerCluster) const {
    if (bytesPerCluster == 0) return false;
    return ForChain(this, [&](const ExFatDirectoryInfo& run) {
        for (const ExFatEntryRecord& r : run.live) {
            if (!IsHeapClusterNumber(r.firstCluster)) continue;
            uint64_t count = 1;
            // A length past the device tells nothing of the clusters after its first.
            if (r.noFatChain && r.dataLength > bytesPerCluster && !(r.changed & ExFatEntryRecord::kLengthPastDevice))
                count = (r.dataLength + bytesPerCluster - 1) / bytesPerCluster;
            if (r.firstCluster + count - 1 > kLastValidCluster) return false;
            if (!used.Claim(r.firstCluster, count)) return false;
        }
        return true;
    });
}

void ExFatDirectoryInfo::CollectSubdirectories(std::vector<Subdirectory>& out) const {
    ForChain(this, [&](const ExFatDirectoryInfo& run) {
        out.insert(out.end(), run.subdirectories.begin(), run.subdirectories.end());
        return true;
    });
}

void ExFatDirectoryInfo::Reset() {
    live.clear();
    deleted.clear();
    subdirectories.clear();
    lowestFirstCluster = kNoLowest;
    highestFirstCluster = 0;
    lowerBound = kStartLowerBound;
    directoryBound = kStartDirectoryBound;
    firstSector = kNoSector;
    sectorCount = 0;
    flags = 0;
    firstClusterAboveSystem = 2;
    bitmapClusterCount = 0;
    bitmapFirstCluster = 0;
    bitmapDataLength = 0;
    upcaseFirstCluster = 0;
    upcaseDataLength = 0;
    label[0] = 0;
    next = previous = nullptr;
    finished = false;
}
