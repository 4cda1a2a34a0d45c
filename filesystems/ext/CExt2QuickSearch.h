#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "filesystems/frame/CSearchedPartitionInfo.h"
#include "filesystems/frame/IFileSystemSearchController.h"
#include "filesystems/ext/ExtBlockOwners.h"
#include "filesystems/ext/ExtInode.h"
#include "filesystems/ext/ExtInodeMap.h"
#include "filesystems/ext/ExtLocalClock.h"
#include "filesystems/ext/ExtMemory.h"
#include "sqlite_recovery/framework/IProgress.h"

class CEXTFileNode;
class ExtBlockMap;
class ExtBlockOwners;
class CExt2DataRunList;
class CExt2FileProperties;
class CExt2FileSystem;
class IDataRunList;
struct ExtInode;
struct ExtMapStop;
class IFileNode;

// Reads the Ext2/3/4 volume at the start of a storage device, inode by inode, and hands every inode
// with a plausible block map to the builder (code 0x23) as a node, named from the folder entries
// that refer to it and linked under the folder of the entry that named it (the root's entries and
// "Inode_<hex number>" nodes, named by no entry, have no folder). Inodes with a deletion time are
// marked deleted (the builder refuses those). A live file's holes are sparse runs: it reads whole.
// A live file's blocks are its own only when nothing says otherwise: live files are handed out
// once the walk has seen every block any live inode, folder or the volume's metadata holds, and a
// file is cut before a block that the block bitmap marks free or that another holds (which of two
// holds it is settled by what each says of it, see SettleBlock).
class CExt2QuickSearch : public IQuickFileSystemSearchController {
public:
    CExt2QuickSearch();
    ~CExt2QuickSearch() override;
    CExt2QuickSearch(const CExt2QuickSearch&) = delete;
    CExt2QuickSearch& operator=(const CExt2QuickSearch&) = delete;

    void SetBuilder(IDirecotryTreeBuilder* builder) override { builder_ = builder; }
    // A copy of its one volume record in out[0] (none for a null out or max below 1); always 1.
    int GetPartitions(CSearchedPartitionInfo** out, int max) override;
    // Error 1 for a null argument or builder and for a volume that cannot be read (bad superblock
    // or descriptors); a stop of the sink is a success.
    ResultCode Search(IStorageDevice* device, IProgress* sink) override;

    const CSearchedPartitionInfo& Partition() const { return partition_; }
    // The volume to read: the sector (512-byte units) of a superblock copy of it, and the index its
    // record and nodes carry. By default the volume at the device's start, index 0.
    void SetVolume(uint64_t superBlockSector, uint16_t index) {
        superBlockSector_ = superBlockSector;
        partitionIndex_ = index;
    }

private:
    void Walk(CExt2FileSystem& fs);
    void WalkInodes(CExt2FileSystem& fs);
    // doubtful: its block map names blocks no volume of this kind has; kept only if an entry names it.
    void ProcessInode(CExt2FileSystem& fs, const ExtInode& inode, bool doubtful);
    // The names of inodes the walk never reached: those whose inodes were lost are said, and the
    // files among them are given as nodes that hold nothing.
    void SayUnreachedNames();
    // folder is the directory's node, null for the root (whose entries' names rootNames_ keeps).
    // named: the folder has its name and place already (what is refused is said at once; otherwise
    // once it has them).
    void WalkEntries(CExt2FileSystem& fs, const ExtInode& directory, CEXTFileNode* folder, bool named);
    // Says what folder (null: the root) of inode ino refused, now or once it is named.
    void Say(CEXTFileNode* folder, uint32_t ino, bool named, const std::string& what);
    // Null when the sink stopped the search while the runs were built. The run list the properties
    // were packed from goes to *runs (null when there are none), for the node.
    CExt2FileProperties* MakeProperties(CExt2FileSystem& fs, const ExtInode& inode, std::unique_ptr<IDataRunList>* runs,
                                        std::string* note);
    // Links node under folder (when there is one) and gives it to the builder; what it refuses is
    // released, or, for a folder whose entries may still name inodes ahead, kept until the walk
    // ends. The node while it lives on (the builder's or held), null when it was released.
    CEXTFileNode* Offer(CEXTFileNode* node, CEXTFileNode* folder);
    void HandOutPending(CExt2FileSystem& fs);
    // Names of live files that no entry named, from records that a record before them runs over:
    // inode -> its folder (null: the root) and name.
    using HiddenNames = std::unordered_map<uint32_t, std::pair<CEXTFileNode*, std::string>>;
    HiddenNames FindHiddenNames(CExt2FileSystem& fs, const std::unordered_set<uint32_t>& unnamed);
    void ReleaseOwned();
    // What the walk holds of the volume that no file or folder node stands for: the reserved
    // inodes' blocks (the journal).
    void ClaimReservedInodes(CExt2FileSystem& fs);
    // Records what a live inode's map holds (its data runs, mapping and attribute blocks).
    void ClaimBlocks(const ExtInode& inode, CExt2DataRunList* runs);
    // Once every claim is in: who holds each block two claim, and which files' blocks the bitmaps
    // mark free; then the files held back are handed out.
    void SettleOwners(CExt2FileSystem& fs);
    // Cuts a live file before the first block that is not its own, and notes why.
    void CutToOwnBlocks(CEXTFileNode* node);
    // An entry that names an inode: its folder (null: the root) and its name.
    struct EntryClaim {
        CEXTFileNode* folder;
        std::string name;
    };
    // Of the entries that name inode more than once (in one folder or several, before it was
    // walked; *folder: the folder that named it last), the one it goes under: *folder and *name;
    // false when no live folder's entries name it (last's name then stands). A file with as many
    // links as entries stays under the last; otherwise PickClaim picks, and the others' entries are
    // said and kept as strays. When nothing tells, *folder is null and *name empty: no entry's.
    bool OneFolder(CExt2FileSystem& fs, const ExtInode& inode, CEXTFileNode** folder, std::string* name);
    // Of claims on one inode (a file with fewer links than claims, or a folder), the one that keeps
    // it: a folder's, the one its ".." names (fallback when none); a file's, one whose type is the
    // inode's, then one whose block does not fail its checksum, then the one whose number keeps the
    // file entries beside it in ascending order (files made one after another get numbers one
    // after another), then the one closest to its folder's other numbers. doubts gets why each
    // claim is in doubt ("" when it is not); *even is set when the best is not alone.
    size_t PickClaim(CExt2FileSystem& fs, const ExtInode& inode, const ExtVector<EntryClaim>& claims, size_t fallback,
                     ExtVector<std::string>* doubts, bool* even);
    // Says every claim but the winner's left out and keeps it as a stray; when even, every claim is
    // (false: the inode is no entry's).
    bool LeaveOut(const ExtInode& inode, const ExtVector<EntryClaim>& claims, size_t winner,
                  const ExtVector<std::string>& doubts, bool even);
    void SayLeftOut(CEXTFileNode* folder, const std::string& name, const ExtInode& inode, CEXTFileNode* winner,
                    const std::string& doubt = std::string());
    // An entry of folder names ino, a file named and held back before: true when settled here (the
    // file moved to this folder and name, or this entry said and left out).
    bool NamedAgain(CExt2FileSystem& fs, uint32_t ino, CEXTFileNode* folder, const std::string& name);
    // Entries left out because another entry keeps the inode they name: damage changed one of them,
    // and it most likely meant a live inode whose number differs in one byte that no entry names.
    struct Stray {
        CEXTFileNode* folder;
        std::string name;
        uint32_t named;  // the inode it names
    };
    // Of the unnamed live inodes, those one stray alone can have meant: inode -> its stray.
    std::unordered_map<uint32_t, size_t> MatchStrays(CExt2FileSystem& fs, const std::unordered_set<uint32_t>& unnamed);
    // False when the inode's checksum or its extent tree's fails (volumes that keep checksums).
    bool Vouched(uint32_t ino);
    bool KeepGoing();

    IDirecotryTreeBuilder* builder_ = nullptr;
    IProgress* sink_ = nullptr;
    IStorageDevice* device_ = nullptr;
    PROGRESS_INFO progress_;
    CSearchedPartitionInfo partition_;
    uint64_t superBlockSector_ = 2;  // 512-byte units: the volume starts at the device's start
    uint16_t partitionIndex_ = 0;
    ExtInodeMap<CEXTFileNode*> pending_;               // walked, not named yet
    ExtInodeMap<CEXTFileNode*> parents_;               // named by an entry of this folder (null: the
                                                       // root), not walked yet
    ExtVector<CEXTFileNode*> held_;                    // folders the builder refused
    std::unique_ptr<CExt2FileProperties> rootNames_;   // the root's entries (the root is no node)
    ExtBlockMap* runMap_ = nullptr;                    // the walk's, reused from file to file
    ExtBlockOwners* owners_ = nullptr;                 // the walk's; null when nothing is checked
    CExt2FileSystem* fs_ = nullptr;                    // the walk's
    bool holdingBack_ = false;                         // live files wait for SettleOwners
    bool settled_ = false;
    ExtVector<std::pair<CEXTFileNode*, CEXTFileNode*>> heldBack_;  // live files and their folders
    // What SettleOwners weighs. A block of a file's: its logical block, the volume block and whether
    // it is a mapping block; beside: for a moved stretch, the block in use that no claim holds.
    struct FreeMark {
        uint64_t logical = UINT64_MAX;
        uint64_t block = UINT64_MAX;
        bool mapping = false;
        uint64_t beside = 0;
    };
    struct UnvouchedRun {  // a data run of a file whose checksum fails
        uint32_t inode;
        uint64_t logical;
        uint64_t start;
        uint64_t length;
    };
    std::unordered_map<uint32_t, std::pair<uint32_t, uint32_t>> mappingClaims_;  // a file's mapping
                                                                                  // blocks in owners_->Claims()
    // Rare: who holds each block two claim (several: nothing tells them apart); each file's first
    // block the bitmaps mark free; the first stretch of a file whose checksum fails that seems moved;
    // the runs of such files; files whose extent tree fails its checksum; checksums asked for.
    std::unordered_map<uint64_t, ExtVector<ExtClaimant>> holders_;
    std::unordered_map<uint32_t, FreeMark> markedFree_;
    std::unordered_map<uint32_t, FreeMark> moved_;
    ExtVector<UnvouchedRun> unvouchedRuns_;
    std::unordered_set<uint32_t> treeChecksumFails_;
    std::unordered_map<uint32_t, bool> vouched_;
    ExtLocalClock clock_;
    bool stopped_ = false;
    // Rare: what was refused in a file's map, said once the file has its name; inodes kept only
    // if an entry names them. Then: inodes folder entries name as folders; inodes that could not be
    // read.
    std::unordered_map<uint32_t, std::string> notes_;
    std::unordered_set<uint32_t> doubtful_;
    ExtVector<uint64_t> folderEntries_;  // one bit an inode: an entry names it as a folder
    bool FolderEntryNames(uint32_t ino) const {
        return (ino >> 6) < folderEntries_.size() && ((folderEntries_[ino >> 6] >> (ino & 63)) & 1);
    }
    std::unordered_map<uint32_t, ExtVector<CEXTFileNode*>> twice_;  // inodes entries named more than once
    ExtVector<Stray> strays_;
    uint32_t walking_ = 0;  // the inode the walk is at
    ExtVector<std::pair<CEXTFileNode*, uint32_t>> liveFolders_;  // walked live folders (null: the root)
    std::unordered_map<uint32_t, size_t> heldIndex_;  // inode -> its place in heldBack_, made when asked
    size_t heldIndexed_ = 0;
    ExtVector<ExtLostInodes> lost_;
};

// "Inode_<lower-case hex>", the name of a node no folder entry names.
std::string UnnamedInodeName(uint32_t inode);

// For a live regular file, whose map describes all its bytes: when runs hold less than its size
// (blocks past the volume's or the device's end, a mapping block that cannot be read), or when
// its size is vouched for by nothing (more than the volume holds, or an inode checksum that fails)
// and claims more than its last data, or at hole (its logical block; UINT64_MAX: none), where
// holeWhy says a block pointer was lost, the size becomes what is held (FILE_FLAG_SIZE_CUT): the
// file is written as far as that and reported short.
// Gives why, when the file was cut ("" otherwise).
std::string CutToWhatIsHeld(const CExt2FileSystem& fs, const ExtInode& inode, CExt2DataRunList* runs,
                            CExt2FileProperties* props, const ExtMapStop& stop, uint64_t hole = UINT64_MAX,
                            const std::string& holeWhy = std::string());
// The first hole of a live file's runs that nothing vouches for (UINT64_MAX: none), and why: on a
// volume that keeps checksums, any hole of an inode or extent tree whose checksum fails; elsewhere,
// any hole of a map that holds fewer blocks than its inode counts (a block pointer set to 0).
uint64_t UnvouchedHole(const CExt2FileSystem& fs, const ExtInode& inode, CExt2DataRunList* runs,
                       const ExtBlockMap& map, std::string* why);
// "/A/B/name" of a node through its folders (a node without folders: "/name").
std::string ExtNodePath(IFileNode* node);
