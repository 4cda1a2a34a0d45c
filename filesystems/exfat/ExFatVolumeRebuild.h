#pragma once
#include <cstdint>
#include <memory>
#include <unordered_set>
#include <vector>

#include "filesystems/exfat/ExFatDirectoryInfo.h"

class ExFatVolumeCollection;
struct ExFatVolume;

// Turns the directory runs of the whole-device exFAT search into volumes: makes candidates where no
// boot sector is known (from a root run and the up-case table, from the places its root cluster can
// take, from a run and a run one of its folders names, from a run lying right before its first
// file), checks a candidate's geometry against the runs its folders point to, and at the end
// accepts the candidates that the runs support and hands each the runs that belong to it.
//
// A candidate is accepted on two independent pieces of evidence: both boot sectors, a boot sector
// and the start of its FAT, or runs anchored by the geometry (the root run at the root cluster, a
// run whose own cluster lies right before its first file, a run that a folder of the candidate
// names, the up-case table where the root run says). Candidates are accepted best supported first,
// and a run anchored for one accepted volume counts for no other.
class ExFatVolumeRebuild {
public:
    // Candidates that one root run may make from the places its root cluster can take.
    static constexpr size_t kMostRootPlaceCandidates = 0x200;
    // Geometries tried for one run against its neighbours.
    static constexpr int kMostPairTrials = 256;
    // Cluster sizes from 1 to 65536 sectors.
    static constexpr size_t kMostPlacements = 17;

    ExFatVolumeRebuild(ExFatVolumeCollection& collection, const std::vector<uint64_t>& upcaseSectors,
                       uint64_t deviceSectors, uint32_t bytesPerSector);

    // Processes the run at the collection's cursor and advances it.
    void ProcessNextRun();
    // Processes the remaining runs and decides; the accepted volumes, in order.
    std::vector<ExFatVolume*> BuildVolumes();

    // Sorted by evidence, then by runs held; drops every volume whose marked runs another that
    // sorts before it holds as well.
    static std::vector<ExFatVolume*> KeepDistinctVolumes(std::vector<ExFatVolume*> accepted, uint32_t bytesPerSector);

    // The pieces, for tests.
    // A candidate found (and confirmed: the root run lies at its root cluster) lands in found, and
    // the search ends; new ones land in made, not yet in the collection.
    using NewCandidates = std::vector<std::unique_ptr<ExFatVolume>>;
    void CandidatesFromUpcase(ExFatDirectoryInfo* root, std::vector<ExFatVolume*>& found, NewCandidates& made);
    void CandidatesFromRootPlace(ExFatDirectoryInfo* root, std::vector<ExFatVolume*>& found, NewCandidates& made);
    void PlaceByOwnCluster(ExFatDirectoryInfo* run);
    // Whether the folders of the run's chain point, under the candidate's geometry, at runs that
    // can be those folders; the runs found are appended to found.
    bool MatchChain(ExFatDirectoryInfo* run, const ExFatVolume& candidate, bool needHit,
                    std::vector<ExFatDirectoryInfo*>* found) const;
    int Anchors(const ExFatVolume& candidate) const;

private:
    void ProcessRootRun(ExFatDirectoryInfo* root);
    bool JoinRootCandidates(ExFatDirectoryInfo* root, const std::vector<ExFatVolume*>& found, NewCandidates& made);
    bool OfferToCandidates(ExFatDirectoryInfo* run);
    void CompareWithNeighbours(size_t i, size_t before, size_t after, bool neighbourNeedsFolders);
    bool TryPair(uint64_t heapStart, uint32_t spc, ExFatDirectoryInfo* parent);
    // The candidate (h, spc) with root cluster c: an existing one is confirmed when its root cluster
    // is c (or unknown); else a new one is made into made. Null when neither.
    ExFatVolume* FindOrMake(uint64_t h, uint32_t spc, uint32_t clusterCount, uint32_t rootCluster,
                            NewCandidates& made, bool& confirmed);
    std::unique_ptr<ExFatVolume> NewCandidate(uint64_t h, uint32_t spc, uint32_t evidence) const;
    void AcceptancePass();
    bool IsAcceptable(const ExFatVolume& candidate) const;
    void Accept(ExFatVolume* candidate);
    bool MarkedByOther(const ExFatDirectoryInfo* run, const ExFatVolume& candidate) const;
    bool HeldByAccepted(const ExFatDirectoryInfo* run) const;
    void Take(ExFatVolume& candidate, ExFatDirectoryInfo* run, const std::vector<ExFatDirectoryInfo*>& found);
    void MarkAnchoredRuns(ExFatVolume& candidate);
    // The sectors at which the folders of the candidate's runs begin, under its geometry.
    std::unordered_set<uint64_t> NamedSectors(const ExFatVolume& candidate) const;
    uint64_t SectorOf(uint64_t h, uint32_t spc, uint32_t cluster) const {
        return h + static_cast<uint64_t>(cluster - 2) * spc;
    }

    ExFatVolumeCollection& collection_;
    const std::vector<uint64_t>& upcaseSectors_;
    uint64_t deviceSectors_;
    uint32_t bytesPerSector_;
    std::vector<ExFatVolume*> accepted_;
};
