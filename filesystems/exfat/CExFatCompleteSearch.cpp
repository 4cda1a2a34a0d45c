#include "filesystems/exfat/CExFatCompleteSearch.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <new>
#include <unordered_set>

#include "filesystems/frame/CSearchedPartitionInfo.h"
#include "filesystems/FileSystemSearchers.h"
#include "filesystems/SectorFirstLook.h"
#include "filesystems/exfat/CExFatFileNode.h"
#include "filesystems/exfat/ExFatAllocationBitmap.h"
#include "filesystems/exfat/ExFatFatPlacement.h"
#include "filesystems/exfat/ExFatFolderTree.h"
#include "filesystems/exfat/ExFatLayout.h"
#include "filesystems/exfat/ExFatLiveExtents.h"
#include "filesystems/exfat/ExFatVolumeFragments.h"
#include "filesystems/exfat/ExFatVolumeRebuild.h"
#include "media_recovery/ISectorLender.h"
#include "media_recovery/file_model/CDataRunList.h"
#include "media_recovery/file_model/IDirecotryTreeBuilder.h"
#include "sqlite_recovery/framework/IStorageDevice.h"
#include "sqlite_recovery/framework/Logger.h"

using namespace exfat;

namespace {

// A FAT begins with the media mark and the end mark of cluster 1.
bool IsFatStart(const uint8_t* p) {
    if (p[0] != kFatStartByte) return false;
    for (int i = 1; i < 8; ++i)
        if (p[i] != 0xFF) return false;
    return true;
}

// The file system's name in a boot sector, "EXFAT   ", as one little-endian word.
constexpr uint64_t kBootNameWord = 0x2020205441465845;
static_assert(kBootNameSize == 8, "one word");

// The most the recognizer reads past the end of a sector: an entry set begun in its last slot.
constexpr size_t kMostReadPastSector = kMaxSecondaryCount * kEntrySize;
static_assert(kMostReadPastSector <= CExFatCompleteSearch::kHeldSectors * 512 &&
                  kMostReadPastSector <= CExFatCompleteSearch::kLookAheadSectors * 512 &&
                  ExFatSectorRecognizer::kTailBytes <= (1 + CExFatCompleteSearch::kLookAheadSectors) * 512,
              "a sector examined must have what the recognizer reads after it in memory");

}  // namespace

CExFatCompleteSearch::CExFatCompleteSearch() = default;

CExFatCompleteSearch::~CExFatCompleteSearch() {
    for (std::unique_ptr<ExFatVolume>& v : volumes_) v->fat.Close();
}

bool CExFatCompleteSearch::Prepare() {
    if (prepared_) return true;
    const uint32_t sectorSize = device_->GetSectorSize();
    if (sectorSize == 0 || sectorSize % 512 != 0 || sectorSize > kLargestSectorSize) return false;
    try {
        carry_.assign(static_cast<size_t>(kHeldSectors + kLookAheadSectors) * sectorSize, 0);
        ownMarks_.assign(kHeldSectors + kLookAheadSectors, 0);
        rebuild_.reset(new ExFatVolumeRebuild(collection_, upcaseSectors_, device_->GetSectorCount(), sectorSize));
    } catch (const std::bad_alloc&) {
        carry_.clear();
        return false;
    }
    sectorSize_ = sectorSize;
    sectorShift_ = ExFatShiftOf(sectorSize);
    deviceSectors_ = device_->GetSectorCount();
    recognizer_.SetVolumeParameters(deviceSectors_, kLargestClusterShift, sectorShift_, sectorSize / 32);
    prepared_ = true;
    return true;
}

void CExFatCompleteSearch::SetDevice(IStorageDevice* device) {
    device_ = device;
    lender_ = dynamic_cast<ISectorLender*>(device);
}

int CExFatCompleteSearch::ScanChunk(uint64_t firstSector, uint64_t sectorCount, IProgress*) {
    if (!device_ || !chunkSectors_ || !builder_ || !Prepare()) return 0;
    if (sectorCount > chunkSectors_) sectorCount = chunkSectors_;
    if (sectorCount == 0) return 1;
    // The sectors kept from the last load are this chunk's predecessors only when the chunks follow.
    if (pendingCount_ && firstSector != loadedEnd_) FlushPending();
    std::shared_ptr<const uint8_t> lent;
    const uint8_t* chunk = LoadChunk(firstSector, sectorCount, lent);
    if (!chunk) return 0;
    const size_t count = static_cast<size_t>(sectorCount);
    const uint8_t* marks = first_look::MarksOf(lent ? lender_ : nullptr, firstSector, chunk, count, sectorSize_, marks_);
    if (!marks) return 0;
    ExamineLoad(firstSector, chunk, marks, count);
    loadedEnd_ = firstSector + sectorCount;
    return 1;
}

const uint8_t* CExFatCompleteSearch::LoadChunk(uint64_t firstSector, uint64_t sectorCount,
                                               std::shared_ptr<const uint8_t>& lent) {
    if (lender_) {
        lent = lender_->LendSectors(firstSector, sectorCount);
        if (lent) return lent.get();
    }
    try {
        if (buffer_.size() < sectorCount * sectorSize_) buffer_.resize(static_cast<size_t>(sectorCount) * sectorSize_);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return device_->ReadSectors(buffer_.data(), firstSector, sectorCount) ? buffer_.data() : nullptr;
}

void CExFatCompleteSearch::ExamineLoad(uint64_t firstSector, const uint8_t* chunk, const uint8_t* marks, size_t count) {
    const size_t size = sectorSize_;
    const size_t ahead = std::min<size_t>(count, kLookAheadSectors);
    if (pendingCount_) {
        // The held sectors, with this load's first ones behind them to look at.
        uint8_t* carry = carry_.data();
        std::memcpy(carry + pendingCount_ * size, chunk, ahead * size);
        const size_t held = pendingCount_ + ahead;
        const size_t examine = std::min(pendingCount_, pendingCount_ + count - kHeldSectors);
        ExamineSectors(pendingSector_, carry, nullptr, examine, carry + held * size);
        if (count < kHeldSectors) {
            // A load shorter than what is held: its sectors wait with the last held one.
            std::memmove(carry, carry + examine * size, (held - examine) * size);
            pendingSector_ += examine;
            pendingCount_ = held - examine;
            return;
        }
    }
    const size_t inPlace = count > kHeldSectors ? count - kHeldSectors : 0;
    ExamineSectors(firstSector, chunk, marks, inPlace, chunk + count * size);
    pendingCount_ = count - inPlace;
    pendingSector_ = firstSector + inPlace;
    std::memcpy(carry_.data(), chunk + inPlace * size, pendingCount_ * size);
}

void CExFatCompleteSearch::FlushPending() {
    if (!pendingCount_) return;
    const uint8_t* from = carry_.data();
    ExamineSectors(pendingSector_, from, nullptr, pendingCount_, from + pendingCount_ * sectorSize_);
    pendingCount_ = 0;
}

size_t CExFatCompleteSearch::QuietSectors(uint64_t s, size_t count) const {
    if (!recognizer_.AtRest()) return 0;
    if (collection_.RecordCount() >= kMostRecords && !recordsCapLogged_) return 0;
    const size_t waiting = collection_.RunCount() - collection_.cursor;
    if (waiting == 0) return count;
    if (waiting > kMostWaitingRuns) return 0;
    // Waiting runs are processed once the scan is far enough past the last one.
    const uint64_t farPast = collection_.lastRunEnd + kFarPastLastRun + 1;
    return farPast > s ? static_cast<size_t>(std::min<uint64_t>(count, farPast - s)) : 0;
}

namespace {
// A boot sector's, a FAT's or an up-case table's start, as far as the first bytes tell (the
// classification says which); no branch on the bytes.
inline bool MaybeBootOrUpcase(const uint8_t* p) {
    return (LoadLE64(p) == LoadLE64(kUpcaseTableStart)) | (LoadLE64(p + kBootName) == kBootNameWord);
}
inline bool MaybeSpecial(const uint8_t* p) { return MaybeBootOrUpcase(p) | (p[0] == kFatStartByte); }
}  // namespace

void CExFatCompleteSearch::ExamineSectors(uint64_t firstSector, const uint8_t* from, const uint8_t* marks, size_t count,
                                          const uint8_t* end) {
    if (!marks) {
        // The few held over from the last load: looked at here.
        if (ownMarks_.size() < count) ownMarks_.resize(count);
        first_look::MarkSectors(from, count, sectorSize_, ownMarks_.data());
        marks = ownMarks_.data();
    }
    for (size_t done = 0; done < count; done += kSiftSectors) {
        const size_t n = std::min(count - done, kSiftSectors);
        const size_t left = Sift(from + done * sectorSize_, marks + done, n);
        // At rest, a sector that holds nothing changes nothing: only the sectors the sift left are
        // classified, in order, while the search stays at rest and no waiting run falls due; the
        // others all are.
        size_t next = 0;  // in sifted_
        for (size_t k = done; k < done + n;) {
            const size_t quiet = QuietSectors(firstSector + k, done + n - k);
            while (next < left && done + sifted_[next] < k) ++next;
            if (quiet > 0) {
                if (next == left || done + sifted_[next] >= k + quiet) {
                    k += quiet;
                    continue;
                }
                k = done + sifted_[next];
            }
            ClassifySector(firstSector + k, from + k * sectorSize_, end);
            ++k;
        }
    }
}

size_t CExFatCompleteSearch::Sift(const uint8_t* from, const uint8_t* marks, size_t count) {
    // Most sectors of a device are other data, on whose bytes a branch would be mispredicted: no
    // branch on the bytes but in the last step, which few sectors reach. The lines a walk of a
    // sector's entries reads next are asked for as soon as what comes before them tells that it
    // will (the second line is read by so few sectors that it is not asked for). (The prefetches
    // stand in the loops themselves: the compiler drops one inside a helper, which it takes for a
    // call without effect.)
    const size_t size = sectorSize_;
    // First the sectors whose first look does not tell that they hold nothing.
    firstLook_.resize(count + 8);
    const size_t undecided = first_look::ListMarked(marks, count, first_look::kExFat, firstLook_.data());
    // Of those, the ones whose first four entries do not tell it either; those whose four are
    // benign are marked to be read on.
    sifted_.resize(undecided);
    size_t left = 0;
    for (size_t i = 0; i < undecided; ++i) {
        // The look left each sector's first line in the second-level cache at most: sectors a
        // sector size apart share few first-level sets. Those a few places on are asked for now.
        if (i + kSiftAhead < undecided) __builtin_prefetch(from + size_t{firstLook_[i + kSiftAhead]} * size);
        const uint32_t j = firstLook_[i];
        const uint8_t* p = from + size_t{j} * size;
        bool readOn;
        const bool none = recognizer_.FirstFourHoldNoEntry(p, readOn);
        const bool special = MaybeSpecial(p), zero = p[0] == 0;
        const bool walk = readOn & !special & !zero;
        __builtin_prefetch(p + 128 * size_t{walk});
        __builtin_prefetch(p + 192 * size_t{walk});
        sifted_[left] = j | uint32_t{walk} << 31;
        left += special | !(zero | none);
    }
    // Then those read on.
    size_t kept = 0;
    for (size_t i = 0; i < left; ++i) {
        const uint32_t j = sifted_[i] & ~kReadOnMark;
        if ((sifted_[i] & kReadOnMark) && recognizer_.PastFourHoldNoEntry(from + j * size)) continue;
        sifted_[kept++] = j;
    }
    return kept;
}

void CExFatCompleteSearch::ClassifySector(uint64_t s, const uint8_t* p, const uint8_t* end) {
    if (p[0] == 0) {
        if (std::memcmp(p, kUpcaseTableStart, sizeof kUpcaseTableStart) == 0 && upcaseSectors_.size() < kMostUpcaseSectors)
            upcaseSectors_.push_back(s);
        EndRun();
    } else if (std::memcmp(p + kBootName, "EXFAT   ", kBootNameSize) == 0 && IsExFatBootSector(p, sectorSize_)) {
        // The name comes first: it lies in the sector's first bytes, the signature at its end.
        OnBootSector(s, p);
        EndRun();
    } else if (IsFatStart(p)) {
        OnFatStart(s);
        EndRun();
    } else if (collection_.RecordCount() >= kMostRecords) {
        if (!recordsCapLogged_) {
            RK_LOG("[exFAT] %zu entry sets held: the whole-device search looks for no more folders",
                   collection_.RecordCount());
            recordsCapLogged_ = true;
        }
        EndRun();
    } else if (recognizer_.CannotHold(p) || recognizer_.ScanDirectorySector(s, p, end)) {
        EndRun();
    }
    // Runs are processed while the scan goes on, so that few wait.
    const size_t waiting = collection_.RunCount() - collection_.cursor;
    const bool farPast = s > collection_.lastRunEnd && s - collection_.lastRunEnd > kFarPastLastRun;
    if (waiting && (waiting > kMostWaitingRuns || farPast)) rebuild_->ProcessNextRun();
}

void CExFatCompleteSearch::EndRun() {
    ExFatDirectoryInfo* run = recognizer_.CurrentRun();
    if (!run) return;
    if (run->HasContent()) collection_.AddRun(recognizer_.TakeRun(), recognizer_, sectorShift_);
    else recognizer_.DropRun();
}

void CExFatCompleteSearch::OnBootSector(uint64_t s, const uint8_t* p) {
    const uint32_t spc = 1u << p[kBootSectorsPerClusterShift];
    const uint64_t heapOffset = LoadLE32(p + kBootHeapOffset);
    // The backup of a main boot sector seen 12 sectors before.
    if (s >= kBackupBootOffset) {
        if (ExFatVolume* main = collection_.FindCandidate(s - kBackupBootOffset + heapOffset, spc)) {
            if (!(main->evidence & EXFAT_EVIDENCE_BOOT)) SetBootGeometry(*main, p, s - kBackupBootOffset);
            main->evidence |= EXFAT_EVIDENCE_BACKUP_BOOT;
            if (s >= 2 * kBackupBootOffset) {
                ExFatVolume* guess = collection_.FindCandidate(s - 2 * kBackupBootOffset + heapOffset, spc);
                // Only the guess that the main sector was itself a backup.
                if (guess && guess->evidence == EXFAT_EVIDENCE_BACKUP_BOOT) collection_.RemoveCandidate(guess);
            }
            return;
        }
    }
    const auto make = [&](uint64_t volumeStart, uint32_t evidence) {
        std::unique_ptr<ExFatVolume> v(new (std::nothrow) ExFatVolume);
        if (!v) return;
        SetBootGeometry(*v, p, volumeStart);
        if (ExFatVolume* known = collection_.FindCandidate(v->heapStart, v->sectorsPerCluster)) {
            // A candidate that runs made: the boot sector names its geometry.
            if (!(known->evidence & EXFAT_EVIDENCE_BOOT)) SetBootGeometry(*known, p, volumeStart);
            known->evidence |= evidence;
            return;
        }
        v->evidence = evidence;
        collection_.AddCandidate(std::move(v));
    };
    make(s, EXFAT_EVIDENCE_MAIN_BOOT);
    if (s >= kBackupBootOffset) make(s - kBackupBootOffset, EXFAT_EVIDENCE_BACKUP_BOOT);
}

void CExFatCompleteSearch::SetBootGeometry(ExFatVolume& v, const uint8_t* p, uint64_t volumeStart) const {
    v.SetGeometry(p, sectorSize_, volumeStart);
    const uint64_t room = deviceSectors_ > volumeStart ? deviceSectors_ - volumeStart : 0;
    if (v.volumeLength > room) v.volumeLength = room;
}

void CExFatCompleteSearch::OnFatStart(uint64_t s) {
    // Kept for volumes whose boot sector is gone: their FAT is placed among these at the end.
    if (fatStarts_.size() < kMostFatStarts) fatStarts_.push_back(s);
    for (const std::unique_ptr<ExFatVolume>& c : collection_.Candidates()) {
        if (c->evidence < EXFAT_EVIDENCE_BACKUP_BOOT) continue;
        const uint64_t fat = c->volumeStart + c->fatOffset;
        if (fat == s) {
            c->evidence |= EXFAT_EVIDENCE_FIRST_FAT;
            return;
        }
        if (c->fatCount >= 2 && fat + c->fatLength == s) {
            c->evidence |= EXFAT_EVIDENCE_SECOND_FAT;
            return;
        }
    }
}

int CExFatCompleteSearch::EndSearch() {
    std::vector<ExFatVolume*> accepted;
    if (prepared_) {
        FlushPending();
        EndRun();
        accepted = rebuild_->BuildVolumes();
    }
    volumes_ = collection_.TakeCandidates(accepted);
    HandTreesToBuilder();
    if (builder_) builder_->EndSearch(SEARCHER_EXFAT);
    // The runs go now: what the volumes held of them is of no further use.
    for (std::unique_ptr<ExFatVolume>& v : volumes_) {
        v->takenRuns.clear();
        v->runMarks.clear();
        v->alignedKeys.clear();
        v->misalignedKeys.clear();
    }
    rebuild_.reset();
    recognizer_.Clear();
    collection_.Clear();
    upcaseSectors_.clear();
    fatStarts_.clear();
    std::vector<uint8_t>().swap(buffer_);
    std::vector<uint8_t>().swap(carry_);
    pendingCount_ = 0;
    prepared_ = false;
    return 1;
}

std::vector<const ExFatDirectoryInfo*> CExFatCompleteSearch::RunsOf(const ExFatVolume& volume) const {
    std::vector<const ExFatDirectoryInfo*> runs;
    std::unordered_set<const ExFatDirectoryInfo*> listed;
    for (uint64_t key : volume.alignedKeys) {
        ExFatDirectoryInfo* run = collection_.RunAt(key);
        if (!run || listed.count(run)) continue;
        // A run that continues a folder is listed from the folder's first run, when the volume holds it.
        ExFatDirectoryInfo* head = run;
        for (size_t n = 0; head->previous && IsFragmentTaken(volume, head->previous) &&
                           n < ExFatDirectoryInfo::kMostChainRuns;
             ++n)
            head = head->previous;
        size_t n = 0;
        for (ExFatDirectoryInfo* r = head; r && n < ExFatDirectoryInfo::kMostChainRuns; r = r->next, ++n) {
            if (!listed.insert(r).second) break;
            runs.push_back(r);
        }
    }
    return runs;
}

void CExFatCompleteSearch::OpenFat(ExFatVolume& volume, const std::vector<const ExFatDirectoryInfo*>& runs) {
    if (volume.evidence & EXFAT_EVIDENCE_FIRST_FAT) {
        volume.OpenFat(device_);
        return;
    }
    std::vector<const ExFatEntryRecord*> records;
    for (const ExFatDirectoryInfo* run : runs)
        for (const ExFatEntryRecord& r : run->live) records.push_back(&r);
    ExFatFatPlacement placement(volume, device_);
    if (placement.Place(fatStarts_, records))
        RK_LOG("[exFAT] the volume whose heap starts at sector %llu: its FAT found at sector %llu",
               static_cast<unsigned long long>(volume.heapStart), static_cast<unsigned long long>(placement.PlacedAt()));
    else
        RK_LOG("[exFAT] the volume whose heap starts at sector %llu: no FAT found that its files' chains agree "
               "with, or two that differ; files in cluster chains keep their first cluster and are marked cut",
               static_cast<unsigned long long>(volume.heapStart));
}

namespace {

uint32_t HeapClusterOf(const ExFatVolume& volume, uint64_t sector) {
    return sector >= volume.heapStart && volume.sectorsPerCluster
               ? static_cast<uint32_t>((sector - volume.heapStart) / volume.sectorsPerCluster + 2)
               : 0;
}

// The root folder's run, which names the volume's own tables: at the root cluster when that is known.
const ExFatDirectoryInfo* RootRunOf(const ExFatVolume& volume, const std::vector<const ExFatDirectoryInfo*>& runs) {
    const ExFatDirectoryInfo* root = nullptr;
    for (const ExFatDirectoryInfo* run : runs) {
        if (!run->IsRootRun() || !run->bitmapDataLength) continue;
        if (!root) root = run;
        if (volume.IsHeapCluster(volume.rootCluster) && HeapClusterOf(volume, run->firstSector) == volume.rootCluster)
            return run;
    }
    return root;
}

}  // namespace

bool CExFatCompleteSearch::ReadRootBitmap(const ExFatVolume& volume, const std::vector<const ExFatDirectoryInfo*>& runs,
                                          ExFatAllocationBitmap& bitmap) const {
    const uint64_t clusterBytes = volume.clusterSize ? volume.clusterSize : 512;
    const auto clustersOf = [&](uint64_t bytes) { return (bytes + clusterBytes - 1) / clusterBytes; };
    const auto clusterOf = [&](uint64_t sector) { return HeapClusterOf(volume, sector); };
    const ExFatDirectoryInfo* root = RootRunOf(volume, runs);
    return root && bitmap.Read(volume, device_, root->bitmapFirstCluster, root->bitmapDataLength) &&
           bitmap.MarksAll(root->bitmapFirstCluster, clustersOf(root->bitmapDataLength)) &&
           bitmap.Marks(clusterOf(root->firstSector)) &&
           (!volume.IsHeapCluster(root->upcaseFirstCluster) ||
            bitmap.MarksAll(root->upcaseFirstCluster, clustersOf(root->upcaseDataLength)));
}

CDataRunList* CExFatCompleteSearch::ClustersLiveEntriesMayHold(const ExFatVolume& volume,
                                                               const std::vector<const ExFatDirectoryInfo*>& runs) const {
    const uint64_t clusterBytes = volume.clusterSize ? volume.clusterSize : 512;
    const auto clustersOf = [&](uint64_t bytes) { return (bytes + clusterBytes - 1) / clusterBytes; };
    ExFatAllocationBitmap bitmap;
    bool trusted = ReadRootBitmap(volume, runs, bitmap);
    for (size_t k = 0; trusted && k < runs.size(); ++k)
        for (const ExFatEntryRecord& r : runs[k]->live)
            if (r.dataLength > 0 && volume.IsHeapCluster(r.firstCluster) && !bitmap.Marks(r.firstCluster)) {
                trusted = false;
                break;
            }
    if (trusted) {
        RK_LOG("[exFAT] the volume whose heap starts at sector %llu: deleted entries on the clusters its allocation "
               "bitmap marks in use are taken as overwritten",
               static_cast<unsigned long long>(volume.heapStart));
        return bitmap.RunsInUse();
    }
    RK_LOG("[exFAT] the volume whose heap starts at sector %llu: no allocation bitmap marks what its live files "
           "hold; deleted entries on the clusters after a live chained file's first, as many as its length needs, "
           "are taken as overwritten",
           static_cast<unsigned long long>(volume.heapStart));
    std::map<uint64_t, uint64_t> tails;  // first cluster -> end, merged
    for (const ExFatDirectoryInfo* run : runs) {
        for (const ExFatEntryRecord& r : run->live) {
            if (r.noFatChain || !volume.IsHeapCluster(r.firstCluster) || r.dataLength <= clusterBytes) continue;
            uint64_t first = uint64_t{r.firstCluster} + 1;
            uint64_t end = std::min<uint64_t>(r.firstCluster + clustersOf(r.dataLength), volume.ClusterLimit());
            auto at = tails.upper_bound(first);
            if (at != tails.begin() && std::prev(at)->second >= first) {
                --at;
                first = at->first;
                end = std::max(end, at->second);
                at = tails.erase(at);
            }
            while (at != tails.end() && at->first <= end) {
                end = std::max(end, at->second);
                at = tails.erase(at);
            }
            tails.emplace(first, end);
        }
    }
    if (tails.empty()) return nullptr;
    CDataRunList* list = CreateDataRunList();
    for (const auto& [first, end] : tails) {
        if (!list) break;
        DataRun tail(static_cast<int64_t>(first) - 2, end - first);
        list->AppendRun(&tail);
    }
    return list;
}

void CExFatCompleteSearch::CutWhatIsNotTheirs(ExFatVolume& volume, const std::vector<const ExFatDirectoryInfo*>& runs,
                                              ExFatFolderTree& tree) const {
    ExFatLiveExtents extents(volume);
    tree.AddLiveExtents(extents);
    // The volume's own tables hold their clusters, as in the quick search: a file whose first cluster
    // was damaged onto one of them never holds the table's bytes.
    if (const ExFatDirectoryInfo* root = RootRunOf(volume, runs)) {
        const uint64_t clusterBytes = volume.clusterSize ? volume.clusterSize : 512;
        for (const auto& table : {std::make_pair(root->bitmapFirstCluster, root->bitmapDataLength),
                                  std::make_pair(root->upcaseFirstCluster, root->upcaseDataLength)}) {
            extents.AddHeld(table.first, (table.second + clusterBytes - 1) / clusterBytes);
            extents.AddNamedFirst(table.first);
        }
    }
    ExFatAllocationBitmap bitmap;
    const bool trusted = ReadRootBitmap(volume, runs, bitmap);
    for (const ExFatLiveExtents::Cut& cut : extents.Settle(trusted ? &bitmap : nullptr))
        RK_LOG("[exFAT] the volume whose heap starts at sector %llu: \"%s\" keeps %llu of its %llu clusters: its "
               "cluster %u is not its own",
               static_cast<unsigned long long>(volume.heapStart), cut.node->GetName(),
               static_cast<unsigned long long>(cut.kept), static_cast<unsigned long long>(cut.needed), cut.cluster);
}

void CExFatCompleteSearch::HandTreesToBuilder() {
    if (volumes_.empty() || !builder_) return;
    builder_->BeginSearch(SEARCHER_EXFAT, -1, -1);
    for (size_t i = 0; i < volumes_.size(); ++i) {
        ExFatVolume& volume = *volumes_[i];
        const std::vector<const ExFatDirectoryInfo*> runs = RunsOf(volume);
        OpenFat(volume, runs);
        ExFatFolderTree tree(volume, static_cast<uint16_t>(i));
        for (const ExFatDirectoryInfo* run : runs) tree.AddRun(*run);
        tree.Link();
        CutWhatIsNotTheirs(volume, runs, tree);
        tree.HandTo(*builder_);
        if (!volume.fat.IsOpen()) {
            if (CDataRunList* held = ClustersLiveEntriesMayHold(volume, runs)) {
                CExFatFileNode* node = MakeExFatHeldClusters(held, volume);
                if (node) SetNodePartitionIndex(node, static_cast<uint16_t>(i));
                if (node && !builder_->AddNode(node, SEARCHER_EXFAT)) node->Release();
            }
        }
        volume.fat.Close();
    }
}

int CExFatCompleteSearch::GetPartitions(CSearchedPartitionInfo** out, int max) {
    const int count = static_cast<int>(volumes_.size());
    if (!out || max < count) return count;
    for (int i = 0; i < count; ++i) {
        const ExFatVolume& v = *volumes_[static_cast<size_t>(i)];
        CSearchedPartitionInfo* info = new (std::nothrow) CSearchedPartitionInfo(v.sectorSize);
        if (!info) {
            for (int k = 0; k < i; ++k) {
                delete out[k];
                out[k] = nullptr;
            }
            return 0;
        }
        info->index = static_cast<uint16_t>(i);
        info->kind = kPartitionKind;
        info->sectorsPerCluster = v.sectorsPerCluster;
        info->dataStart = v.heapStart;
        info->volumeStart = v.volumeStart;
        info->volumeLength = v.volumeLength;
        out[i] = info;
    }
    return count;
}
