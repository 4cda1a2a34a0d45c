#include "filesystems/exfat/ExFatFolderTree.h"

#include <algorithm>
#include <unordered_set>

#include "filesystems/FileSystemSearchers.h"
#include "filesystems/exfat/CExFatFileNode.h"
#include "filesystems/exfat/ExFatDirectoryInfo.h"
#include "filesystems/exfat/ExFatLayout.h"
#include "filesystems/exfat/ExFatLiveExtents.h"
#include "filesystems/exfat/ExFatVolume.h"
#include "filesystems/exfat/ExFatVolumeFragments.h"
#include "media_recovery/file_model/IDirecotryTreeBuilder.h"

using namespace exfat;

ExFatFolderTree::~ExFatFolderTree() {
    if (handed_) return;
    for (auto& [first, folder] : lost_) folder->Release();
    for (Entry& e : entries_) e.node->Release();
}

void ExFatFolderTree::AddRun(const ExFatDirectoryInfo& run) {
    if (run.IsRootRun() && !rootCluster_ && volume_.IsHeapCluster(ClusterOf(run.firstSector)))
        rootCluster_ = ClusterOf(run.firstSector);
    for (const std::vector<ExFatEntryRecord>* list : {&run.live, &run.deleted}) {
        for (const ExFatEntryRecord& record : *list) {
            CExFatFileNode* node = MakeExFatFileNode(record, volume_);
            if (!node) continue;
            if (volume_.IsHeapCluster(record.firstCluster))
                node->SetFirstLocation(volume_.ClusterSector(record.firstCluster));
            SetNodePartitionIndex(node, partitionIndex_);
            try {
                entries_.push_back(Entry{node, record.sector, &run});
            } catch (...) {
                node->Release();
            }
        }
    }
}

uint32_t ExFatFolderTree::ClusterOf(uint64_t sector) const {
    if (sector < volume_.heapStart || volume_.sectorsPerCluster == 0) return 0;
    const uint64_t cluster = (sector - volume_.heapStart) / volume_.sectorsPerCluster + 2;
    return volume_.IsHeapCluster(cluster) ? static_cast<uint32_t>(cluster) : 0;
}

void ExFatFolderTree::Own(uint32_t first, uint64_t count, int32_t owner) {
    const uint64_t end = std::min<uint64_t>(uint64_t{first} + count, volume_.ClusterLimit());
    uint64_t at = first;
    auto it = owners_.upper_bound(first);
    if (it != owners_.begin() && std::prev(it)->second.end > at) at = std::prev(it)->second.end;
    while (at < end) {
        it = owners_.lower_bound(static_cast<uint32_t>(at));
        const uint64_t stop = it == owners_.end() ? end : std::min<uint64_t>(end, it->first);
        if (stop > at) owners_.emplace(static_cast<uint32_t>(at), Span{static_cast<uint32_t>(stop), owner});
        if (it == owners_.end()) break;
        at = std::max<uint64_t>(at, it->second.end);
    }
}

int32_t ExFatFolderTree::OwnerOf(uint32_t cluster) const {
    auto it = owners_.upper_bound(cluster);
    if (it == owners_.begin()) return kNoOwner;
    --it;
    return cluster < it->second.end ? it->second.owner : kNoOwner;
}

void ExFatFolderTree::OwnFolder(uint32_t first, uint64_t length, bool contiguous, int32_t owner) {
    if (!volume_.IsHeapCluster(first)) return;
    const uint64_t clusterBytes = volume_.clusterSize ? volume_.clusterSize : 512;
    // At least the first cluster, as a walk of the folder reads it.
    const uint64_t clusters = std::max<uint64_t>(1, (std::min(length, kMostFolderBytes) + clusterBytes - 1) / clusterBytes);
    if (contiguous) {
        Own(first, clusters, owner);
        return;
    }
    // A chain that comes back to a cluster of its own ends there.
    uint32_t cluster = first;
    for (uint64_t k = 0; k < clusters && volume_.IsHeapCluster(cluster) && OwnerOf(cluster) != owner; ++k) {
        Own(cluster, 1, owner);
        cluster = volume_.NextHeapCluster(cluster);
    }
}

void ExFatFolderTree::OwnFolders() {
    const uint32_t root = volume_.IsHeapCluster(volume_.rootCluster) ? volume_.rootCluster : rootCluster_;
    if (root) OwnFolder(root, kMostFolderBytes, false, kRoot);
    // Live folders first: a deleted folder whose cluster a live one took over does not hold what is there now.
    for (const bool live : {true, false}) {
        for (size_t i = 0; i < entries_.size(); ++i) {
            CExFatFileNode* n = entries_[i].node;
            if (n->IsDirectory() && n->IsDeleted() != live)
                OwnFolder(n->FirstCluster(), n->GetSize(), n->NoFatChain(), static_cast<int32_t>(i));
        }
    }
}

uint32_t ExFatFolderTree::Predecessor(uint32_t cluster, const ExFatDirectoryInfo*& run) const {
    auto fat = fatPredecessor_.find(cluster);
    if (fat != fatPredecessor_.end()) {
        run = lostClusters_.at(fat->second);
        return fat->second;
    }
    if (!run) return 0;
    uint32_t before = 0;
    if (run->firstSector < volume_.ClusterSector(cluster)) {
        // The run goes on from the cluster before: the same folder, unless the FAT ends or turns
        // there, or says nothing of a cluster that another folder owns.
        before = cluster - 1;
        const int32_t owner = OwnerOf(before);
        if (volume_.fat.IsOpen()) {
            const uint32_t next = volume_.fat.NextCluster(before);
            if (next != cluster && (next != 0 || owner != kNoOwner)) before = 0;
        } else if (owner >= 0 && entries_[static_cast<size_t>(owner)].node->NoFatChain()) {
            before = 0;  // a folder in one stretch ends where its length says
        }
    } else if (run->previous && IsFragmentTaken(volume_, run->previous)) {
        // A set cut between this run and the one before: they hold one folder.
        run = run->previous;
        before = ClusterOf(run->LastSector());
    }
    return before != cluster && volume_.IsHeapCluster(before) ? before : 0;
}

ExFatFolderTree::Home ExFatFolderTree::HomeOf(uint32_t cluster) {
    std::vector<uint32_t> path;
    std::unordered_set<uint32_t> seen;
    Home home{kNoOwner, cluster};
    auto held = lostClusters_.find(cluster);
    const ExFatDirectoryInfo* run = held != lostClusters_.end() ? held->second : nullptr;
    for (uint32_t at = cluster; at && seen.insert(at).second && path.size() < kMostFolderBytes / 512;) {
        auto known = homes_.find(at);
        if (known != homes_.end()) {
            home = known->second;
            break;
        }
        const int32_t owner = OwnerOf(at);
        if (owner != kNoOwner) {
            home = Home{owner, 0};
            break;
        }
        path.push_back(at);
        home = Home{kNoOwner, at};
        at = Predecessor(at, run);
    }
    for (uint32_t c : path) homes_[c] = home;
    return home;
}

CExFatFileNode* ExFatFolderTree::LostFolder(uint32_t firstCluster) {
    auto it = lost_.find(firstCluster);
    if (it != lost_.end()) return it->second;
    CExFatFileNode* folder = MakeExFatLostFolder(firstCluster, volume_);
    if (!folder) return nullptr;
    SetNodePartitionIndex(folder, partitionIndex_);
    try {
        lost_.emplace(firstCluster, folder);
    } catch (...) {
        folder->Release();
        return nullptr;
    }
    return folder;
}

void ExFatFolderTree::Link() {
    OwnFolders();
    for (const Entry& e : entries_) {
        const uint32_t cluster = ClusterOf(e.sector);
        if (!cluster || OwnerOf(cluster) != kNoOwner) continue;
        auto known = lostClusters_.emplace(cluster, e.run);
        if (!known.second && e.run->firstSector < known.first->second->firstSector) known.first->second = e.run;
    }
    // A lost folder's clusters all hold sets: its chain is found among them.
    if (volume_.fat.IsOpen()) {
        for (const auto& held : lostClusters_) {
            const uint32_t next = volume_.fat.NextCluster(held.first);
            if (next != held.first && lostClusters_.count(next)) fatPredecessor_.emplace(next, held.first);
        }
    }
    for (Entry& e : entries_) {
        const uint32_t cluster = ClusterOf(e.sector);
        const int32_t owner = cluster ? OwnerOf(cluster) : kRoot;
        const Home home = owner == kNoOwner ? HomeOf(cluster) : Home{owner, 0};
        CExFatFileNode* folder = nullptr;
        if (home.owner >= 0) folder = entries_[static_cast<size_t>(home.owner)].node;
        else if (home.owner == kNoOwner) folder = LostFolder(home.lostFirst);
        // A folder cannot hold itself or one that holds it.
        if (folder && folder->LinkChild(e.node)) e.node->SetSecondLocation(folder->GetLocation());
        else e.node->SetSecondLocation(~uint64_t{0});
    }
    MarkWhatDeletedFoldersHold();
}

void ExFatFolderTree::AddLiveExtents(ExFatLiveExtents& extents) const {
    for (const Entry& e : entries_) {
        if (e.node->IsDeleted()) continue;
        if (e.node->IsDirectory()) extents.AddNamedFirst(e.node->FirstCluster());
        else extents.AddFile(e.node, false);
    }
    extents.AddNamedFirst(volume_.IsHeapCluster(volume_.rootCluster) ? volume_.rootCluster : rootCluster_);
    // A live folder holds the clusters of its own where entry sets were found: one whose first
    // cluster was damaged owns another file's clusters, which hold none.
    std::unordered_set<uint32_t> held;
    for (const Entry& e : entries_) {
        const uint32_t cluster = ClusterOf(e.sector);
        const int32_t owner = cluster ? OwnerOf(cluster) : kNoOwner;
        if (owner == kRoot || (owner >= 0 && !entries_[static_cast<size_t>(owner)].node->IsDeleted()))
            if (held.insert(cluster).second) extents.AddHeld(cluster, 1);
    }
}

void ExFatFolderTree::MarkWhatDeletedFoldersHold() {
    for (Entry& e : entries_) {
        if (e.node->IsDeleted()) continue;
        size_t depth = 0;
        for (IFileNode* folder = e.node->GetParent(); folder && depth < kMostDepth; folder = folder->GetParent(), ++depth) {
            if (folder->IsDeleted()) {
                e.node->MarkDeleted();
                break;
            }
        }
    }
}

void ExFatFolderTree::HandTo(IDirecotryTreeBuilder& builder) {
    handed_ = true;
    for (auto& [first, folder] : lost_)
        if (!builder.AddNode(folder, SEARCHER_EXFAT)) folder->Release();
    for (Entry& e : entries_)
        if (!builder.AddNode(e.node, SEARCHER_EXFAT)) e.node->Release();
}
