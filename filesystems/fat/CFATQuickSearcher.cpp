#include "filesystems/fat/CFATQuickSearcher.h"

#include <algorithm>
#include <memory>
#include <new>

#include "filesystems/fat/CDoubleFATTable.h"
#include "filesystems/frame/CFATSearchedPartitionInfo.h"
#include "filesystems/fat/FatBootSector.h"
#include "filesystems/fat/FatDirectoryReader.h"
#include "filesystems/fat/FatLayout.h"
#include "media_recovery/file_model/IDirecotryTreeBuilder.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "sqlite_recovery/framework/IStorageDevice.h"
#include "sqlite_recovery/framework/Logger.h"

namespace {

// Evidence preset of the quick path: both boot sectors and both FAT copies, as though seen.
constexpr uint32_t kQuickEvidence = FAT_SEEN_FAT32_BOOT | FAT_SEEN_FAT32_BACKUP | FAT_SEEN_FIRST_FAT |
                                    FAT_USE_FIRST_FAT | FAT_SEEN_SECOND_FAT | FAT_USE_SECOND_FAT;
static_assert(kQuickEvidence == 0x3CC, "quick-search evidence");

struct QuickGeometry {
    uint32_t variant = FAT_VARIANT_NONE;
    uint64_t dataStart = 0;
    uint64_t rootStart = 0;
    uint64_t total = 0;
    uint32_t clusterCount = 0;
    uint64_t recordedClusters = 0;  // as the boot sector gives them, the device's end aside
    uint64_t recordedTotal = 0;
};

// The volume at sector 0 as its boot sector describes it, clipped to the device. False when the FATs
// and the data area do not fit the volume, or the FAT32 root is no data cluster of it.
bool QuickLayout(const uint8_t* sector, uint32_t sectorSize, uint64_t deviceSectors, QuickGeometry* out) {
    QuickGeometry g;
    g.variant = DetectFatVariant(sector, sectorSize);
    if (g.variant == FAT_VARIANT_NONE) return false;
    FatBootSector view{sector, g.variant, sectorSize};
    const uint64_t fats = view.ReservedSectors() + static_cast<uint64_t>(view.NumberOfFats()) * view.SectorsPerFat();
    g.rootStart = fats;
    g.dataStart = g.variant == FAT_VARIANT_32 ? fats : fats + view.RootDirectorySectors();
    g.recordedTotal = view.TotalSectors();
    g.total = std::min<uint64_t>(g.recordedTotal, deviceSectors);
    if (static_cast<uint64_t>(view.NumberOfFats()) * view.SectorsPerFat() > view.TotalSectors()) return false;
    // The volume's data area as its boot sector gives it; the device may end before it (a cut
    // image), and then holds none of its clusters.
    if (g.dataStart >= g.recordedTotal) return false;
    g.recordedClusters = (g.recordedTotal - g.dataStart) / view.SectorsPerCluster();
    if (g.recordedClusters == 0 || g.recordedClusters > 0x0FFFFFF5) return false;
    g.clusterCount = g.total > g.dataStart ? static_cast<uint32_t>((g.total - g.dataStart) / view.SectorsPerCluster()) : 0;
    if (g.variant == FAT_VARIANT_32 && (view.RootCluster() < 2 || view.RootCluster() > g.recordedClusters + 1))
        return false;
    *out = g;
    return true;
}

// How well the volume's parts lie where its boot sector puts them: the root's folders, or (a root
// without any) the FAT copies and a root that begins as one does. A FAT32 root with no entry at
// all holds only weakly: an edited root cluster may lead to a free one.
enum Holding { kContradicted, kHoldsWeakly, kHolds };
Holding LayoutHolds(IStorageDevice* device, const FatBootSector& view, const QuickGeometry& g) {
    const uint32_t ss = view.sectorSize;
    std::unique_ptr<uint8_t[]> probe(new (std::nothrow) uint8_t[ss]);
    if (!probe) return kHolds;
    // Each FAT copy the device holds begins as a FAT does.
    int read = 0, seen = 0;
    for (uint64_t at : {static_cast<uint64_t>(view.ReservedSectors()),
                        static_cast<uint64_t>(view.ReservedSectors()) + view.SectorsPerFat()})
        if (device->ReadSectors(probe.get(), at, 1)) {
            ++read;
            seen += BeginsLikeAFat(probe.get());
        }
    const bool fatSeen = read > 0 && seen == read;
    const uint32_t spc = view.SectorsPerCluster();
    const bool fat32 = g.variant == FAT_VARIANT_32;
    const uint64_t root = fat32 ? g.dataStart + static_cast<uint64_t>(view.RootCluster() - 2) * spc : g.rootStart;
    const FolderFit fit = RootFoldersFit(device, ss, root, fat32 ? spc : view.RootDirectorySectors(), g.dataStart, spc,
                                         g.recordedClusters);
    if (!LayoutStands(fit, fatSeen)) return kContradicted;
    return fat32 && fit.fits + fit.misfits == 0 && fit.rootEmpty ? kHoldsWeakly : kHolds;
}

}  // namespace

bool IsUsableFatBootSector(const uint8_t* sector, IStorageDevice* device) {
    const uint32_t ss = device->GetSectorSize();
    QuickGeometry g;
    if (!QuickLayout(sector, ss, device->GetSectorCount(), &g)) return false;
    FatBootSector view{sector, g.variant, ss};
    std::unique_ptr<uint8_t[]> probe(new (std::nothrow) uint8_t[ss]);
    if (!probe) return false;
    return device->ReadSectors(probe.get(), view.ReservedSectors(), 1) ||
           device->ReadSectors(probe.get(), static_cast<uint64_t>(view.ReservedSectors()) + view.SectorsPerFat(), 1);
}

CFATQuickSearcher::~CFATQuickSearcher() {
    for (CFATSearchedPartitionInfo* v : volumes_) delete v;
}

int CFATQuickSearcher::GetPartitions(CSearchedPartitionInfo** out, int max) {
    if (volumes_.empty()) return 0;
    if (!out || max < 1) return 1;
    CFATSearchedPartitionInfo* copy = volumes_.front()->Clone();
    if (!copy) return 0;
    out[0] = copy;
    return 1;
}

void CFATQuickSearcher::Report(uint32_t state, uint64_t total, uint64_t done) {
    if (!sink_) return;
    PROGRESS_INFO info{};
    info.state = state;
    info.total = total;
    info.done = done;
    sink_->OnProgress(&info);
}

ResultCode CFATQuickSearcher::Search(IStorageDevice* device, IProgress* sink) {
    sink_ = sink;
    ResultCode rc;
    if (!device || !sink) {
        rc = RK_FAIL(RK_E_INVALID_ARGUMENT);
    } else if (!builder_) {
        rc = RK_FAIL(FAT_E_NO_BUILDER);
    } else {
        device_ = device;
        rc = WalkVolume();
    }
    Report(PROGRESS_STATE_FINISHED, 100, 100);
    return rc;
}

int CFATQuickSearcher::UsableBootSectorAt(uint64_t at, uint8_t* sector, uint64_t* recordedPastEnd) {
    if (!device_->ReadSectors(sector, at, 1)) return kContradicted;
    QuickGeometry g;
    const uint64_t held = device_->GetSectorCount();
    const uint32_t ss = device_->GetSectorSize() == 0 ? 512 : device_->GetSectorSize();
    if (IsUsableFatBootSector(sector, device_)) {
        // A boot sector whose fields were edited may still pass its tests and put the FATs, the
        // root or the clusters elsewhere than they lie: files read there would hold other bytes.
        QuickLayout(sector, ss, held, &g);
        const Holding holding = LayoutHolds(device_, FatBootSector{sector, g.variant, ss}, g);
        if (holding == kContradicted)
            RK_LOG("[FAT] the boot sector at sector %llu puts the volume's FATs or folders where they do not lie",
                   static_cast<unsigned long long>(at));
        return holding;
    }
    if (!*recordedPastEnd && QuickLayout(sector, ss, held, &g) && g.recordedTotal > held)
        *recordedPastEnd = g.recordedTotal;
    return kContradicted;
}

ResultCode CFATQuickSearcher::WalkVolume() {
    const uint32_t ss = device_->GetSectorSize() == 0 ? 512 : device_->GetSectorSize();
    // The boot sector tests read 512 bytes, whatever the sector size.
    std::unique_ptr<uint8_t[]> sector(new (std::nothrow) uint8_t[ss < 512 ? 512 : ss]());
    ResultCode rc = RK_OK;
    do {
        if (!sector) {
            rc = RK_FAIL(FAT_E_NO_SECTOR_BUFFER);
            break;
        }
        uint64_t bootSector = 0;
        uint64_t recordedPastEnd = 0;  // the volume's length, when a boot sector gives one past the device's end
        const int main = UsableBootSectorAt(0, sector.get(), &recordedPastEnd);
        if (main != kHolds) {
            // The FAT32 backup, when it holds better.
            bootSector = kFat32BackupBootSector;
            const int backup = UsableBootSectorAt(bootSector, sector.get(), &recordedPastEnd);
            if (backup <= main) {
                bootSector = 0;
                if (main == kHoldsWeakly) UsableBootSectorAt(0, sector.get(), &recordedPastEnd);
            }
            if (backup == kContradicted && main == kContradicted) {
                // The device ends before the FATs (an image cut in the reserved sectors): the whole
                // volume is lost, and that is said. A boot sector whose layout its parts contradict
                // is left to the whole-device search, which lays the volume out by them.
                if (recordedPastEnd)
                    SayVolumePastDeviceEnd(0, device_->GetSectorCount(), recordedPastEnd);
                rc = RK_FAIL(FAT_E_NO_BOOT_SECTOR);
                break;
            }
        }
        QuickGeometry g;
        QuickLayout(sector.get(), ss, device_->GetSectorCount(), &g);
        FatBootSector view{sector.get(), g.variant, ss};

        std::unique_ptr<CDoubleFATTable> fat(
            LoadFatPair(g.variant, view.SectorsPerFat(), view.ReservedSectors(), device_));
        if (!fat) {
            rc = RK_FAIL(FAT_E_NO_BUILDER);
            break;
        }

        CFATSearchedPartitionInfo* volume = CFATSearchedPartitionInfo::Create(ss);
        if (!volume) {
            rc = RK_FAIL(FAT_E_NO_VOLUME_RECORD);
            break;
        }
        volume->index = 0;
        volume->dataStart = g.dataStart;
        volume->sectorsPerCluster = view.SectorsPerCluster();
        volume->kind = g.variant;
        volume->volumeLength = g.total;
        volume->sectorsPerFat = view.SectorsPerFat();
        volume->clusterCount = g.clusterCount;
        volume->volumeStart = 0;
        volume->reservedSectors = view.ReservedSectors();
        volume->root = g.variant == FAT_VARIANT_32 ? view.RootCluster() : view.RootDirectorySectors();
        volume->evidenceFlags = kQuickEvidence;
        volumes_.push_back(volume);
        builder_->BeginSearch(SEARCHER_FAT, 0, 0);

        FatWalkContext ctx;
        ctx.builder = builder_;
        ctx.sink = sink_;
        ctx.device = device_;
        ctx.kind = g.variant;
        ctx.volumeStart = 0;
        ctx.sectorSize = ss;
        ctx.sectorsPerCluster = view.SectorsPerCluster();
        ctx.dataSectors = g.total > g.dataStart ? g.total - g.dataStart : 0;
        ctx.clusterCount = g.clusterCount;
        if (g.recordedClusters > g.clusterCount && g.recordedClusters <= 0x0FFFFFF5)
            ctx.recordedClusterCount = static_cast<uint32_t>(g.recordedClusters);
        ctx.rootCluster = view.RootCluster();
        ctx.rootStart = g.rootStart;
        ctx.rootSectors = view.RootDirectorySectors();
        ctx.dataStart = g.dataStart;
        ctx.partitionIndex = 0;
        PrepareVolumeWalk(ctx, fat.get(), g.recordedTotal, g.total);
        rc = WalkTree(ctx);
    } while (false);
    builder_->EndSearch(SEARCHER_FAT);
    return rc;
}

ResultCode CFATQuickSearcher::WalkTree(FatWalkContext& ctx) {
    ResetEmptyFileCounter();
    if (!ReadVolumeTree(ctx)) return RK_FAIL(RK_E_CANCELLED);
    Report(PROGRESS_STATE_RUNNING, 100, 100);
    return RK_OK;
}
