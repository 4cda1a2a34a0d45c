#include "filesystems/exfat/ExFatLiveExtents.h"

#include <algorithm>

#include "filesystems/exfat/CExFatFileNode.h"
#include "filesystems/exfat/ExFatAllocationBitmap.h"
#include "filesystems/exfat/ExFatLayout.h"
#include "filesystems/exfat/ExFatVolume.h"
#include "media_recovery/file_model/CDataRunList.h"

namespace {

// FAT entries from here on end a chain (0xFFFFFFFF; the values before it up to 0xFFFFFFF8 are kept
// for media marks and are taken as ends too). 0xFFFFFFF7 marks a bad cluster.
constexpr uint32_t kFirstEndMark = 0xFFFFFFF8;

}  // namespace

void ExFatLiveExtents::AddFile(CExFatFileNode* node, bool changed) {
    IDataRunList* list = node ? node->GetDataRuns() : nullptr;
    if (!list || !volume_.clusterSize) return;
    Claim claim;
    claim.node = node;
    claim.firstRun = runs_.size();
    const int32_t index = static_cast<int32_t>(claims_.size());
    uint32_t last = 0;
    for (const DataRun* run = list->First(); run; run = list->Next()) {
        if (run->length == 0 || run->start < 0) continue;
        const uint32_t first = static_cast<uint32_t>(run->start + 2);
        runs_.push_back(Run{first, static_cast<uint32_t>(run->length), index});
        claim.held += run->length;
        last = static_cast<uint32_t>(first + run->length - 1);
    }
    claim.endRun = runs_.size();
    if (claim.held == 0) return;
    claim.needed = (node->GetSize() + volume_.clusterSize - 1) / volume_.clusterSize;
    claim.chained = !node->NoFatChain();
    claim.changed = changed;
    if (claim.chained && volume_.fat.IsOpen()) {
        // Its last cluster's entry: the end mark, after as many clusters as its length needs.
        const uint32_t entry = volume_.fat.NextCluster(last);
        const bool ends = entry >= kFirstEndMark;
        const bool link = volume_.IsHeapCluster(entry);
        claim.irregular = claim.held < claim.needed || !ends;
        // A chain cut where it came back to itself ends in a link, which is no fault of its last;
        // its first cluster is the entry's word, whatever its FAT entry says.
        claim.badEnd = !ends && !link && claim.held > 1;
        // A chain cut where it came back to itself: the cluster it came back to is named by two of
        // its own links, which is no join with another chain.
        if (link) claim.loopTarget = entry;
    }
    claims_.push_back(claim);
}

void ExFatLiveExtents::AddHeld(uint32_t first, uint64_t count) {
    if (!volume_.IsHeapCluster(first) || count == 0) return;
    count = std::min<uint64_t>(count, volume_.ClusterLimit() - first);
    runs_.push_back(Run{first, static_cast<uint32_t>(count), -1});
}

void ExFatLiveExtents::AddNamedFirst(uint32_t cluster) {
    if (volume_.IsHeapCluster(cluster)) namedFirsts_.push_back(cluster);
}

void ExFatLiveExtents::FindMeetings() {
    yields_.clear();
    std::vector<uint32_t> order(runs_.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return runs_[a].first < runs_[b].first; });
    // Each pair that meets, once: a run meets those that begin before its end. Claims that all meet
    // all others (a volume whose lengths are all damaged) are weighed as far as kMostMeetings go.
    for (size_t i = 0; i < order.size() && yields_.size() < kMostMeetings; ++i) {
        const Run& a = runs_[order[i]];
        const uint64_t aEnd = uint64_t{a.first} + a.count;
        for (size_t j = i + 1; j < order.size() && runs_[order[j]].first < aEnd; ++j) {
            const Run& b = runs_[order[j]];
            if (a.claim == b.claim) continue;
            const uint32_t end = static_cast<uint32_t>(std::min<uint64_t>(aEnd, uint64_t{b.first} + b.count));
            // Recorded with the claim of a as the one that may give way; settled later.
            yields_.push_back(Yield{a.claim, b.first, end, b.claim});
            for (int32_t c : {a.claim, b.claim}) {
                if (c < 0) continue;
                claims_[static_cast<size_t>(c)].meets = true;
                ++claims_[static_cast<size_t>(c)].others;
            }
        }
    }
}

int ExFatLiveExtents::Rank(const Claim& c) const {
    if (c.changed) return 3;
    if (c.irregular) return 2;
    return c.chained ? 0 : 1;
}

bool ExFatLiveExtents::GivesWay(const Claim& a, const Claim& b) const {
    if (a.changed != b.changed) return a.changed;
    if (a.others != b.others) return a.others > b.others;
    if (Rank(a) != Rank(b)) return Rank(a) > Rank(b);
    if (a.freeClusters != b.freeClusters) return a.freeClusters > b.freeClusters;
    // The one inside the other: it begins later, or with it and ends sooner (a short file's first
    // cluster moved onto a longer file's start).
    const uint32_t firstA = runs_[a.firstRun].first, firstB = runs_[b.firstRun].first;
    if (firstA != firstB) return firstA > firstB;
    return a.held < b.held;
}

bool ExFatLiveExtents::FollowsANeighbour(size_t i) const {
    // The files of one folder are added one after another, in the folder's order.
    const Claim& c = claims_[i];
    IFileNode* const folder = c.node->GetParent();
    const Run& first = runs_[c.firstRun];
    const Run& last = runs_[c.endRun - 1];
    if (i > 0 && claims_[i - 1].node->GetParent() == folder) {
        const Run& before = runs_[claims_[i - 1].endRun - 1];
        if (uint64_t{before.first} + before.count == first.first) return true;
    }
    if (i + 1 < claims_.size() && claims_[i + 1].node->GetParent() == folder)
        return uint64_t{last.first} + last.count == runs_[claims_[i + 1].firstRun].first;
    return false;
}

bool ExFatLiveExtents::TailFits(uint32_t cluster, uint64_t left) {
    uint64_t count = 0;
    while (volume_.IsHeapCluster(cluster)) {
        if (++count > left) return false;
        const uint32_t next = volume_.fat.NextCluster(cluster);
        if (!volume_.IsHeapCluster(next)) return count == left && next >= kFirstEndMark;
        cluster = next;
    }
    return false;
}

void ExFatLiveExtents::CountNames() {
    namesCounted_ = true;
    const uint64_t limit = volume_.ClusterLimit();
    // A volume whose cluster count is not known names clusters up to the FAT's marks: too many to count.
    if (!volume_.clusterCount || !volume_.fat.IsOpen()) return;
    try {
        namedOnce_.assign(static_cast<size_t>(limit), false);
        namedTwice_.assign(static_cast<size_t>(limit), false);
    } catch (...) {
        namedOnce_.clear();
        namedTwice_.clear();
        return;
    }
    const auto name = [&](uint32_t c) {
        if (!volume_.IsHeapCluster(c)) return;
        if (namedOnce_[c]) namedTwice_[c] = true;
        namedOnce_[c] = true;
    };
    for (uint32_t c = exfat::kFirstCluster; c < limit; ++c) {
        const uint32_t next = volume_.fat.NextCluster(c);
        if (next != c) name(next);
    }
    for (const Claim& c : claims_) name(runs_[c.firstRun].first);
    for (uint32_t c : namedFirsts_) name(c);
}

std::vector<ExFatLiveExtents::Cut> ExFatLiveExtents::Settle(const ExFatAllocationBitmap* bitmap) {
    std::vector<Cut> cuts;
    FindMeetings();
    const auto inDoubt = [](const Claim& c) { return c.changed || c.irregular || c.meets; };
    if (bitmap) {
        for (Claim& c : claims_) {
            if (!inDoubt(c)) continue;
            for (size_t r = c.firstRun; r < c.endRun; ++r)
                for (uint32_t k = 0; k < runs_[r].count; ++k)
                    if (!bitmap->Marks(uint64_t{runs_[r].first} + k)) ++c.freeClusters;
        }
    }
    // Who gives way where two meet; a stretch nobody gives way on is left to both.
    std::vector<Yield> given;
    for (const Yield& y : yields_) {
        const int32_t a = y.claim, b = y.other;
        if (a < 0 && b < 0) continue;
        if (a < 0 || (b >= 0 && GivesWay(claims_[static_cast<size_t>(b)], claims_[static_cast<size_t>(a)]))) {
            given.push_back(Yield{b, y.first, y.end, a});
        } else if (b < 0 || GivesWay(claims_[static_cast<size_t>(a)], claims_[static_cast<size_t>(b)])) {
            given.push_back(y);
        } else if (claims_[static_cast<size_t>(a)].node->GetSize() != claims_[static_cast<size_t>(b)].node->GetSize()) {
            // Two files of different lengths that claim alike (one's first cluster was moved onto the
            // other's). Files written one after another lie one after another: the one whose clusters
            // follow on those of a file beside it in its folder keeps them. Where that does not tell,
            // neither keeps them. Alike claims of one length are one file seen twice.
            const bool aFollows = FollowsANeighbour(static_cast<size_t>(a));
            const bool bFollows = FollowsANeighbour(static_cast<size_t>(b));
            if (!aFollows || bFollows) given.push_back(y);
            if (!bFollows || aFollows) given.push_back(Yield{b, y.first, y.end, a});
        }
    }
    std::sort(given.begin(), given.end(), [](const Yield& x, const Yield& y) {
        return x.claim != y.claim ? x.claim < y.claim : x.first < y.first;
    });
    for (size_t i = 0; i < claims_.size(); ++i) {
        Claim& c = claims_[i];
        if (!inDoubt(c)) {
            // An extent in one stretch that lies wholly in free clusters is no file's: its first
            // cluster was damaged.
            if (c.chained || !bitmap) continue;
            bool anyMarked = false;
            for (size_t r = c.firstRun; r < c.endRun && !anyMarked; ++r)
                anyMarked = !bitmap->MarksNone(runs_[r].first, runs_[r].count);
            if (anyMarked) continue;
            c.node->KeepOnly(0);
            cuts.push_back(Cut{c.node, 0, 0, c.needed, runs_[c.firstRun].first, Why::kFree, nullptr});
            continue;
        }
        if (c.irregular && !namesCounted_) CountNames();
        auto from = std::lower_bound(given.begin(), given.end(), static_cast<int32_t>(i),
                                     [](const Yield& y, int32_t claim) { return y.claim < claim; });
        auto to = from;
        while (to != given.end() && to->claim == static_cast<int32_t>(i)) ++to;
        Cut made{c.node, 0, 0, c.needed, 0, Why::kHeld, nullptr};
        bool cut = false;
        uint64_t k = 0;  // clusters before the run, in file order
        for (size_t r = c.firstRun; r < c.endRun && !cut; k += runs_[r].count, ++r) {
            const uint32_t first = runs_[r].first;
            uint64_t end = uint64_t{first} + runs_[r].count;  // one past the first cluster found not its own
            // Within a run clusters go up as the file does: the lowest found is the first.
            for (auto y = from; y != to; ++y) {
                const uint64_t at = std::max(y->first, first);
                if (y->end > first && at < end) {
                    end = at;
                    made.why = y->other < 0 ? Why::kHeld : Why::kOtherFile;
                    made.other = y->other < 0 ? nullptr : claims_[static_cast<size_t>(y->other)].node;
                }
            }
            for (uint64_t cluster = first; cluster < end; ++cluster) {
                const uint64_t at = k + (cluster - first);
                Why why;
                if (bitmap && !bitmap->Marks(cluster)) why = Why::kFree;
                else if (c.irregular && !namedTwice_.empty() && namedTwice_[cluster] && cluster != c.loopTarget &&
                         !TailFits(static_cast<uint32_t>(cluster), c.needed - at))
                    why = Why::kJoined;
                else if (c.badEnd && at + 1 == c.held) why = Why::kNoEnd;
                else continue;
                end = cluster;
                made.why = why;
                made.other = nullptr;
            }
            if (end < uint64_t{first} + runs_[r].count) {
                cut = true;
                made.position = made.kept = k + (end - first);
                made.cluster = static_cast<uint32_t>(end);
            }
        }
        if (!cut) continue;
        // An extent in one stretch is its first cluster and its length: when its length keeps within
        // the heap, a cluster past its first that is not its own tells that its first was damaged.
        const uint64_t first = runs_[c.firstRun].first;
        if (!c.chained && c.needed <= volume_.ClusterLimit() - first) made.kept = 0;
        c.node->KeepOnly(made.kept);
        cuts.push_back(made);
    }
    return cuts;
}
