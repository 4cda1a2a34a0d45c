#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class CDoubleFATTable;
class CFATFileNode;
class CFATFileProperties;
class IDataRunList;
class IDirecotryTreeBuilder;
class IFATTable;
class IRealFATTable;
class IProgress;
class IStorageDevice;

// Everything one walk over a FAT volume's directory tree needs.
struct FatWalkContext {
    IDirecotryTreeBuilder* builder = nullptr;
    IProgress* sink = nullptr;
    IStorageDevice* device = nullptr;
    uint32_t kind = 0;  // 0 FAT12, 1 FAT16, 2 FAT32
    uint64_t volumeStart = 0;
    uint32_t sectorSize = 512;
    uint32_t sectorsPerCluster = 1;
    uint64_t dataSectors = 0;
    uint32_t clusterCount = 0;  // data clusters 2 .. clusterCount + 1
    // The data clusters the boot sector gives when the device ends before the last of them (a cut
    // image), else 0: the clusters past the end are the file system's, but none can be read.
    uint32_t recordedClusterCount = 0;
    IFATTable* fat = nullptr;  // null: no copy of the table is there to follow
    IRealFATTable* usedCopy = nullptr;  // the copy fat follows
    IRealFATTable* other = nullptr;     // the copy not followed, where it differs from the one that is
    uint32_t rootCluster = 0;  // FAT32
    uint64_t rootStart = 0;    // FAT12/16: absolute sector of the fixed root directory
    uint32_t rootSectors = 0;
    uint64_t dataStart = 0;  // absolute sector of cluster 2
    uint16_t partitionIndex = 0;

    // Clusters that the links of two chains name (found only in a table whose chains failed the
    // test): at most one of those chains holds what follows.
    std::unordered_set<uint32_t> joined;
    // By cluster: named by a link of the table; the first cluster of a live file or folder met so
    // far. A live file's first cluster is named by no link, and a chain that runs into one was
    // cross-linked. Empty without a table.
    std::vector<bool> named, heads;
    std::vector<bool> whole;  // first clusters of live files whose chains hold them whole
    // Those files' nodes by first cluster, while folders are read: a second live file whose chain
    // holds it whole from the same first cluster is kept back as the first one's twin (one entry's
    // cluster was changed onto the other's chain).
    std::unordered_map<uint32_t, CFATFileNode*> wholeFiles;
    // By cluster: the cluster whose link names it (0: none), made when first asked for.
    std::vector<uint32_t> namedBy;
    // Live files whose chains do not hold what their sizes need, kept back while folders are read:
    // a chain that runs into a file's first cluster is cut there once every first cluster is known.
    struct PendingFile {
        std::unique_ptr<CFATFileProperties> props;
        uint32_t firstCluster;
        uint32_t directoryCluster;
        CFATFileNode* parent;
        bool notItsOwn = false;  // its first cluster lies in another file's whole chain
        bool inFolder = false;   // its first cluster lies in a live folder's chain and holds its entries
        CFATFileNode* twinOf = nullptr;  // the live file met before whose whole chain begins there too
    };
    std::vector<PendingFile> pending;
    bool deferring = false;
    bool finishing = false;  // reading the files kept back: every first cluster is known
    // Live folders whose entries name no folder (a cluster that holds none, one past the volume),
    // with what is said of each when no lost folder turns out to be it (see ReadVolumeTree).
    struct UnplacedFolder {
        CFATFileNode* node;
        std::string loss;
        uint32_t fallback = 0;    // a folder to read as it when no lost folder is it (0: none)
        uint32_t fallbackUp = 0;  // what that folder's ".." names
    };
    std::vector<UnplacedFolder> unplaced;
    uint32_t fallbackRead = 0;  // the fallback folder being read, whatever its ".." says
    bool entriesEnded = false;  // the folder being read has shown its end (a never-used slot)

    // Directory clusters already read, with the folder read from each (null: the root).
    std::unordered_map<uint32_t, CFATFileNode*> visited;
    std::deque<CFATFileNode*> queue;       // directories still to read
    std::unordered_map<uint32_t, CFATFileNode*> knownDirectories;
    // Nodes that no builder took (walks without a builder); freed with the context.
    std::vector<std::unique_ptr<CFATFileNode>> unowned;

    FatWalkContext();
    ~FatWalkContext();
    FatWalkContext(const FatWalkContext&) = delete;
    FatWalkContext& operator=(const FatWalkContext&) = delete;

    bool IsDataCluster(uint64_t c) const { return c >= 2 && c <= static_cast<uint64_t>(clusterCount) + 1; }
    bool IsPastDeviceEnd(uint64_t c) const {
        return c > static_cast<uint64_t>(clusterCount) + 1 && c <= static_cast<uint64_t>(recordedClusterCount) + 1;
    }
    // A cluster the boot sector gives, whether the device holds it or not.
    bool IsRecordedCluster(uint64_t c) const { return IsDataCluster(c) || IsPastDeviceEnd(c); }
    uint64_t ClusterSector(uint32_t c) const {
        return dataStart + static_cast<uint64_t>(c - 2) * sectorsPerCluster;
    }
    // The first cluster an entry names. FAT12/16 have no high half: other systems keep other things
    // in its bytes (an extended-attribute handle), and damage there costs nothing.
    uint32_t EntryCluster(const uint8_t* entry) const;
    // Whether the table marks c free or bad (an entry that could not be read is neither: not known).
    bool MarkedUnused(uint32_t c) const;
};

// Empty files have no cluster of their own: each gets the next number of this process-wide counter,
// restarted at every volume walk.
constexpr uint64_t kFirstEmptyFileNumber = 0x100000000ULL;
void ResetEmptyFileCounter();
uint64_t NextEmptyFileNumber();

// Reads the directory whose first cluster is given and hands its entries to the builder; false when
// its first clusters were read before, its dot entries are wrong, or its chain came back to itself
// (everything before that point is read). Sectors that cannot be read (bad ones, those past the
// device's end) cost only the entries in them. A live folder is the one its parent names, whatever
// its "." entry says; a deleted one must still carry its own "." and "..".
bool ReadDirectoryChain(FatWalkContext& ctx, CFATFileNode* parent, uint32_t firstCluster, bool root);
// FAT32: the root's cluster chain; FAT12/16: the fixed root directory.
bool ReadRootDirectory(FatWalkContext& ctx);
// Reads the queued folders and those found in them, breadth first, until none is left. With a sink,
// asks before each folder whether to go on (false when told to stop) and reports the share read
// whenever it grows.
bool ReadQueuedDirectories(FatWalkContext& ctx);
// The root and every folder under it, then the files kept back (see FatWalkContext::pending);
// false when told to stop. A live folder whose entry names no folder is the one lost folder (a
// chain no link and no entry leads to, beginning with "." naming itself) whose ".." names the
// folder that holds the entry, when one alone does and no other such entry is there: it is read as
// that folder. Otherwise its loss is said.
bool ReadVolumeTree(FatWalkContext& ctx);
bool ReadVolumeTree(FatWalkContext& ctx);
// Entries of one stretch of a directory. Returns the bytes consumed (the offset of a long-name run
// that the stretch leaves unfinished). directoryCluster is the first cluster of the directory that
// holds the entries (0 for a fixed root); the first ownDotEntries entries are its own "." and ".."
// (checked by the caller). Any other entry named "." or ".." is skipped; the walk goes on.
int ParseDirectoryBuffer(FatWalkContext& ctx, const uint8_t* bytes, size_t length, CFATFileNode* parent,
                         uint32_t directoryCluster, bool stopAtBadEntry, size_t ownDotEntries = 0);
// The extents of a file in clusters from cluster 2; null when it has none inside the volume. When the
// runs hold less than the size (a chain that ends or loops early, the volume's end, the device's end
// before the file begins), keptBytes receives what they hold.
// Sets the table the walk follows (none when neither copy is there) and says what of the volume it
// cannot read: an end past the device's, sectors of the table that neither copy holds, no table.
// Says that the device ends inside the volume: what lies past its heldSectors is lost.
void SayVolumePastDeviceEnd(uint64_t volumeStart, uint64_t heldSectors, uint64_t recordedSectors);
void PrepareVolumeWalk(FatWalkContext& ctx, CDoubleFATTable* fat, uint64_t recordedSectors, uint64_t heldSectors);
// Fills ctx.named from the table, and ctx.joined when findJoined (a table whose chains failed the
// test).
void MapLinks(FatWalkContext& ctx, uint32_t tableEntries, bool findJoined);
// A node's path from its volume's root ("DCIM/Camera"), for what is said of it.
std::string FatNodePath(CFATFileNode* node);
// A live file's chain is cut where it runs into another's first cluster (ctx.heads), and a live
// file whose first cluster is free, or lies inside another chain that it does not fit, gets none
// (its entry's cluster was changed). fits, given for a file (not a folder), receives whether the
// chain held exactly what the size needs and ended there.
IDataRunList* BuildFatFileRuns(FatWalkContext& ctx, uint32_t firstCluster, uint64_t size, bool deleted,
                               uint64_t* keptBytes = nullptr, bool* fits = nullptr);
