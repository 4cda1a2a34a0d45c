#include "filesystems/exfat/ExFatVolumeCollection.h"

#include <algorithm>
#include <new>

#include "filesystems/exfat/ExFatSectorRecognizer.h"

ExFatVolume* ExFatVolumeCollection::FindCandidate(uint64_t heapStart, uint32_t sectorsPerCluster) const {
    auto it = index_.find({heapStart, sectorsPerCluster});
    return it == index_.end() ? nullptr : it->second;
}

ExFatVolume* ExFatVolumeCollection::AddCandidate(std::unique_ptr<ExFatVolume> candidate) {
    if (!candidate) return nullptr;
    const std::pair<uint64_t, uint32_t> key{candidate->heapStart, candidate->sectorsPerCluster};
    if (index_.count(key)) return nullptr;
    try {
        candidates_.push_back(std::move(candidate));
        index_[key] = candidates_.back().get();
    } catch (const std::bad_alloc&) {
        if (!candidates_.empty() && candidates_.back() && !index_.count(key)) candidates_.pop_back();
        return nullptr;
    }
    return candidates_.back().get();
}

void ExFatVolumeCollection::RemoveCandidate(ExFatVolume* candidate) {
    auto it = std::find_if(candidates_.begin(), candidates_.end(),
                           [&](const std::unique_ptr<ExFatVolume>& c) { return c.get() == candidate; });
    if (it == candidates_.end()) return;
    index_.erase({candidate->heapStart, candidate->sectorsPerCluster});
    accepted_.erase(candidate);
    candidates_.erase(it);
}

void ExFatVolumeCollection::ApplyCandidateCap() {
    if (candidates_.size() <= kMostCandidates) return;
    for (size_t i = candidates_.size(); i-- > 0 && candidates_.size() > kCandidatesKept;) {
        ExFatVolume* c = candidates_[i].get();
        if (accepted_.count(c)) continue;
        index_.erase({c->heapStart, c->sectorsPerCluster});
        candidates_.erase(candidates_.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

std::vector<std::unique_ptr<ExFatVolume>> ExFatVolumeCollection::TakeCandidates(
    const std::vector<ExFatVolume*>& which) {
    std::vector<std::unique_ptr<ExFatVolume>> out;
    for (ExFatVolume* v : which) {
        auto it = std::find_if(candidates_.begin(), candidates_.end(),
                               [&](const std::unique_ptr<ExFatVolume>& c) { return c.get() == v; });
        if (it == candidates_.end()) continue;
        index_.erase({v->heapStart, v->sectorsPerCluster});
        accepted_.erase(v);
        out.push_back(std::move(*it));
        candidates_.erase(it);
    }
    return out;
}

ExFatDirectoryInfo* ExFatVolumeCollection::RunAt(uint64_t firstSector) const {
    auto it = byFirstSector_.find(firstSector);
    return it == byFirstSector_.end() ? nullptr : runs_[it->second].get();
}

ExFatDirectoryInfo* ExFatVolumeCollection::AddRun(std::unique_ptr<ExFatDirectoryInfo> run,
                                                  const ExFatSectorRecognizer& recognizer, uint32_t sectorShift) {
    if (!run || run->firstSector == ExFatDirectoryInfo::kNoSector) return nullptr;
    run->Finish(sectorShift);
    ExFatDirectoryInfo* added = run.get();
    try {
        runs_.push_back(std::move(run));
        if (!byFirstSector_.emplace(added->firstSector, runs_.size() - 1).second) {
            // The same sectors offered twice: the first run stands.
            runs_.pop_back();
            return nullptr;
        }
    } catch (const std::bad_alloc&) {
        if (!runs_.empty() && runs_.back().get() == added) runs_.pop_back();
        return nullptr;
    }
    records_ += added->live.size() + added->deleted.size();
    lastRunEnd = std::max(lastRunEnd, added->firstSector + added->sectorCount);
    if (added->flags & ExFatDirectoryInfo::kBeginsInsideSet) {
        const uint64_t head = recognizer.FindLinkingRun(added->firstSector);
        if (head != ExFatSectorRecognizer::kNone) Link(RunAt(head), added);
    }
    if (added->flags & ExFatDirectoryInfo::kSetLeaves) {
        const uint64_t tail = recognizer.FindLinkedRun(added->firstSector);
        if (tail != ExFatSectorRecognizer::kNone) Link(added, RunAt(tail));
    }
    return added;
}

void ExFatVolumeCollection::Link(ExFatDirectoryInfo* head, ExFatDirectoryInfo* tail) {
    if (!head || !tail || head == tail || head->next || tail->previous) return;
    // Links come from the disk's contents: refuse one that would close a loop.
    size_t n = 0;
    for (const ExFatDirectoryInfo* r = tail; r; r = r->next)
        if (r == head || ++n >= ExFatDirectoryInfo::kMostChainRuns) return;
    head->next = tail;
    tail->previous = head;
    const uint32_t lower = std::max(head->lowerBound, tail->lowerBound);
    const uint32_t upper = std::min(head->directoryBound, tail->directoryBound);
    head->lowerBound = tail->lowerBound = lower;
    head->directoryBound = tail->directoryBound = upper;
}

void ExFatVolumeCollection::Clear() {
    candidates_.clear();
    index_.clear();
    accepted_.clear();
    runs_.clear();
    byFirstSector_.clear();
    records_ = 0;
    cursor = 0;
    lastRunEnd = 0;
}
