#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class CExFatFileNode;
class ExFatAllocationBitmap;
struct ExFatVolume;

// The clusters the live files of one exFAT volume claim through their extents, and which claims give
// way where a cluster is not the file's own. A file whose entry set or FAT chain was damaged claims
// clusters that are another's: the data of another file or folder, free clusters, or clusters it
// reaches through a link that is not its chain's. Such a file keeps its clusters up to the first one
// that is not its own (in file order), so that what is written of it is a beginning of its own bytes.
//
// A claim is in doubt when its set was changed since it was written (ExFatEntryRecord::changed), when
// its FAT chain does not end where its length does (short, longer, or in an entry that ends no chain),
// or when it meets another claim. An extent in one stretch is only its first cluster and its length:
// when a cluster of it is not its own though its length keeps within the heap, its first cluster is
// not trusted and none of it is kept; so too when the allocation bitmap marks all of it free.
//
// Where two claims meet, the one more likely damaged gives way: a changed set; then the one that
// meets more others; then an irregular chain before a contiguous extent before a chain that holds
// together; then the one with more clusters the allocation bitmap marks free; then the one inside the
// other (it begins later, or with it and ends sooner); then, of two files of different lengths, the
// one whose clusters do not follow on a neighbour's in its folder. Where nothing tells, both give
// way, unless they are of one length (one file seen twice). Live folders and the volume's own tables
// never give way. A claim in doubt also gives way at a cluster the allocation bitmap marks free, and
// an irregular chain at a cluster that two links name (a FAT link, or an entry's first cluster) when
// the chain from there is not what it still needs.
class ExFatLiveExtents {
public:
    enum class Why {
        kHeld,       // a live folder's or the volume's own tables'
        kOtherFile,  // another live file's, whose claim holds
        kFree,       // the allocation bitmap marks it free
        kJoined,     // two links name it, and the chain from there is another's length
        kNoEnd,      // the chain's last cluster, whose FAT entry is no link and no end mark
    };
    struct Cut {
        CExFatFileNode* node;
        uint64_t kept;      // clusters kept, from its first in file order
        uint64_t position;  // the place of the cluster given up in file order (0: its first)
        uint64_t needed;    // clusters its length needs
        uint32_t cluster;   // the first cluster given up
        Why why;
        CExFatFileNode* other;  // kOtherFile: the file whose claim holds
    };

    // Pairs of claims that meet, weighed at most.
    static constexpr size_t kMostMeetings = size_t{1} << 20;

    explicit ExFatLiveExtents(ExFatVolume& volume) : volume_(volume) {}
    ExFatLiveExtents(const ExFatLiveExtents&) = delete;
    ExFatLiveExtents& operator=(const ExFatLiveExtents&) = delete;

    // A live file, whose extents were built from its record; changed: its set was changed since it
    // was written.
    void AddFile(CExFatFileNode* node, bool changed);
    // Clusters [first, first + count) of a live folder or of the volume's own tables.
    void AddHeld(uint32_t first, uint64_t count);
    // The first cluster of a live folder or table: an entry names it.
    void AddNamedFirst(uint32_t cluster);

    // Cuts each claim in doubt before its first cluster that is not its own; bitmap: null when none
    // can be trusted. The cuts, in the order the files were added.
    std::vector<Cut> Settle(const ExFatAllocationBitmap* bitmap);

private:
    struct Claim {
        CExFatFileNode* node;
        size_t firstRun, endRun;  // its runs in runs_, in file order
        uint64_t held = 0;        // clusters its extents hold
        uint64_t needed = 0;      // clusters its length needs
        bool chained = false, changed = false;
        bool irregular = false;   // a chain that does not end where its length does
        bool badEnd = false;      // its last cluster's FAT entry is no link and no end mark
        uint32_t loopTarget = 0;  // the cluster its last cluster's FAT entry links to
        bool meets = false;       // it meets another claim, or a folder's or table's clusters
        uint32_t others = 0;      // how many claims and held stretches it meets
        uint64_t freeClusters = 0;
    };
    struct Run {
        uint32_t first;
        uint32_t count;
        int32_t claim;  // -1: held
    };
    // A stretch of a claim that gives way to another (or to held clusters: other = -1).
    struct Yield {
        int32_t claim;
        uint32_t first, end;
        int32_t other;
    };

    // Finds the claims that meet another, or held clusters.
    void FindMeetings();
    int Rank(const Claim& c) const;
    // Whether claim a gives way to claim b where they meet.
    bool GivesWay(const Claim& a, const Claim& b) const;
    // Whether claim i's first cluster follows on the last of the file before it in its folder, or its
    // last comes just before the first of the file after it.
    bool FollowsANeighbour(size_t i) const;
    // Whether the chain from cluster holds exactly left clusters and ends in an end mark.
    bool TailFits(uint32_t cluster, uint64_t left);
    void CountNames();

    ExFatVolume& volume_;
    std::vector<Claim> claims_;
    std::vector<Run> runs_;
    std::vector<uint32_t> namedFirsts_;
    std::vector<Yield> yields_;
    // Clusters that two links name (FAT entries, entries' first clusters), counted when needed.
    std::vector<bool> namedOnce_, namedTwice_;
    bool namesCounted_ = false;
};
