#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

class CExFatFileNode;
class ExFatDirectoryInfo;
class ExFatLiveExtents;
class IDirecotryTreeBuilder;
struct ExFatVolume;

// Links the nodes that the whole-device search makes from one volume's directory runs to the folders
// that hold them, so that a file found by both searches lands in the same folder. A node's folder is
// the one that owns the cluster of its entry set: the root's clusters, and every folder's (its
// extent when it lies in one stretch, else its chain through the FAT); a live folder before a deleted
// one. Sets in clusters that no folder owns belong to a folder whose own entry is gone: they are kept
// together under a folder named "DIR" and the number of its first cluster, found back through the
// FAT or, without it, through the runs that hold them. What lies in a deleted folder is deleted, as
// the quick search reports it.
class ExFatFolderTree {
public:
    // A folder owns at most the clusters of the largest directory exFAT allows.
    static constexpr uint64_t kMostFolderBytes = 256ull << 20;
    static constexpr size_t kMostDepth = 4096;

    ExFatFolderTree(ExFatVolume& volume, uint16_t partitionIndex) : volume_(volume), partitionIndex_(partitionIndex) {}
    // Releases the nodes not handed over.
    ~ExFatFolderTree();
    ExFatFolderTree(const ExFatFolderTree&) = delete;
    ExFatFolderTree& operator=(const ExFatFolderTree&) = delete;

    // A node from each live, then each deleted, entry set of a run of the volume. A node that cannot
    // be made is left out.
    void AddRun(const ExFatDirectoryInfo& run);
    // Links every node to its folder, making the folders whose entries are gone.
    void Link();
    // After Link: the live files, and the clusters the root and the live folders own.
    void AddLiveExtents(ExFatLiveExtents& extents) const;
    // Hands the folders made for lost entries, then every node in the order added; a node the
    // builder refuses is released.
    void HandTo(IDirecotryTreeBuilder& builder);

private:
    static constexpr int32_t kRoot = -1;
    static constexpr int32_t kNoOwner = -2;
    struct Entry {
        CExFatFileNode* node;
        uint64_t sector;  // of its entry set's file entry
        const ExFatDirectoryInfo* run;
    };
    struct Span {
        uint32_t end;   // one past the last cluster
        int32_t owner;  // kRoot or an entry's position
    };

    uint32_t ClusterOf(uint64_t sector) const;
    // Gives owner the clusters of [first, first + count) that nobody owns yet.
    void Own(uint32_t first, uint64_t count, int32_t owner);
    int32_t OwnerOf(uint32_t cluster) const;
    // The clusters of a folder that starts at first, holding length bytes.
    void OwnFolder(uint32_t first, uint64_t length, bool contiguous, int32_t owner);
    void OwnFolders();
    // Where the sets of a cluster no folder owns belong: the folder whose clusters they continue
    // (through the FAT, the run that holds them, or a set cut between two runs), else the lost
    // folder of the first cluster they are found to continue from.
    struct Home {
        int32_t owner;       // kRoot, an entry's position, or kNoOwner: a lost folder
        uint32_t lostFirst;  // the lost folder's first cluster
    };
    Home HomeOf(uint32_t cluster);
    // The cluster before cluster in its folder, or 0 when none is known; run is the run that holds
    // cluster's sets, then the one that holds the cluster returned.
    uint32_t Predecessor(uint32_t cluster, const ExFatDirectoryInfo*& run) const;
    CExFatFileNode* LostFolder(uint32_t firstCluster);
    void MarkWhatDeletedFoldersHold();

    ExFatVolume& volume_;
    uint16_t partitionIndex_;
    std::vector<Entry> entries_;
    std::map<uint32_t, CExFatFileNode*> lost_;  // first cluster -> folder made for it
    bool handed_ = false;
    uint32_t rootCluster_ = 0;  // 0: not known
    std::map<uint32_t, Span> owners_;  // first cluster of a span -> its end and owner
    // Clusters whose sets no folder owns -> the run that holds them from the lowest sector.
    std::unordered_map<uint32_t, const ExFatDirectoryInfo*> lostClusters_;
    std::unordered_map<uint32_t, uint32_t> fatPredecessor_;
    std::unordered_map<uint32_t, Home> homes_;
};
