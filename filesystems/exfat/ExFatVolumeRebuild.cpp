#include "filesystems/exfat/ExFatVolumeRebuild.h"

#include <algorithm>
#include <new>
#include <unordered_set>

#include "filesystems/exfat/ExFatLayout.h"
#include "filesystems/exfat/ExFatVolume.h"
#include "filesystems/exfat/ExFatVolumeCollection.h"
#include "filesystems/exfat/ExFatVolumeFragments.h"

using namespace exfat;

namespace {

constexpr uint32_t kUnknownRoot = 0xFFFFFFFF;
// How many of the candidates whose heap holds a run it is offered to while the scan goes on.
constexpr int kMostCandidatesOffered = 16;

bool IsHeapClusterNumber(uint64_t c) { return c >= kFirstCluster && c <= kLastValidCluster; }
bool HasRoot(const ExFatVolume& v) { return IsHeapClusterNumber(v.rootCluster); }
// Both boot sectors, or a boot sector and the FAT it names.
bool BootCorroborated(const ExFatVolume& v) {
    const uint32_t fats = EXFAT_EVIDENCE_FIRST_FAT | EXFAT_EVIDENCE_SECOND_FAT;
    return (v.evidence & EXFAT_EVIDENCE_BOOT) == EXFAT_EVIDENCE_BOOT ||
           ((v.evidence & EXFAT_EVIDENCE_BOOT) && (v.evidence & fats));
}
bool OnClusterBoundary(const ExFatVolume& v, const ExFatDirectoryInfo* run) {
    return run->firstSector >= v.heapStart && (run->firstSector - v.heapStart) % v.sectorsPerCluster == 0;
}
// Where the clusters a candidate's entries name may lie: up to the device's end, or up to the heap's
// end that its boot sectors give when that lies further (a card cut short names clusters it has lost).
uint64_t ClustersEnd(const ExFatVolume& v, uint64_t deviceSectors) {
    if (!BootCorroborated(v) || !v.clusterCount) return deviceSectors;
    return std::max(deviceSectors, v.heapStart + uint64_t{v.clusterCount} * v.sectorsPerCluster);
}

}  // namespace

ExFatVolumeRebuild::ExFatVolumeRebuild(ExFatVolumeCollection& collection, const std::vector<uint64_t>& upcaseSectors,
                                       uint64_t deviceSectors, uint32_t bytesPerSector)
    : collection_(collection),
      upcaseSectors_(upcaseSectors),
      deviceSectors_(deviceSectors),
      bytesPerSector_(bytesPerSector ? bytesPerSector : 512) {}

std::unique_ptr<ExFatVolume> ExFatVolumeRebuild::NewCandidate(uint64_t h, uint32_t spc, uint32_t evidence) const {
    std::unique_ptr<ExFatVolume> v(new (std::nothrow) ExFatVolume);
    if (!v) return v;
    v->sectorSize = bytesPerSector_;
    v->sectorsPerCluster = spc;
    v->clusterSize = spc * bytesPerSector_;
    v->heapStart = h;
    // No boot sector names the volume's start: it is known to begin no later than its heap.
    v->volumeStart = h;
    v->volumeLength = deviceSectors_ > h ? deviceSectors_ - h : 0;
    v->evidence = evidence;
    return v;
}

// ---- processing the runs ----

void ExFatVolumeRebuild::ProcessNextRun() {
    if (collection_.cursor >= collection_.RunCount()) return;
    const size_t i = collection_.cursor++;
    ExFatDirectoryInfo* run = collection_.Run(i);
    if (run->IsRootRun()) {
        ProcessRootRun(run);
        return;
    }
    if (OfferToCandidates(run)) return;
    if (run->HasLiveSubdirectories()) CompareWithNeighbours(i, 31, 128, true);
}

void ExFatVolumeRebuild::ProcessRootRun(ExFatDirectoryInfo* root) {
    std::vector<ExFatVolume*> found;
    NewCandidates made;
    CandidatesFromUpcase(root, found, made);
    const bool placed = JoinRootCandidates(root, found, made);
    collection_.ApplyCandidateCap();
    if (placed) return;
    // The up-case table gave no place: try the places the root cluster can take.
    found.clear();
    made.clear();
    CandidatesFromRootPlace(root, found, made);
    JoinRootCandidates(root, found, made);
    collection_.ApplyCandidateCap();
}

bool ExFatVolumeRebuild::JoinRootCandidates(ExFatDirectoryInfo* root, const std::vector<ExFatVolume*>& found,
                                            NewCandidates& made) {
    bool joined = false;
    std::vector<ExFatDirectoryInfo*> runs;
    for (ExFatVolume* c : found) {
        runs.clear();
        if (IsFragmentTaken(*c, root)) {
            joined = true;
        } else if (MatchChain(root, *c, false, &runs)) {
            Take(*c, root, runs);
            joined = true;
        }
    }
    for (std::unique_ptr<ExFatVolume>& c : made) {
        runs.clear();
        if (!c || !MatchChain(root, *c, false, &runs)) continue;
        ExFatVolume* candidate = c.get();
        Take(*candidate, root, runs);
        if (collection_.AddCandidate(std::move(c))) joined = true;
    }
    return joined;
}

ExFatVolume* ExFatVolumeRebuild::FindOrMake(uint64_t h, uint32_t spc, uint32_t clusterCount, uint32_t rootCluster,
                                            NewCandidates& made, bool& confirmed) {
    confirmed = false;
    if (ExFatVolume* known = collection_.FindCandidate(h, spc)) {
        if (known->rootCluster != rootCluster && known->rootCluster != kUnknownRoot) return nullptr;
        known->rootCluster = rootCluster;
        known->evidence |= EXFAT_EVIDENCE_ROOT_RUN;
        confirmed = true;
        return known;
    }
    for (const std::unique_ptr<ExFatVolume>& m : made)
        if (m->heapStart == h && m->sectorsPerCluster == spc) return nullptr;
    std::unique_ptr<ExFatVolume> v = NewCandidate(h, spc, EXFAT_EVIDENCE_ROOT_RUN);
    if (!v) return nullptr;
    v->clusterCount = clusterCount;
    v->rootCluster = rootCluster;
    const uint64_t heapSectors = static_cast<uint64_t>(clusterCount) * spc;
    if (heapSectors && heapSectors < v->volumeLength) v->volumeLength = heapSectors;
    try {
        made.push_back(std::move(v));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return made.back().get();
}

void ExFatVolumeRebuild::CandidatesFromUpcase(ExFatDirectoryInfo* root, std::vector<ExFatVolume*>& found,
                                              NewCandidates& made) {
    const uint64_t u = root->upcaseFirstCluster;
    if (upcaseSectors_.empty() || root->upcaseDataLength == 0 || !IsHeapClusterNumber(u)) return;
    const uint64_t tableSectors = (root->upcaseDataLength + bytesPerSector_ - 1) / bytesPerSector_;
    const uint64_t first = root->firstSector;
    for (uint64_t q : upcaseSectors_) {
        const uint64_t d = q > first ? q - first : first - q;
        if (d == 0 || d < tableSectors) continue;
        // The distance is a whole number of clusters.
        const uint64_t largest = std::min<uint64_t>(root->directoryBound, d & (~d + 1));
        for (uint64_t spc = root->lowerBound; spc <= largest; spc <<= 1) {
            if (d % spc != 0 || q < (u - 2) * spc) break;
            const uint64_t h = q - (u - 2) * spc;
            if (h > first) continue;
            const uint64_t rootCluster = (first - h) / spc + 2;
            if (rootCluster >= root->lowestFirstCluster || !IsHeapClusterNumber(rootCluster)) continue;
            bool confirmed = false;
            ExFatVolume* v = FindOrMake(h, static_cast<uint32_t>(spc), root->bitmapClusterCount,
                                        static_cast<uint32_t>(rootCluster), made, confirmed);
            if (v) v->fromUpcase = true;
            if (confirmed) {
                found.assign(1, v);
                made.clear();
                return;
            }
        }
    }
}

void ExFatVolumeRebuild::CandidatesFromRootPlace(ExFatDirectoryInfo* root, std::vector<ExFatVolume*>& found,
                                                 NewCandidates& made) {
    const uint64_t f = root->lowestFirstCluster;
    if (f < 3 || !IsHeapClusterNumber(f)) return;
    const uint64_t first = root->firstSector;
    size_t tries = 0;
    for (uint64_t c = root->firstClusterAboveSystem; c < f; ++c) {
        bool anyPlace = false;
        for (uint64_t spc = root->lowerBound; spc <= root->directoryBound; spc <<= 1) {
            const uint64_t offset = (c - 2) * spc;
            if (offset > first) break;
            anyPlace = true;
            bool confirmed = false;
            ExFatVolume* v = FindOrMake(first - offset, static_cast<uint32_t>(spc), root->bitmapClusterCount,
                                        static_cast<uint32_t>(c), made, confirmed);
            if (confirmed) {
                found.assign(1, v);
                made.clear();
                return;
            }
            if (made.size() >= kMostRootPlaceCandidates || ++tries >= 4 * kMostRootPlaceCandidates) return;
        }
        // The heap would begin before the device already for the smallest cluster: larger root
        // clusters only move it further back.
        if (!anyPlace) return;
    }
}

bool ExFatVolumeRebuild::OfferToCandidates(ExFatDirectoryInfo* run) {
    bool taken = false;
    int offered = 0;
    std::vector<ExFatDirectoryInfo*> found;
    for (const std::unique_ptr<ExFatVolume>& candidate : collection_.Candidates()) {
        ExFatVolume& c = *candidate;
        if (!FragmentInsideVolume(c, run)) continue;
        if (++offered > kMostCandidatesOffered) break;
        if (!run->AdmitsClusterSectors(c.sectorsPerCluster) || !OnClusterBoundary(c, run)) continue;
        if (IsFragmentTaken(c, run)) {
            taken = true;
            continue;
        }
        if (!run->HasLiveSubdirectories()) continue;
        found.clear();
        // A candidate made from runs alone must see one of the run's folders where it says.
        if (MatchChain(run, c, c.evidence <= EXFAT_EVIDENCE_RUN_PAIR, &found)) {
            Take(c, run, found);
            taken = true;
        }
    }
    return taken;
}

void ExFatVolumeRebuild::CompareWithNeighbours(size_t i, size_t before, size_t after, bool neighbourNeedsFolders) {
    ExFatDirectoryInfo* run = collection_.Run(i);
    const size_t from = i > before ? i - before : 0;
    const size_t to = std::min(collection_.RunCount(), i + after + 1);
    int trials = kMostPairTrials;
    for (size_t j = from; j < to && trials > 0; ++j) {
        ExFatDirectoryInfo* other = collection_.Run(j);
        if (other == run || other->IsRootRun() || (other->flags & ExFatDirectoryInfo::kBeginsInsideSet)) continue;
        if (neighbourNeedsFolders && !other->HasLiveSubdirectories()) continue;
        const uint64_t distance = other->firstSector > run->firstSector ? other->firstSector - run->firstSector
                                                                        : run->firstSector - other->firstSector;
        for (uint64_t spc = run->lowerBound; spc <= run->directoryBound && trials > 0; spc <<= 1) {
            if (distance % spc != 0) break;
            // One run names the other as a folder: that fixes where cluster 2 lies.
            for (int side = 0; side < 2 && trials > 0; ++side) {
                ExFatDirectoryInfo* parent = side == 0 ? run : other;
                ExFatDirectoryInfo* child = side == 0 ? other : run;
                if (!child->AdmitsClusterSectors(static_cast<uint32_t>(spc)) ||
                    !parent->AdmitsClusterSectors(static_cast<uint32_t>(spc)))
                    continue;
                for (const ExFatDirectoryInfo::Subdirectory& s : parent->subdirectories) {
                    if (!IsHeapClusterNumber(s.firstCluster)) continue;
                    const uint64_t offset = static_cast<uint64_t>(s.firstCluster - 2) * spc;
                    if (offset > child->firstSector) continue;
                    if (--trials < 0) break;
                    if (TryPair(child->firstSector - offset, static_cast<uint32_t>(spc), parent)) return;
                }
            }
        }
    }
}

bool ExFatVolumeRebuild::TryPair(uint64_t h, uint32_t spc, ExFatDirectoryInfo* parent) {
    if (collection_.FindCandidate(h, spc)) return false;
    std::unique_ptr<ExFatVolume> c = NewCandidate(h, spc, EXFAT_EVIDENCE_RUN_PAIR);
    if (!c || !FragmentInsideVolume(*c, parent)) return false;
    std::vector<ExFatDirectoryInfo*> found;
    if (!MatchChain(parent, *c, true, &found)) return false;
    Take(*c, parent, found);
    const bool added = collection_.AddCandidate(std::move(c)) != nullptr;
    collection_.ApplyCandidateCap();
    return added;
}

bool ExFatVolumeRebuild::MatchChain(ExFatDirectoryInfo* run, const ExFatVolume& c, bool needHit,
                                    std::vector<ExFatDirectoryInfo*>* found) const {
    const uint32_t spc = c.sectorsPerCluster;
    if (spc == 0) return false;
    std::vector<ExFatDirectoryInfo::Subdirectory> folders;
    try {
        run->CollectSubdirectories(folders);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const uint64_t end = ClustersEnd(c, deviceSectors_);
    ExFatClusterClaims used;
    int hits = 0;
    for (const ExFatDirectoryInfo::Subdirectory& s : folders) {
        if (!IsHeapClusterNumber(s.firstCluster)) continue;
        // Two live folders never share a cluster.
        if (!used.Claim(s.firstCluster, 1)) return false;
        const uint64_t sector = SectorOf(c.heapStart, spc, s.firstCluster);
        if (sector >= end) return false;
        ExFatDirectoryInfo* folder = sector < deviceSectors_ ? collection_.RunAt(sector) : nullptr;
        if (!folder) continue;
        if (folder == run || MarkedByOther(folder, c)) return false;
        if ((folder->flags & ExFatDirectoryInfo::kBeginsInsideSet) || !folder->AdmitsClusterSectors(spc)) return false;
        // The run found there is no longer than the folder (at least one cluster).
        const uint64_t folderSectors = (s.dataLength + bytesPerSector_ - 1) / bytesPerSector_;
        const uint64_t longest = std::max<uint64_t>(spc, (folderSectors + spc - 1) / spc * spc);
        if (folder->sectorCount > longest) return false;
        if (IsHeapClusterNumber(folder->highestFirstCluster) &&
            SectorOf(c.heapStart, spc, folder->highestFirstCluster) >= end)
            return false;
        if (!folder->ClaimClusters(used, spc * bytesPerSector_)) return false;
        ++hits;
        if (found) {
            try {
                found->push_back(folder);
            } catch (const std::bad_alloc&) {
                return false;
            }
        }
    }
    return !needHit || hits > 0;
}

void ExFatVolumeRebuild::Take(ExFatVolume& c, ExFatDirectoryInfo* run, const std::vector<ExFatDirectoryInfo*>& found) {
    TakeFragmentChain(c, run, false);
    TakeFragmentList(found, c, 1, false);
}

// ---- deciding ----

bool ExFatVolumeRebuild::MarkedByOther(const ExFatDirectoryInfo* run, const ExFatVolume& c) const {
    return (run->flags & ExFatDirectoryInfo::kMarked) && !c.runMarks.count(run->firstSector);
}

bool ExFatVolumeRebuild::HeldByAccepted(const ExFatDirectoryInfo* run) const {
    for (const ExFatVolume* v : accepted_)
        if (IsFragmentTaken(*v, run)) return true;
    return false;
}

std::unordered_set<uint64_t> ExFatVolumeRebuild::NamedSectors(const ExFatVolume& c) const {
    std::unordered_set<uint64_t> named;
    for (const ExFatDirectoryInfo* run : c.takenRuns) {
        if (MarkedByOther(run, c)) continue;
        for (const ExFatDirectoryInfo::Subdirectory& s : run->subdirectories)
            if (IsHeapClusterNumber(s.firstCluster))
                named.insert(SectorOf(c.heapStart, c.sectorsPerCluster, s.firstCluster));
    }
    return named;
}

int ExFatVolumeRebuild::Anchors(const ExFatVolume& c) const {
    int anchors = c.fromUpcase ? 1 : 0;
    if (c.sectorsPerCluster == 0) return anchors;
    const std::unordered_set<uint64_t> named = NamedSectors(c);
    const uint64_t rootSector = HasRoot(c) ? SectorOf(c.heapStart, c.sectorsPerCluster, c.rootCluster) : ~uint64_t{0};
    for (const ExFatDirectoryInfo* run : c.takenRuns) {
        if (MarkedByOther(run, c)) continue;
        if ((run->IsRootRun() && run->firstSector == rootSector) || named.count(run->firstSector) ||
            IsOwnClusterBeforeFiles(run, c, bytesPerSector_))
            ++anchors;
    }
    return anchors;
}

bool ExFatVolumeRebuild::IsAcceptable(const ExFatVolume& c) const { return BootCorroborated(c) || Anchors(c) >= 2; }

void ExFatVolumeRebuild::AcceptancePass() {
    struct Ranked {
        ExFatVolume* candidate;
        bool boot;
        int anchors;
    };
    std::vector<Ranked> ranked;
    for (const std::unique_ptr<ExFatVolume>& c : collection_.Candidates())
        if (!collection_.IsAccepted(c.get())) ranked.push_back({c.get(), BootCorroborated(*c), Anchors(*c)});
    std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
        if (a.boot != b.boot) return a.boot;
        if (a.anchors != b.anchors) return a.anchors > b.anchors;
        if (a.candidate->evidence != b.candidate->evidence) return a.candidate->evidence > b.candidate->evidence;
        return a.candidate->takenRuns.size() > b.candidate->takenRuns.size();
    });
    // Best supported first: what one accepted volume anchors no later candidate counts.
    for (const Ranked& r : ranked)
        if (IsAcceptable(*r.candidate)) Accept(r.candidate);
}

void ExFatVolumeRebuild::Accept(ExFatVolume* c) {
    try {
        accepted_.push_back(c);
    } catch (const std::bad_alloc&) {
        return;
    }
    collection_.MarkAccepted(c);
    const uint64_t heapFrom = c->heapStart + 2ULL * c->sectorsPerCluster;
    const uint64_t heapTo = c->heapStart + c->volumeLength;
    // The root run at the root cluster, or, with the root cluster unknown, the first root run.
    if (HasRoot(*c)) {
        ExFatDirectoryInfo* root = collection_.RunAt(SectorOf(c->heapStart, c->sectorsPerCluster, c->rootCluster));
        if (root && root->IsRootRun() && !MarkedByOther(root, *c)) {
            TakeFragmentChain(*c, root, true);
            c->evidence |= EXFAT_EVIDENCE_ROOT_RUN;
        }
    } else {
        ExFatDirectoryInfo* root = nullptr;
        collection_.ForRunsBetween(heapFrom, heapTo, [&](ExFatDirectoryInfo* run) {
            if (!root && run->IsRootRun() && OnClusterBoundary(*c, run) && !MarkedByOther(run, *c)) root = run;
        });
        if (root) {
            c->rootCluster = static_cast<uint32_t>((root->firstSector - c->heapStart) / c->sectorsPerCluster + 2);
            TakeFragmentChain(*c, root, true);
            c->evidence |= EXFAT_EVIDENCE_ROOT_RUN;
        }
    }
    // Every run on a cluster boundary of the heap whose folders agree with the geometry.
    std::vector<ExFatDirectoryInfo*> found;
    collection_.ForRunsBetween(heapFrom, heapTo, [&](ExFatDirectoryInfo* run) {
        if (!FragmentInsideVolume(*c, run) || !run->AdmitsClusterSectors(c->sectorsPerCluster) ||
            !OnClusterBoundary(*c, run) || (run->flags & ExFatDirectoryInfo::kBeginsInsideSet) ||
            MarkedByOther(run, *c) || IsFragmentTaken(*c, run))
            return;
        found.clear();
        if (MatchChain(run, *c, false, &found)) Take(*c, run, found);
    });
    MarkAnchoredRuns(*c);
}

void ExFatVolumeRebuild::MarkAnchoredRuns(ExFatVolume& c) {
    const std::unordered_set<uint64_t> named = NamedSectors(c);
    std::vector<ExFatDirectoryInfo*> anchored;
    for (ExFatDirectoryInfo* run : c.takenRuns) {
        if (MarkedByOther(run, c)) continue;
        if (named.count(run->firstSector) || IsOwnClusterBeforeFiles(run, c, bytesPerSector_)) anchored.push_back(run);
    }
    for (ExFatDirectoryInfo* run : anchored) TakeFragmentChain(c, run, true);
}

std::vector<ExFatVolume*> ExFatVolumeRebuild::BuildVolumes() {
    while (collection_.cursor < collection_.RunCount()) ProcessNextRun();
    collection_.ApplyCandidateCap();
    AcceptancePass();
    // Runs that no accepted volume explains may still make volumes of their own.
    for (size_t i = 0; i < collection_.RunCount(); ++i) {
        ExFatDirectoryInfo* run = collection_.Run(i);
        if ((run->flags & ExFatDirectoryInfo::kMarked) || HeldByAccepted(run)) continue;
        if (!(run->flags & ExFatDirectoryInfo::kBeginsInsideSet)) PlaceByOwnCluster(run);
        if (run->HasLiveSubdirectories()) CompareWithNeighbours(i, 8, 7, false);
    }
    AcceptancePass();
    return KeepDistinctVolumes(accepted_, bytesPerSector_);
}

void ExFatVolumeRebuild::PlaceByOwnCluster(ExFatDirectoryInfo* run) {
    const uint64_t f = run->lowestFirstCluster;
    if (f < 3 || !IsHeapClusterNumber(f)) return;
    struct Place {
        uint64_t h;
        uint32_t spc;
    };
    Place places[kMostPlacements];
    size_t count = 0;
    for (uint64_t spc = run->lowerBound; spc <= run->directoryBound && count < kMostPlacements; spc <<= 1) {
        if (spc < run->sectorCount) continue;
        // The run lies in the cluster right before its first file.
        const uint64_t offset = (f - 3) * spc;
        if (offset > run->firstSector) break;
        const uint64_t h = run->firstSector - offset;
        ExFatVolume* known = collection_.FindCandidate(h, static_cast<uint32_t>(spc));
        if (IsHeapClusterNumber(run->highestFirstCluster) &&
            SectorOf(h, static_cast<uint32_t>(spc), run->highestFirstCluster) >=
                (known ? ClustersEnd(*known, deviceSectors_) : deviceSectors_))
            break;
        places[count++] = {h, static_cast<uint32_t>(spc)};
        if (known) {
            TakeFragmentChain(*known, run, false);
            known->evidence |= EXFAT_EVIDENCE_OWN_CLUSTER;
            return;
        }
    }
    for (size_t k = 0; k < count; ++k) {
        std::unique_ptr<ExFatVolume> c = NewCandidate(places[k].h, places[k].spc, EXFAT_EVIDENCE_OWN_CLUSTER);
        if (!c || !IsOwnClusterBeforeFiles(run, *c, bytesPerSector_)) continue;
        TakeFragmentChain(*c, run, false);
        collection_.AddCandidate(std::move(c));
    }
    collection_.ApplyCandidateCap();
}

std::vector<ExFatVolume*> ExFatVolumeRebuild::KeepDistinctVolumes(std::vector<ExFatVolume*> accepted,
                                                                  uint32_t bytesPerSector) {
    std::stable_sort(accepted.begin(), accepted.end(), [](const ExFatVolume* a, const ExFatVolume* b) {
        if (a->evidence != b->evidence) return a->evidence > b->evidence;
        return a->takenRuns.size() > b->takenRuns.size();
    });
    const auto contained = [](const ExFatVolume& small, const ExFatVolume& large) {
        for (const auto& mark : small.runMarks)
            if (!large.runMarks.count(mark.first)) return false;
        return true;
    };
    std::vector<bool> dropped(accepted.size(), false);
    std::vector<ExFatVolume*> kept;
    for (size_t i = 0; i < accepted.size(); ++i) {
        if (dropped[i]) continue;
        for (size_t j = i + 1; j < accepted.size(); ++j) {
            if (dropped[j]) continue;
            // A volume that a boot sector names stands even with no run of its own.
            const bool bootWithoutRuns = (accepted[j]->evidence & EXFAT_EVIDENCE_BOOT) && accepted[j]->runMarks.empty();
            if (!bootWithoutRuns && contained(*accepted[j], *accepted[i])) dropped[j] = true;
        }
        MergeMisalignedKeys(*accepted[i], bytesPerSector);
        kept.push_back(accepted[i]);
    }
    return kept;
}
