#include "filesystems/exfat/ExFatAllocationBitmap.h"

#include <algorithm>
#include <new>

#include "filesystems/exfat/ExFatVolume.h"
#include "media_recovery/file_model/CDataRunList.h"
#include "sqlite_recovery/framework/IStorageDevice.h"

bool ExFatAllocationBitmap::Read(const ExFatVolume& volume, IStorageDevice* device, uint32_t firstCluster,
                                 uint64_t length) {
    bits_.clear();
    clusters_ = 0;
    const uint32_t sectorSize = device ? device->GetSectorSize() : 0;
    if (!sectorSize || !volume.clusterSize || length == 0 || length > kMostBytes || !volume.IsHeapCluster(firstCluster))
        return false;
    if (volume.clusterCount && length * 8 < volume.clusterCount) return false;
    const uint64_t ownClusters = (length + volume.clusterSize - 1) / volume.clusterSize;
    if (ownClusters > volume.ClusterLimit() - firstCluster) return false;
    const uint64_t first = volume.ClusterSector(firstCluster), sectors = (length + sectorSize - 1) / sectorSize;
    if (first >= device->GetSectorCount() || sectors > device->GetSectorCount() - first) return false;
    try {
        bits_.assign(static_cast<size_t>(sectors * sectorSize), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!device->ReadSectors(bits_.data(), first, sectors)) {
        bits_.clear();
        return false;
    }
    bits_.resize(static_cast<size_t>(length));
    clusters_ = std::min<uint64_t>(length * 8, volume.ClusterLimit() - 2);
    return true;
}

bool ExFatAllocationBitmap::MarksAll(uint64_t first, uint64_t count) const {
    for (uint64_t c = first; c < first + count; ++c)
        if (!Marks(c)) return false;
    return true;
}

bool ExFatAllocationBitmap::MarksNone(uint64_t first, uint64_t count) const {
    for (uint64_t c = first; c < first + count; ++c)
        if (Marks(c)) return false;
    return true;
}

CDataRunList* ExFatAllocationBitmap::RunsInUse() const {
    CDataRunList* list = CreateDataRunList();
    if (!list) return nullptr;
    for (uint64_t n = 0; n < clusters_;) {
        const uint8_t byte = bits_[static_cast<size_t>(n >> 3)];
        // Whole bytes free or in use are stepped over at once.
        if ((n & 7) == 0 && (byte == 0 || byte == 0xFF) && n + 8 <= clusters_) {
            if (byte) {
                DataRun run(static_cast<int64_t>(n), 8);
                list->AppendRun(&run);
            }
            n += 8;
            continue;
        }
        if ((byte >> (n & 7)) & 1) {
            DataRun run(static_cast<int64_t>(n), 1);
            list->AppendRun(&run);
        }
        ++n;
    }
    return list;
}
