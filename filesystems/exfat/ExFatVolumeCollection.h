#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "filesystems/exfat/ExFatDirectoryInfo.h"
#include "filesystems/exfat/ExFatVolume.h"

class ExFatSectorRecognizer;

// What the whole-device exFAT search collects: candidate volumes (in the order they were made, and
// indexed by heap start and cluster size) and directory runs (in the order they were added, which is
// device order, with a cursor up to which they have been processed).
class ExFatVolumeCollection {
public:
    // More candidates than this are cut back to kCandidatesKept, newest first.
    static constexpr size_t kMostCandidates = 0x400;
    static constexpr size_t kCandidatesKept = 0x200;

    ExFatVolumeCollection() = default;
    ExFatVolumeCollection(const ExFatVolumeCollection&) = delete;
    ExFatVolumeCollection& operator=(const ExFatVolumeCollection&) = delete;

    // ---- candidates ----
    ExFatVolume* FindCandidate(uint64_t heapStart, uint32_t sectorsPerCluster) const;
    // Joins the list's end and the index; null (and the candidate freed) when its key is taken.
    ExFatVolume* AddCandidate(std::unique_ptr<ExFatVolume> candidate);
    void RemoveCandidate(ExFatVolume* candidate);
    // Cuts the list back to kCandidatesKept when it holds more than kMostCandidates; candidates
    // already accepted stay.
    void ApplyCandidateCap();
    const std::vector<std::unique_ptr<ExFatVolume>>& Candidates() const { return candidates_; }
    void MarkAccepted(ExFatVolume* candidate) { accepted_.insert(candidate); }
    bool IsAccepted(const ExFatVolume* candidate) const { return accepted_.count(candidate) != 0; }
    // Hands the accepted candidates over in the given order; the others are freed with the collection.
    std::vector<std::unique_ptr<ExFatVolume>> TakeCandidates(const std::vector<ExFatVolume*>& which);

    // ---- runs ----
    // Finishes the run, adds it, and chains it to the runs that the recognizer joined it with.
    ExFatDirectoryInfo* AddRun(std::unique_ptr<ExFatDirectoryInfo> run, const ExFatSectorRecognizer& recognizer,
                               uint32_t sectorShift);
    // The run whose first sector this is, or null.
    ExFatDirectoryInfo* RunAt(uint64_t firstSector) const;
    // The runs whose first sector lies in [from, to), in device order.
    template <typename Visit>
    void ForRunsBetween(uint64_t from, uint64_t to, Visit visit) const {
        for (auto it = byFirstSector_.lower_bound(from); it != byFirstSector_.end() && it->first < to; ++it)
            visit(runs_[it->second].get());
    }
    size_t RunCount() const { return runs_.size(); }
    ExFatDirectoryInfo* Run(size_t i) const { return runs_[i].get(); }
    size_t RecordCount() const { return records_; }

    size_t cursor = 0;          // runs before it have been processed
    uint64_t lastRunEnd = 0;    // the sector after the last run added

    void Clear();

private:
    void Link(ExFatDirectoryInfo* head, ExFatDirectoryInfo* tail);

    std::vector<std::unique_ptr<ExFatVolume>> candidates_;
    std::map<std::pair<uint64_t, uint32_t>, ExFatVolume*> index_;
    std::set<const ExFatVolume*> accepted_;
    std::vector<std::unique_ptr<ExFatDirectoryInfo>> runs_;
    std::map<uint64_t, size_t> byFirstSector_;
    size_t records_ = 0;
};
