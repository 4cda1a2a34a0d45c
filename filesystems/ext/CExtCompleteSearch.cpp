#include "filesystems/ext/CExtCompleteSearch.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "filesystems/ext/CExt2DirEntry.h"
#include "filesystems/ext/CExt2FileSystem.h"
#include "filesystems/ext/CExt2QuickSearch.h"
#include "filesystems/ext/ExtSuperBlock.h"
#include "media_recovery/ISectorLender.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "sqlite_recovery/framework/IStorageDevice.h"
#include "sqlite_recovery/framework/Logger.h"

using namespace ext;

namespace {
constexpr uint64_t kStep = 512;  // a volume starts on a sector: its superblock copies on 512 bytes

class GoOn : public IProgress {
public:
    void OnProgress(const PROGRESS_INFO*) override {}
    void OnDataChanged(int) override {}
    int ShouldContinue() override { return 1; }
};

// Where the copy of this superblock lies in its volume: the primary at byte 1024, a backup at the
// first block of its group. Past 64 bits when no volume can be so.
unsigned __int128 CopyOffset(const ExtSuperBlock& sb) {
    if (sb.blockGroupNr == 0) return kSuperBlockByte;
    return (static_cast<unsigned __int128>(sb.blockGroupNr) * sb.blocksPerGroup + sb.firstDataBlock) * sb.BlockSize();
}
}  // namespace

CExtCompleteSearch::~CExtCompleteSearch() = default;

int CExtCompleteSearch::BeginSearch() {
    candidates_.clear();
    accepted_.clear();
    dropped_ = 0;
    return 1;
}

int CExtCompleteSearch::GetPartitions(CSearchedPartitionInfo** out, int max) {
    const int count = static_cast<int>(accepted_.size());
    if (!out || max < count) return count;
    for (int i = 0; i < count; ++i) {
        const CSearchedPartitionInfo& v = *accepted_[static_cast<size_t>(i)];
        CSearchedPartitionInfo* copy = new (std::nothrow) CSearchedPartitionInfo(v.sectorSize);
        if (!copy) {
            for (int k = 0; k < i; ++k) {
                delete out[k];
                out[k] = nullptr;
            }
            return 0;
        }
        *copy = v;
        out[i] = copy;
    }
    return count;
}

int CExtCompleteSearch::ScanChunk(uint64_t firstSector, uint64_t sectorCount, IProgress* sink) {
    if (sink) sink_ = sink;
    if (!device_) return 0;
    const uint32_t sectorSize = device_->GetSectorSize();
    if (sectorSize == 0 || sectorSize % 512 != 0) return 0;
    const uint64_t bytes = sectorCount * sectorSize;
    if (auto* lender = dynamic_cast<ISectorLender*>(device_)) {
        if (std::shared_ptr<const uint8_t> lent = lender->LendSectors(firstSector, sectorCount)) {
            Examine(lent.get(), firstSector * sectorSize, bytes);
            return 1;
        }
    }
    try {
        if (chunk_.size() < bytes) chunk_.resize(bytes);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    if (device_->ReadSectors(chunk_.data(), firstSector, sectorCount)) Examine(chunk_.data(), firstSector * sectorSize, bytes);
    return 1;
}

void CExtCompleteSearch::Examine(const uint8_t* chunk, uint64_t firstByte, uint64_t bytes) {
    for (uint64_t at = 0; at + SB_MAGIC + 2 <= bytes; at += kStep) {
        const uint8_t* p = chunk + at;
        if (p[SB_MAGIC] != (kExtMagic & 0xFF) || p[SB_MAGIC + 1] != (kExtMagic >> 8)) continue;
        if (at + kSuperBlockBytes <= bytes) {
            OnSuperBlock(p, firstByte + at);
            continue;
        }
        // A copy that runs into the next chunk: read whole from the device (rare).
        const uint32_t sectorSize = device_->GetSectorSize();
        const uint64_t byte = firstByte + at;
        const uint64_t first = byte / sectorSize;
        const uint64_t count = (byte % sectorSize + kSuperBlockBytes + sectorSize - 1) / sectorSize;
        if (first + count > device_->GetSectorCount()) continue;
        std::vector<uint8_t> whole(static_cast<size_t>(count * sectorSize));
        if (device_->ReadSectors(whole.data(), first, count)) OnSuperBlock(whole.data() + byte % sectorSize, byte);
    }
}

void CExtCompleteSearch::OnSuperBlock(const uint8_t* bytes, uint64_t byte) {
    ExtSuperBlock sb;
    std::memcpy(sb.raw, bytes, kSuperBlockBytes);
    sb.Parse();
    sb.Normalise();
    if (!sb.IsValid()) return;
    const unsigned __int128 offset = CopyOffset(sb);
    if (offset > byte) return;
    const uint64_t start = byte - static_cast<uint64_t>(offset);
    // The volume at the device's start is the quick search's; one must start on a sector.
    if (start == 0 || !device_ || start % device_->GetSectorSize() != 0) return;
    for (auto range = candidates_.equal_range(start); range.first != range.second; ++range.first) {
        Candidate& known = range.first->second;
        if (std::memcmp(known.uuid, sb.Uuid(), sizeof known.uuid) != 0) continue;
        if (sb.blockGroupNr == 0 && !known.primary) {
            known.primary = true;
            known.copyByte = byte;
        } else if (sb.blockGroupNr != 0) {
            ++known.backups;
        }
        return;
    }
    if (candidates_.size() >= kMostCandidates) {
        ++dropped_;
        return;
    }
    Candidate c;
    c.copyByte = byte;
    c.primary = sb.blockGroupNr == 0;
    c.backups = c.primary ? 0 : 1;
    std::memcpy(c.uuid, sb.Uuid(), sizeof c.uuid);
    try {
        candidates_.emplace(start, c);
    } catch (const std::bad_alloc&) {
        ++dropped_;
    }
}

bool CExtCompleteSearch::Confirm(uint64_t start, const Candidate& c) {
    const uint64_t sector = start / 512;
    ExtSuperBlock sb;
    bool rootHolds = false;
    try {
        CExt2FileSystem fs(device_, c.copyByte / 512, true);
        sb = fs.SuperBlock();
        // A copy of the superblock and descriptors in another volume's journal passes the tests
        // above; its root folder, found where its geometry puts it, does not.
        ExtInode root;
        if (ReadInode(fs, kRootInode, &root) && root.IsDirectory()) {
            CExt2DirEntry entries(fs, root);
            rootHolds = !entries.AtEnd() && entries.Current().inode == kRootInode && entries.Name() == ".";
        }
    } catch (...) {
        RK_LOG("[Dredgel] Ext superblock for a volume at byte %llu: its group descriptors do not check out, not read",
               static_cast<unsigned long long>(start));
        return false;
    }
    if (!rootHolds) {
        RK_LOG("[Dredgel] Ext superblock for a volume at byte %llu: no root folder where its geometry puts it, not read",
               static_cast<unsigned long long>(start));
        return false;
    }
    if (c.backups > 0) return true;
    // Only the primary was seen: a backup must be where the geometry puts the first one, unless the
    // volume has no backup there (one group, backups elsewhere) or the device ends before it.
    const bool sparse2 = LoadLE32(sb.raw + SB_FEATURE_COMPAT) & kCompatSparseSuper2;
    const uint64_t backupByte = start + (static_cast<uint64_t>(sb.blocksPerGroup) + sb.firstDataBlock) * sb.BlockSize();
    const uint64_t deviceBytes = device_->GetSectorCount() * device_->GetSectorSize();
    if (sb.GroupCount() <= 1 || sparse2 || backupByte + kSuperBlockBytes > deviceBytes) return true;
    RK_LOG("[Dredgel] Ext superblock at sector %llu: no backup copy where its geometry puts one, not read",
           static_cast<unsigned long long>(sector + 2));
    return false;
}

int CExtCompleteSearch::EndSearch() {
    if (dropped_)
        RK_LOG("[Dredgel] Ext superblocks: %llu more volumes than the %zu looked at were left out",
               static_cast<unsigned long long>(dropped_), kMostCandidates);
    // The best evidence first: a primary copy and backups, then backups alone, then a primary alone.
    std::vector<std::pair<uint64_t, const Candidate*>> order;
    for (const auto& entry : candidates_) order.emplace_back(entry.first, &entry.second);
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
        const auto rank = [](const Candidate& c) { return (c.backups > 0 ? 0 : 2) + (c.primary ? 0 : 1); };
        return rank(*a.second) < rank(*b.second);
    });
    if (order.size() > kMostVolumesTried) {
        RK_LOG("[Dredgel] Ext superblocks: %zu volumes after the first %zu tried are left out", order.size() - kMostVolumesTried,
               kMostVolumesTried);
        order.resize(kMostVolumesTried);
    }
    std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    GoOn goOn;
    IProgress* sink = sink_ ? sink_ : &goOn;
    for (const auto& entry : order) {
        if (!builder_ || !sink->ShouldContinue()) break;
        if (!Confirm(entry.first, *entry.second)) continue;
        const uint16_t index = static_cast<uint16_t>(accepted_.size());
        CExt2QuickSearch walk;
        walk.SetVolume(entry.second->copyByte / 512, index);
        walk.SetBuilder(builder_);
        RK_LOG("%sExt volume found at byte %llu of the device (sector %llu), which no partition table lists: read from "
               "there", kLogWarningPrefix, static_cast<unsigned long long>(entry.first),
               static_cast<unsigned long long>(entry.first / device_->GetSectorSize()));
        walk.Search(device_, sink);
        // Nodes may have been given before a failure: their volume is listed all the same.
        if (walk.Partition().index != index) continue;
        try {
            std::unique_ptr<CSearchedPartitionInfo> v(new CSearchedPartitionInfo(walk.Partition().sectorSize));
            *v = walk.Partition();
            accepted_.push_back(std::move(v));
        } catch (const std::bad_alloc&) {
            break;
        }
    }
    candidates_.clear();
    return 1;
}
