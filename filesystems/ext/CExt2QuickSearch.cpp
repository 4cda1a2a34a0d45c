#include "filesystems/ext/CExt2QuickSearch.h"
#include "filesystems/frame/ReadInPart.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <stdexcept>
#include <tuple>

#include "filesystems/ext/CEXTFileNode.h"
#include "filesystems/ext/CExt2DirEntry.h"
#include "filesystems/ext/CExt2FileSystem.h"
#include "filesystems/ext/ExtBlockMap.h"
#include "filesystems/ext/ExtBlockOwners.h"
#include "filesystems/ext/ExtErrors.h"
#include "filesystems/ext/ExtInode.h"
#include "media_recovery/file_model/CDataRunList.h"
#include "media_recovery/file_model/IDirecotryTreeBuilder.h"
#include "media_recovery/file_model/MappingPairs.h"
#include "sqlite_recovery/framework/IStorageDevice.h"
#include "sqlite_recovery/framework/Logger.h"

using namespace ext;

namespace {
constexpr uint32_t kExtPartitionKind = 5;
constexpr uint16_t kSparseAttribute = 0x200;
constexpr uint32_t kResizeInode = 7;
constexpr size_t kResizeDoubleIndirect = 13;

// A live file that holds data: its blocks are checked against every other claim.
bool HoldsData(CEXTFileNode* node) {
    const CExt2FileProperties* p = node->Properties();
    return p && !p->IsFolder() && !p->IsDeletedFile() && node->GetDataRuns() != nullptr;
}

// A type field no inode has: damage.
bool KnownType(uint16_t mode) {
    switch (mode >> 12) {
        case 0x1: case 0x2: case 0x4: case 0x6: case 0x8: case 0xA: case 0xC: return true;
        default: return false;
    }
}

// A live inode whose mode does not say folder, but whose first block begins as a folder's own does
// ("." names it, ".." follows), is a folder whose mode was damaged: its mode is made a folder's.
bool TakeAsFolder(const CExt2FileSystem& fs, ExtInode* inode) {
    if (inode->IsDirectory() || inode->IsDeleted() || inode->HasInlineData() || inode->Mode() == 0) return false;
    const uint64_t block = ExtBlockMap(fs, *inode, 1).BlockOf(0);
    if (block == 0 || !fs.IsReadableBlock(block)) return false;
    ExtBuffer buffer;
    uint8_t* data = buffer.Reserve(fs.BlockSize());
    try {
        fs.ReadBlocks(data, block, 1);
    } catch (const std::exception&) {
        return false;
    }
    const uint8_t* up = data + 12;
    if (LoadLE32(data) != inode->number || LoadLE16(data + 4) != 12 || data[6] != 1 || data[8] != '.' ||
        up[6] != 2 || up[8] != '.' || up[9] != '.')
        return false;
    RK_LOG("%sExt inode %u: its mode 0x%04x is not a folder's, but its first block begins as its own folder's: it is "
           "read as a folder",
           kLogWarningPrefix, inode->number, inode->Mode());
    const uint16_t mode = static_cast<uint16_t>((inode->Mode() & ~kModeTypeMask) | kModeDirectory);
    inode->raw[IN_MODE] = static_cast<uint8_t>(mode);
    inode->raw[IN_MODE + 1] = static_cast<uint8_t>(mode >> 8);
    return true;
}

// A record longer than its name needs, not its block's last, whose name runs on past its length in
// name bytes up to exactly what the record's length was made for: the length was damaged. The
// length of the whole name (the entry's own when there is no such run).
size_t RunOnName(const CExt2DirEntry::Entry& e, uint64_t position, uint64_t blockSize) {
    const size_t least = (kDirEntryHeaderBytes + e.nameLength + 3) & ~size_t{3};
    if (e.recordLength <= least || position % blockSize + e.recordLength >= blockSize) return e.nameLength;
    const size_t room = std::min<size_t>(e.recordLength - kDirEntryHeaderBytes, 255);
    size_t n = e.nameLength;
    while (n < room && e.name[n] >= 0x20 && e.name[n] != 0x7F && e.name[n] != '/') ++n;
    if (n == e.nameLength || ((kDirEntryHeaderBytes + n + 3) & ~size_t{3}) != e.recordLength) return e.nameLength;
    if (kDirEntryHeaderBytes + n < e.recordLength && e.name[n] != 0) return e.nameLength;
    return n;
}

// Whether the first size bytes hold a "/" or a NUL, eight at a time.
bool HasSlashOrNul(const uint8_t* bytes, size_t size) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHighs = 0x8080808080808080ull;
    size_t at = 0;
    for (uint64_t word; at + 8 <= size; at += 8) {
        std::memcpy(&word, bytes + at, 8);
        const uint64_t slash = word ^ (kOnes * '/');
        if (((word - kOnes) & ~word & kHighs) || ((slash - kOnes) & ~slash & kHighs)) break;
    }
    for (; at < size; ++at)
        if (bytes[at] == '/' || bytes[at] == 0) return true;
    return false;
}

// A name for a line of text: bytes below 0x20 shown as "?".
std::string Printable(std::string name) {
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20) c = '?';
    return name;
}

// Whether runs hold volume block b.
bool RunsHold(IDataRunList* runs, uint64_t b) {
    for (DataRun* r = runs->First(); r; r = runs->Next())
        if (!r->IsSparse() && b >= static_cast<uint64_t>(r->start) && b - static_cast<uint64_t>(r->start) < r->length)
            return true;
    return false;
}
}  // namespace

std::string ExtNodePath(IFileNode* node) {
    std::string path;
    // A folder chain is never longer than the nodes; the bound guards against a loop all the same.
    for (int depth = 0; node && depth < 4096; ++depth, node = node->GetParent())
        path = "/" + std::string(node->GetName() ? node->GetName() : "") + path;
    return path.empty() ? "/" : path;
}

std::string UnnamedInodeName(uint32_t inode) {
    char name[32];
    std::snprintf(name, sizeof name, "Inode_%lx", static_cast<unsigned long>(inode));
    return name;
}

CExt2QuickSearch::CExt2QuickSearch() : partition_(512) { std::memset(&progress_, 0, sizeof progress_); }

CExt2QuickSearch::~CExt2QuickSearch() { ReleaseOwned(); }

int CExt2QuickSearch::GetPartitions(CSearchedPartitionInfo** out, int max) {
    if (!out || max < 1) return 1;
    CSearchedPartitionInfo* copy = new (std::nothrow) CSearchedPartitionInfo(partition_.sectorSize);
    if (copy) {
        copy->kind = partition_.kind;
        copy->sectorsPerCluster = partition_.sectorsPerCluster;
        copy->dataStart = partition_.dataStart;
        copy->volumeStart = partition_.volumeStart;
        copy->sectorSize = partition_.sectorSize;
        copy->volumeLength = partition_.volumeLength;
        copy->weight = partition_.weight;
    }
    out[0] = copy;
    return 1;
}

bool CExt2QuickSearch::KeepGoing() {
    if (stopped_) return false;
    if (sink_->ShouldContinue() == 0) stopped_ = true;
    return !stopped_;
}

ResultCode CExt2QuickSearch::Search(IStorageDevice* device, IProgress* sink) {
    if (!device || !sink || !builder_) return RK_FAIL(RK_E_FAIL);
    device_ = device;
    sink_ = sink;
    stopped_ = false;
    ResultCode rc = RK_OK;
    builder_->BeginSearch(SEARCHER_EXT, 0, 0);
    try {
        ExtHeapInit();
        std::unique_ptr<CExt2FileSystem> fs = OpenExtVolume(device_, superBlockSector_);
        Walk(*fs);
    } catch (const std::exception& e) {
        RK_LOG("[Dredgel] Ext quick search failed: %s", e.what());
        rc = RK_FAIL(RK_E_FAIL);
    } catch (...) {
        RK_LOG("[Dredgel] Ext quick search failed");
        rc = RK_FAIL(RK_E_FAIL);
    }
    // After a stop or a failure: what was not handed out is still ours.
    runMap_ = nullptr;
    ReleaseOwned();
    builder_->EndSearch(SEARCHER_EXT);
    return rc;
}

void CExt2QuickSearch::Walk(CExt2FileSystem& fs) {
    ReleaseOwned();
    std::memset(&progress_, 0, sizeof progress_);
    progress_.state = PROGRESS_STATE_RUNNING;
    progress_.total = fs.GroupCount();
    partition_.index = partitionIndex_;
    partition_.kind = kExtPartitionKind;
    partition_.sectorsPerCluster = fs.BlockSize() / fs.DeviceSectorSize();
    partition_.dataStart = fs.PartitionStartSector();
    partition_.volumeStart = fs.PartitionStartSector();
    partition_.sectorSize = fs.DeviceSectorSize();
    partition_.volumeLength = device_->GetSectorCount() - std::min(device_->GetSectorCount(), fs.PartitionStartSector());
    partition_.weight = 1.0;
    notes_.clear();
    doubtful_.clear();
    folderEntries_.assign((static_cast<size_t>(fs.SuperBlock().inodesCount) + 64) / 64, 0);
    twice_.clear();
    strays_.clear();
    walking_ = 0;
    liveFolders_.clear();
    heldIndex_.clear();
    heldIndexed_ = 0;
    lost_.clear();

    fs_ = &fs;
    ExtBlockOwners owners(fs);
    owners.Begin();
    owners_ = owners.Enabled() ? &owners : nullptr;
    holdingBack_ = owners_ != nullptr;
    settled_ = false;
    mappingClaims_.clear();
    holders_.clear();
    markedFree_.clear();
    moved_.clear();
    unvouchedRuns_.clear();
    treeChecksumFails_.clear();
    vouched_.clear();
    struct Forget {  // the map lives on this stack only
        CExt2QuickSearch* search;
        ~Forget() {
            search->owners_ = nullptr;
            search->holdingBack_ = false;
            search->settled_ = false;
            search->fs_ = nullptr;
        }
    } forget{this};
    if (owners_) ClaimReservedInodes(fs);

    // The root is below the first inode and no node; its entries name the top level.
    rootNames_.reset(new CExt2FileProperties);
    try {
        ExtInode root;
        if (ReadInode(fs, kRootInode, &root) && (root.IsDirectory() || TakeAsFolder(fs, &root)))
            WalkEntries(fs, root, nullptr, true);
        else
            SayReadInPart("Ext root folder: its inode is no folder: the names at the top level are lost");
    } catch (const CExt2ReadSectorError&) {
        SayReadInPart("Ext root folder: its inode cannot be read: the names at the top level are lost");
    } catch (const std::range_error&) {
        SayReadInPart("Ext root folder: its inode lies past the end of the volume: the names at the top level are lost");
    }
    ExtBlockMap runMap(fs);
    runMap_ = &runMap;
    WalkInodes(fs);
    if (stopped_) return;
    SettleOwners(fs);
    if (stopped_) return;
    SayUnreachedNames();
    parents_.Clear();
    HandOutPending(fs);
}

void CExt2QuickSearch::WalkInodes(CExt2FileSystem& fs) {
    const ExtSuperBlock& sb = fs.SuperBlock();
    CExt2InodeTable table(fs);
    // Inodes below the first one are reserved (the root among them, walked above).
    const uint32_t first = std::max<uint32_t>(sb.FirstInode(), kRootInode + 1);
    // No more inodes than the volume's bytes hold: a file system that runs past its volume may
    // claim any number, and each is asked for.
    uint64_t budget = fs.ReadableBlocks() * fs.BlockSize() / sb.InodeSize();
    uint64_t lastGroup = 0;
    ExtVector<ExtLostInodes> pastEnd;
    for (uint64_t group = (first - 1) / sb.inodesPerGroup; group < fs.GroupCount() && !stopped_; ++group) {
        if (group != lastGroup) {
            ++progress_.done;
            sink_->OnProgress(&progress_);
            lastGroup = group;
        }
        const uint64_t base = group * sb.inodesPerGroup;
        const uint64_t begin = std::max<uint64_t>(base + 1, first);
        // A group whose descriptor no copy holds loses its inodes (said when the volume was opened).
        if (!fs.Group(group).tableOk) {
            ExtLostInodes lost;
            lost.first = static_cast<uint32_t>(begin);
            lost.last = static_cast<uint32_t>(std::min<uint64_t>(base + sb.inodesPerGroup, sb.inodesCount));
            if (lost.first <= lost.last) table.AddLost(lost);
            continue;
        }
        uint64_t end = std::min<uint64_t>(base + table.UsedInodes(group), sb.inodesCount);
        if (end < begin) continue;
        // The part of the table in use is read as far as the volume holds it.
        const uint64_t tableStart = fs.Group(group).inodeTable;
        const uint64_t heldBlocks = tableStart < fs.ReadableBlocks() ? fs.ReadableBlocks() - tableStart : 0;
        const uint64_t held = std::min<uint64_t>(heldBlocks, uint64_t{sb.inodesPerGroup}) * (fs.BlockSize() / sb.InodeSize());
        if (base + held < end) {
            ExtLostInodes cut;
            cut.first = static_cast<uint32_t>(std::max(begin, base + held + 1));
            cut.last = static_cast<uint32_t>(end);
            cut.pastEnd = true;
            // Runs of groups cut away are one stretch.
            if (!pastEnd.empty() && cut.first - pastEnd.back().last <= sb.inodesPerGroup)
                pastEnd.back().last = cut.last;
            else
                pastEnd.push_back(cut);
            end = base + held;
            if (end < begin) continue;
        }
        if (end - begin >= budget) {
            end = begin + budget - 1;
            SayReadInPart("Ext inodes after %llu are more than the volume holds: the walk ends there", static_cast<unsigned long long>(end));
        }
        budget -= end - begin + 1;
        ExtInode inode;  // every read fills it whole
        for (uint64_t ino = begin; ino <= end; ++ino) {
            if (!KeepGoing()) return;
            if (!table.Read(static_cast<uint32_t>(ino), &inode)) continue;
            walking_ = static_cast<uint32_t>(ino);
            // A mode that no inode has, or that is not a folder's where an entry said folder.
            if (!inode.IsDirectory() && (!KnownType(inode.Mode()) || FolderEntryNames(inode.number)))
                TakeAsFolder(fs, &inode);
            if (HasPlausibleBlocks(fs, inode))
                ProcessInode(fs, inode, false);
            else if (!inode.IsDeleted() && !inode.HasInlineData() && (inode.IsRegular() || inode.IsDirectory()))
                ProcessInode(fs, inode, true);
        }
        if (budget == 0) break;
    }
    for (const ExtLostInodes& cut : pastEnd)
        SayReadInPart("Ext inodes %u to %u lie past the end of the volume (their inode tables are cut away): they are lost",
               cut.first, cut.last);
    lost_ = table.Lost();
    lost_.insert(lost_.end(), pastEnd.begin(), pastEnd.end());
}

uint64_t UnvouchedHole(const CExt2FileSystem& fs, const ExtInode& inode, CExt2DataRunList* runs,
                       const ExtBlockMap& map, std::string* why) {
    uint64_t logical = 0;
    uint64_t hole = UINT64_MAX;
    uint64_t held = 0;  // data blocks
    for (DataRun* run = runs->First(); run; run = runs->Next()) {
        if (run->IsSparse() && hole == UINT64_MAX) hole = logical;
        if (!run->IsSparse()) held += run->length;
        logical += run->length;
    }
    if (hole == UINT64_MAX) return hole;
    const ExtSuperBlock& sb = fs.SuperBlock();
    const std::string where = "leaves out its block " + std::to_string(hole);
    if (sb.featureRoCompat & kRoCompatMetadataCsum) {
        const bool tree = map.TreeChecksumsHold();
        bool holds = tree;
        try {
            if (holds) holds = InodeChecksumHolds(fs, inode.number);
        } catch (const std::exception&) {
        }
        if (holds) return UINT64_MAX;
        *why = std::string(tree ? "its inode's" : "its extent tree's") + " checksum fails, and its map " + where;
        return hole;
    }
    // Unwritten stretches are held too (they read as zeros).
    if (inode.UsesExtents()) {
        held = 0;
        for (const ExtExtent& x : map.Extents()) held += x.length;
    }
    held += map.MappingBlocks().size() + (LoadLE32(inode.raw + IN_FILE_ACL) != 0);
    const uint64_t counted = inode.BlocksCounted(sb, fs.BlockSize());
    if (held >= counted) return UINT64_MAX;
    *why = "its map holds " + std::to_string(held) + " of the " + std::to_string(counted) +
           " blocks its inode counts, and " + where;
    return hole;
}

std::string CutToWhatIsHeld(const CExt2FileSystem& fs, const ExtInode& inode, CExt2DataRunList* runs,
                            CExt2FileProperties* props, const ExtMapStop& stop, uint64_t hole,
                            const std::string& holeWhy) {
    const uint64_t bs = fs.BlockSize();
    uint64_t held = 0;     // bytes the runs cover, holes included
    uint64_t dataEnd = 0;  // where the last run that holds data ends
    for (DataRun* run = runs->First(); run; run = runs->Next()) {
        const uint64_t bytes = run->length > UINT64_MAX / bs ? UINT64_MAX : run->length * bs;
        held = bytes > UINT64_MAX - held ? UINT64_MAX : held + bytes;
        if (!run->IsSparse()) dataEnd = held;
    }
    const uint64_t size = inode.FileSize();
    uint64_t kept = std::min(size, held);
    const uint64_t volumeBytes = fs.BlockCount() > UINT64_MAX / bs ? UINT64_MAX : fs.BlockCount() * bs;
    const bool vouched = inode.SizeVouchedFor(volumeBytes);
    // A size nothing vouches for is no reason to write zeros past the last data.
    if (!vouched) kept = std::min({kept, dataEnd, volumeBytes});
    // A hole nothing vouches for is where a block pointer was lost.
    const bool atHole = hole < kept / bs + (kept % bs != 0);
    if (atHole) kept = hole * bs;
    if (kept >= size) return std::string();
    props->SetSize(kept);
    props->SetFlags(props->GetFlags() | FILE_FLAG_SIZE_CUT);
    const std::string upTo = ": cut to the " + std::to_string(kept) + " bytes before it";
    if (atHole) return holeWhy + upTo;
    if (stop.kind != ExtMapStop::None) return DescribeMapStop(stop, fs.BlockCount()) + upTo;
    if (!vouched)
        return "its inode claims " + std::to_string(size) + " bytes (" +
               (size > volumeBytes ? "more than its volume holds" : "its checksum fails") + "): cut to the " +
               std::to_string(kept) + " its blocks hold";
    return "its blocks end before its size" + upTo;
}

CExt2FileProperties* CExt2QuickSearch::MakeProperties(CExt2FileSystem& fs, const ExtInode& inode,
                                                      std::unique_ptr<IDataRunList>* nodeRuns, std::string* note) {
    nodeRuns->reset();
    std::unique_ptr<CExt2FileProperties> props(new CExt2FileProperties);
    props->SetTimes(clock_.ToFileTime(inode.Time(IN_CTIME)), clock_.ToFileTime(inode.Time(IN_MTIME)),
                    clock_.ToFileTime(inode.Time(IN_ATIME)));
    props->SetSize(inode.FileSize());
    if (inode.IsDirectory()) {
        props->AddAttributes(FILE_ATTRIBUTE_DIRECTORY_BIT);
    } else {
        if (inode.LooksSparse()) props->AddAttributes(kSparseAttribute);
        // A live file is read through its holes, as the kernel reads it; any other that looks
        // sparse (a deleted one whose map is gone, data kept in the inode) gets no runs.
        const bool holes = inode.ReadsThroughHoles();
        if (holes || !inode.LooksSparse()) {
            const uint64_t count = WalkBlockCount(fs, inode);
            std::unique_ptr<CExt2DataRunList> runs(new CExt2DataRunList);
            runMap_->Reset(inode, count);
            // The sink is asked after each run; progress itself is reported once per group.
            if (!runMap_->AppendRuns(runs.get(), count, holes, [this] { return KeepGoing(); })) return nullptr;
            if (holes) {
                std::string why;
                // One run of data has no hole (most files).
                const bool single = runs->RunCount() == 1 && !runs->First()->IsSparse();
                const uint64_t hole = !inode.IsDeleted() && !single ? UnvouchedHole(fs, inode, runs.get(), *runMap_, &why)
                                                                    : UINT64_MAX;
                *note = CutToWhatIsHeld(fs, inode, runs.get(), props.get(), runMap_->Stop(), hole, why);
            }
            if (!inode.IsDeleted()) ClaimBlocks(inode, runs.get());
            props->PackRuns(runs.get());
            // The node keeps this list rather than decoding what was just packed.
            if (props->HasRuns()) nodeRuns->reset(runs.release());
        }
    }
    props->SetInodeNumber(inode.number);
    if (inode.IsDeleted()) props->SetFlags(props->GetFlags() | FILE_FLAG_DELETED);
    return props.release();
}

void CExt2QuickSearch::ProcessInode(CExt2FileSystem& fs, const ExtInode& inode, bool doubtful) {
    std::unique_ptr<IDataRunList> runs;
    std::string note;
    std::unique_ptr<CExt2FileProperties> props(MakeProperties(fs, inode, &runs, &note));
    if (!props) return;
    std::unique_ptr<CEXTFileNode> node(new CEXTFileNode);
    node->SetProperties(props.release(), runs.release());
    if (partitionIndex_) SetNodePartitionIndex(node.get(), partitionIndex_);
    if (!note.empty()) notes_[inode.number] = std::move(note);
    if (doubtful) doubtful_.insert(inode.number);
    bool named = false;
    CEXTFileNode* folder = nullptr;
    CEXTFileNode* walked = nullptr;
    if (parents_.Take(inode.number, &folder)) {
        std::string name;
        if (twice_.empty() || !OneFolder(fs, inode, &folder, &name)) {
            CExt2FileProperties* holder = folder ? folder->Properties() : rootNames_.get();
            name = holder->TakeChildName(inode.number);
        }
        node->Properties()->TakeName(name.empty() ? UnnamedInodeName(inode.number) : std::move(name));
        walked = Offer(node.release(), folder);
        named = true;
    } else {
        CEXTFileNode*& slot = pending_[inode.number];
        slot = walked = node.release();
    }
    if (walked && walked->IsDirectory()) WalkEntries(fs, inode, walked, named);
}

void CExt2QuickSearch::Say(CEXTFileNode* folder, uint32_t ino, bool named, const std::string& what) {
    // A deleted folder's entries are no live file's.
    if (folder && folder->IsDeleted()) {
        RK_LOG("[Dredgel] Ext deleted folder %u: %s", ino, what.c_str());
        return;
    }
    if (folder && !named) {
        std::string& note = notes_[ino];
        note += (note.empty() ? "" : "; ") + what;
        return;
    }
    SayReadInPart("Ext %s: %s", folder ? ExtNodePath(folder).c_str() : "/", what.c_str());
}

void CExt2QuickSearch::WalkEntries(CExt2FileSystem& fs, const ExtInode& directory, CEXTFileNode* folder, bool named) {
    CExt2FileProperties* holder = folder ? folder->Properties() : rootNames_.get();
    const uint32_t inodes = fs.SuperBlock().inodesCount;
    if (!folder || !folder->IsDeleted()) liveFolders_.emplace_back(folder, directory.number);
    try {
        CExt2DirEntry it(fs, directory, folder && folder->IsDeleted() ? nullptr : owners_);
        for (; !it.AtEnd(); it.Advance()) {
            if (!KeepGoing()) return;
            const CExt2DirEntry::Entry e = it.Current();
            // Unused records and the links up; a number that names no inode of the volume is said.
            if (e.inode == 0) continue;
            if ((e.nameLength == 1 && e.name[0] == '.') || (e.nameLength == 2 && e.name[0] == '.' && e.name[1] == '.'))
                continue;
            const char* name = reinterpret_cast<const char*>(e.name);
            size_t length = ExtEntryNameLength(e.name, e.nameLength);
            const size_t whole = RunOnName(e, it.Position(), fs.BlockSize());
            if (whole > e.nameLength) {
                const size_t wholeLength = ExtEntryNameLength(e.name, whole);
                RK_LOG("%sExt %s: its entry \"%s\" is shorter than the name its record holds: read as \"%s\"",
                       kLogWarningPrefix, folder ? ExtNodePath(folder).c_str() : "/", std::string(name, length).c_str(),
                       std::string(name, wholeLength).c_str());
                length = wholeLength;
            }
            // No name holds a "/" or a NUL.
            if (HasSlashOrNul(e.name, length)) {
                Say(folder, directory.number, named,
                    "its entry \"" + Printable(std::string(name, length)) +
                        "\" holds a character no name may have (\"/\" or NUL): left out");
                continue;
            }
            if (e.inode > inodes) {
                Say(folder, directory.number, named,
                    "its entry \"" + std::string(name, length) + "\" names inode " + std::to_string(e.inode) +
                        ", past the volume's " + std::to_string(inodes) + ": left out");
                continue;
            }
            if (e.fileType == kDirEntryTypeFolder) folderEntries_[e.inode >> 6] |= uint64_t{1} << (e.inode & 63);
            CEXTFileNode* node = nullptr;
            if (pending_.Take(e.inode, &node)) {
                node->Properties()->TakeName(length ? std::string(name, length) : UnnamedInodeName(e.inode));
                Offer(node, folder);
            } else {
                // An inode walked and named before this entry: a second name for it.
                if (e.inode < walking_ && !(folder && folder->IsDeleted()) && !parents_.Find(e.inode) &&
                    NamedAgain(fs, e.inode, folder, std::string(name, length)))
                    continue;
                holder->AddChildName(e.inode, name, length);
                CEXTFileNode** earlier = parents_.Find(e.inode);
                if (earlier) {
                    ExtVector<CEXTFileNode*>& folders = twice_[e.inode];
                    if (folders.empty()) folders.push_back(*earlier);
                    folders.push_back(folder);
                }
                parents_[e.inode] = folder;
            }
        }
        auto more = [](uint32_t n) { return n > 1 ? " (and " + std::to_string(n - 1) + " more such places)" : std::string(); };
        if (it.Damaged())
            Say(folder, directory.number, named, it.Damage() + more(it.Damaged()) + ": the entries there are lost");
        if (it.Doubted())
            Say(folder, directory.number, named,
                it.Doubt() + more(it.Doubted()) + ": its entries there are read, but their names may not be its own");
    } catch (const std::exception& e) {
        // The rest of this folder is lost; the walk goes on.
        Say(folder, directory.number, named, "its entries cannot be read: they are lost");
    }
}

CEXTFileNode* CExt2QuickSearch::Offer(CEXTFileNode* node, CEXTFileNode* folder) {
    if ((holdingBack_ || settled_) && HoldsData(node)) {
        if (holdingBack_) {
            heldBack_.emplace_back(node, folder);
            return node;
        }
        CutToOwnBlocks(node);
    }
    // Linked first, so that whoever sees the node in the results sees its folder too. A folder
    // never takes one of its own folders (a damaged volume can name one): that node stays on top.
    if (folder) folder->LinkChild(node);
    if (!notes_.empty()) {
        auto note = notes_.find(node->Properties()->InodeNumber());
        if (note != notes_.end()) {
            if (!node->IsDeleted())
                SayReadInPart("Ext %s: %s", ExtNodePath(node).c_str(), note->second.c_str());
            notes_.erase(note);
        }
    }
    if (builder_->AddNode(node, SEARCHER_EXT)) return node;
    if (!node->IsDirectory()) {
        node->Release();  // unlinked from its folder as it goes
        return nullptr;
    }
    try {
        held_.push_back(node);
    } catch (const std::bad_alloc&) {
        // No room to keep it: forget the inodes it was to be the folder of, then let it go.
        parents_.EraseIf([node](CEXTFileNode* f) { return f == node; });
        node->Release();
        return nullptr;
    }
    return node;
}

void CExt2QuickSearch::HandOutPending(CExt2FileSystem& fs) {
    // In inode order; what a stop leaves stays pending (and is released).
    ExtVector<uint32_t> order;
    order.reserve(pending_.Size());
    std::unordered_set<uint32_t> unnamed;  // live files no entry named (damage on a sound volume)
    pending_.ForEach([&](uint32_t ino, CEXTFileNode* node) {
        order.push_back(ino);
        if (node && !node->IsDeleted() && !*node->GetName() && !doubtful_.count(ino)) unnamed.insert(ino);
    });
    std::sort(order.begin(), order.end());
    const auto hidden = unnamed.empty() ? HiddenNames() : FindHiddenNames(fs, unnamed);
    for (const auto& h : hidden) unnamed.erase(h.first);
    const auto meant = strays_.empty() || unnamed.empty() ? std::unordered_map<uint32_t, size_t>()
                                                          : MatchStrays(fs, unnamed);
    for (uint32_t ino : order) {
        if (!KeepGoing()) return;
        CEXTFileNode* node = nullptr;
        pending_.Take(ino, &node);
        if (!node) continue;
        auto found = hidden.find(ino);
        if (found != hidden.end()) {
            CEXTFileNode* folder = found->second.first;
            RK_LOG("%sExt %s: its entry \"%s\" (inode %u) lies inside the record before it, whose length runs over it: "
                   "read",
                   kLogWarningPrefix, folder ? ExtNodePath(folder).c_str() : "/", Printable(found->second.second).c_str(),
                   ino);
            node->Properties()->TakeName(found->second.second);
            Offer(node, folder);
            continue;
        }
        auto stray = meant.find(ino);
        if (stray != meant.end()) {
            const Stray& s = strays_[stray->second];
            RK_LOG("%sExt %s/%s: its entry, left out, most likely meant inode %u, which differs from the %u it names in "
                   "one byte and which no entry names: read as that file",
                   kLogWarningPrefix, s.folder ? ExtNodePath(s.folder).c_str() : "", Printable(s.name).c_str(), ino,
                   s.named);
            node->Properties()->TakeName(s.name);
            Offer(node, s.folder);
            continue;
        }
        // A map that names no block such a volume has, in an inode no folder names, is no file's.
        if (!doubtful_.empty() && doubtful_.count(ino)) {
            if (!node->IsDeleted())
                SayReadInPart("Ext inode %u: its block map names no block of the volume and no folder names it: left out",
                       ino);
            notes_.erase(ino);
            node->Release();
            continue;
        }
        if (!*node->GetName()) node->Properties()->TakeName(UnnamedInodeName(ino));
        Offer(node, nullptr);
    }
}

void CExt2QuickSearch::SayUnreachedNames() {
    ExtVector<std::pair<uint32_t, CEXTFileNode*>> unreached;
    parents_.ForEach([&unreached](uint32_t ino, CEXTFileNode* folder) { unreached.emplace_back(ino, folder); });
    std::sort(unreached.begin(), unreached.end(),
              [](const std::pair<uint32_t, CEXTFileNode*>& a, const std::pair<uint32_t, CEXTFileNode*>& b) {
                  return a.first < b.first;
              });
    for (const auto& entry : unreached) {
        const uint32_t ino = entry.first;
        CEXTFileNode* folder = entry.second;
        if (folder && folder->IsDeleted()) continue;  // a deleted folder's entries name freed inodes
        CExt2FileProperties* holder = folder ? folder->Properties() : rootNames_.get();
        std::string name = holder->TakeChildName(ino);
        if (name.empty()) name = UnnamedInodeName(ino);
        const std::string path = (folder ? ExtNodePath(folder) : std::string()) + "/" + name;
        const ExtLostInodes* lost = nullptr;
        for (const ExtLostInodes& l : lost_)
            if (ino >= l.first && ino <= l.last) lost = &l;
        const bool isFolder = FolderEntryNames(ino);
        if (!lost) {
            SayReadInPart("Ext %s: its entry names inode %u, which holds no file (free, deleted or not well formed): "
                   "left out", path.c_str(), ino);
            continue;
        }
        const char* why = lost->pastEnd ? "lies past the end of the volume" : "cannot be read";
        if (isFolder) {
            SayReadInPart("Ext %s: its inode %u %s: the folder and what it holds are lost", path.c_str(),
                   ino, why);
            continue;
        }
        SayReadInPart("Ext %s: its inode %u %s: the file is lost", path.c_str(), ino, why);
        // Given as a file that holds nothing, so that the run names it where the files are written.
        std::unique_ptr<CExt2FileProperties> props(new CExt2FileProperties);
        props->TakeName(std::move(name));
        props->SetSize(0);
        props->SetInodeNumber(ino);
        props->SetFlags(FILE_FLAG_SIZE_CUT);
        std::unique_ptr<CEXTFileNode> node(new CEXTFileNode);
        node->SetProperties(props.release(), nullptr);
        if (partitionIndex_) SetNodePartitionIndex(node.get(), partitionIndex_);
        Offer(node.release(), folder);
    }
}

void CExt2QuickSearch::ReleaseOwned() {
    // A node released leaves its folder; the nodes below it (all given to the builder, or held
    // here and released in turn) lose their folder, never their memory.
    parents_.Clear();
    pending_.ForEach([](uint32_t, CEXTFileNode* node) {
        if (node) node->Release();
    });
    pending_.Clear();
    for (CEXTFileNode* node : held_) node->Release();
    held_.clear();
    for (auto& back : heldBack_) back.first->Release();
    heldBack_.clear();
    heldIndex_.clear();
    heldIndexed_ = 0;
    rootNames_.reset();
}


void CExt2QuickSearch::ClaimReservedInodes(CExt2FileSystem& fs) {
    const ExtSuperBlock& sb = fs.SuperBlock();
    const uint32_t first = std::max<uint32_t>(sb.FirstInode(), kRootInode + 1);
    ExtBlockMap map(fs);
    for (uint32_t ino = 1; ino < first && ino <= sb.inodesCount; ++ino) {
        if (ino == kRootInode) continue;  // walked as the root folder
        ExtInode inode;
        try {
            if (!ReadInode(fs, ino, &inode)) continue;
        } catch (const std::exception&) {
            continue;
        }
        if (inode.Mode() == 0 || inode.IsDeleted()) continue;
        ExtBlockOwners::Claim c;
        c.inode = ino;
        c.kind = ExtBlockOwners::kReserved;
        if (ino == kResizeInode) {
            // The blocks it keeps for the descriptor tables to grow are held as theirs; its own is
            // the double indirect block that lists them.
            c.start = inode.BlockPointer(kResizeDoubleIndirect);
            c.length = c.start && fs.IsValidBlock(c.start) ? 1 : 0;
            owners_->AddClaim(c);
            continue;
        }
        if (!HasPlausibleBlocks(fs, inode) || inode.IsDirectory()) continue;
        const uint64_t count = WalkBlockCount(fs, inode);
        CExt2DataRunList runs;
        map.Reset(inode, count);
        map.AppendRuns(&runs, count, false, [] { return true; });
        for (DataRun* r = runs.First(); r; r = runs.Next()) {
            if (!r->IsSparse()) {
                c.start = static_cast<uint64_t>(r->start);
                c.length = r->length;
                owners_->AddClaim(c);
            }
            c.logical += r->length;
        }
        for (const ExtBlockMap::Mapping& m : map.MappingBlocks()) {
            c.start = m.block;
            c.length = 1;
            c.logical = m.logical;
            owners_->AddClaim(c);
        }
    }
}

void CExt2QuickSearch::ClaimBlocks(const ExtInode& inode, CExt2DataRunList* runs) {
    if (!owners_) return;
    // The first block the bitmaps mark free, of its data, then of its mapping blocks.
    FreeMark mark;
    uint64_t logical = 0;
    for (DataRun* r = runs->First(); r; r = runs->Next()) {
        if (!r->IsSparse()) {
            const uint64_t start = static_cast<uint64_t>(r->start);
            owners_->HoldData(start, r->length);
            if (mark.block == UINT64_MAX) {
                const uint64_t b = owners_->FirstMarkedFree(start, r->length);
                if (b != UINT64_MAX) mark = {logical + (b - start), b, false};
            }
        }
        logical += r->length;
    }
    const ExtVector<ExtBlockMap::Mapping>& mapping = runMap_->MappingBlocks();
    for (const ExtBlockMap::Mapping& m : mapping)
        if (m.logical < mark.logical && owners_->FirstMarkedFree(m.block, 1) != UINT64_MAX) mark = {m.logical, m.block, true};
    if (mark.block != UINT64_MAX) markedFree_[inode.number] = mark;
    if (!mapping.empty()) {
        const uint32_t begin = static_cast<uint32_t>(owners_->Claims().size());
        ExtBlockOwners::Claim c;
        c.length = 1;
        c.inode = inode.number;
        c.kind = ExtBlockOwners::kMapping;
        c.extents = inode.UsesExtents();
        for (const ExtBlockMap::Mapping& m : mapping) {
            c.start = m.block;
            c.logical = m.logical;
            owners_->AddClaim(c);
        }
        mappingClaims_[inode.number] = {begin, static_cast<uint32_t>(owners_->Claims().size())};
    }
    if (!runMap_->TreeChecksumsHold()) treeChecksumFails_.insert(inode.number);
    // A map whose checksum fails: its stretches are looked at once every claim is in.
    if (!inode.checksumHolds || !runMap_->TreeChecksumsHold()) {
        vouched_[inode.number] = false;
        uint64_t at = 0;
        for (DataRun* r = runs->First(); r; r = runs->Next()) {
            if (!r->IsSparse()) unvouchedRuns_.push_back({inode.number, at, static_cast<uint64_t>(r->start), r->length});
            at += r->length;
        }
    }
    const uint32_t attributes = LoadLE32(inode.raw + IN_FILE_ACL);
    if (attributes != 0) {
        ExtBlockOwners::Claim c;
        c.start = attributes;
        c.length = 1;
        c.inode = inode.number;
        c.kind = ExtBlockOwners::kAttributes;
        owners_->AddClaim(c);
    }
}

bool CExt2QuickSearch::Vouched(uint32_t ino) {
    auto known = vouched_.find(ino);
    if (known != vouched_.end()) return known->second;
    bool holds = !treeChecksumFails_.count(ino);
    try {
        if (holds) holds = InodeChecksumHolds(*fs_, ino);
    } catch (const std::exception&) {
    }
    vouched_[ino] = holds;
    return holds;
}

void CExt2QuickSearch::SettleOwners(CExt2FileSystem& fs) {
    holdingBack_ = false;
    settled_ = owners_ != nullptr;
    if (settled_) {
        const bool checksums = fs.SuperBlock().featureRoCompat & kRoCompatMetadataCsum;
        const ExtVector<ExtBlockOwners::Claim>& claims = owners_->Claims();
        const ExtSet<uint64_t>& shared = owners_->Shared();
        // Every claim of a block two claim, then who holds it.
        if (owners_->AnyShared()) {
            ExtVector<CEXTFileNode*> files;
            files.reserve(heldBack_.size());
            for (const auto& back : heldBack_) files.push_back(back.first);
            pending_.ForEach([&files](uint32_t, CEXTFileNode* node) {
                if (node && HoldsData(node)) files.push_back(node);
            });
            std::map<uint64_t, ExtVector<ExtClaimant>> disputes;
            for (const ExtBlockOwners::Claim& c : claims) {
                for (auto it = shared.lower_bound(c.start); it != shared.end() && *it - c.start < c.length; ++it) {
                    ExtClaimant x;
                    x.kind = c.kind;
                    x.inode = c.inode;
                    x.logical = c.kind == ExtBlockOwners::kMapping ? c.logical : c.logical + (*it - c.start);
                    x.extents = c.extents;
                    x.fits = c.kind != ExtBlockOwners::kMapping && c.length >= 2;
                    disputes[*it].push_back(x);
                }
            }
            for (CEXTFileNode* node : files) {
                IDataRunList* runs = node->GetDataRuns();
                const uint32_t ino = node->Properties()->InodeNumber();
                uint64_t logical = 0;
                for (DataRun* r = runs->First(); r; r = runs->Next()) {
                    const uint64_t start = static_cast<uint64_t>(r->start);
                    if (!r->IsSparse()) {
                        for (auto it = shared.lower_bound(start); it != shared.end() && *it - start < r->length; ++it) {
                            ExtClaimant x;
                            x.inode = ino;
                            x.logical = logical + (*it - start);
                            x.size = node->GetSize();
                            x.fits = r->length >= 2;
                            disputes[*it].push_back(x);
                        }
                    }
                    logical += r->length;
                }
                // Its mapping blocks lie next to its data.
                auto mapping = mappingClaims_.find(ino);
                if (mapping == mappingClaims_.end()) continue;
                for (uint32_t k = mapping->second.first; k < mapping->second.second; ++k) {
                    auto d = disputes.find(claims[k].start);
                    if (d == disputes.end()) continue;
                    for (ExtClaimant& x : d->second)
                        if (x.kind == ExtBlockOwners::kMapping && x.inode == ino)
                            x.fits = RunsHold(runs, claims[k].start - 1) || RunsHold(runs, claims[k].start + 1);
                }
            }
            auto credible = [this, checksums](uint32_t ino) { return ino == 0 || !checksums || Vouched(ino); };
            for (auto& d : disputes) holders_[d.first] = SettleBlock(fs, d.first, d.second, credible);
        }
        // Blocks the bitmaps mark free (found as the files were claimed).
        if (owners_->BitmapsTrusted()) {
            // Bitmaps that mark the blocks of several files free are behind the files, not the
            // files damaged.
            if (markedFree_.size() > 2) {
                RK_LOG("[Dredgel] Ext block bitmaps mark blocks of %zu live files free: they are not taken into account",
                       markedFree_.size());
                owners_->DistrustBitmaps();
                markedFree_.clear();
            }
            // A file whose checksums hold is what its inode says, whatever the bitmap says.
            for (auto it = markedFree_.begin(); it != markedFree_.end();) {
                if (checksums && Vouched(it->first)) it = markedFree_.erase(it);
                else ++it;
            }
            // A stretch of a map whose checksum fails, next to a block in use that nothing holds,
            // was moved off it (a start that damage shifted, onto the file's own later blocks).
            for (const UnvouchedRun& r : unvouchedRuns_) {
                uint64_t beside = UINT64_MAX;
                if (r.start > 0 && owners_->Orphan(r.start - 1)) beside = r.start - 1;
                else if (owners_->Orphan(r.start + r.length)) beside = r.start + r.length;
                if (beside == UINT64_MAX) continue;
                auto known = moved_.find(r.inode);
                if (known == moved_.end() || r.logical < known->second.logical)
                    moved_[r.inode] = FreeMark{r.logical, r.start, false, beside};
            }
        }
    }
    // The files held back, in the order they were met.
    size_t i = 0;
    for (; i < heldBack_.size(); ++i) {
        if (!KeepGoing()) break;
        Offer(heldBack_[i].first, heldBack_[i].second);
    }
    heldBack_.erase(heldBack_.begin(), heldBack_.begin() + static_cast<std::ptrdiff_t>(i));
    heldIndex_.clear();
    heldIndexed_ = 0;
}

namespace {
std::string Whose(const ExtClaimant& c, uint32_t journal) {
    switch (c.kind) {
        case ExtBlockOwners::kMetadata: return "the volume's own (its metadata)";
        case ExtBlockOwners::kReserved:
            return c.inode == journal ? "the journal's" : "reserved inode " + std::to_string(c.inode) + "'s";
        case ExtBlockOwners::kFolder: return "folder inode " + std::to_string(c.inode) + "'s";
        case ExtBlockOwners::kAttributes: return "inode " + std::to_string(c.inode) + "'s attribute block";
        default: return "inode " + std::to_string(c.inode) + "'s";
    }
}
}  // namespace

void CExt2QuickSearch::CutToOwnBlocks(CEXTFileNode* node) {
    if (markedFree_.empty() && holders_.empty() && moved_.empty()) return;  // a sound volume
    CExt2FileProperties* props = node->Properties();
    const uint32_t ino = props->InodeNumber();
    const uint64_t bs = fs_->BlockSize();
    const uint32_t journal = fs_->SuperBlock().journalInum;
    uint64_t cut = UINT64_MAX;
    std::string why;
    std::string untold;
    auto consider = [&](uint64_t logical, std::string what) {
        if (logical < cut) {
            cut = logical;
            why = std::move(what);
        }
    };
    auto dataBlock = [](uint64_t block, uint64_t logical) {
        return "its block " + std::to_string(block) + " (block " + std::to_string(logical) + " of the file)";
    };
    auto mappingBlock = [](uint64_t block, uint64_t logical) {
        return "the mapping block " + std::to_string(block) + " that leads to its block " + std::to_string(logical);
    };
    auto free = markedFree_.find(ino);
    if (free != markedFree_.end())
        consider(free->second.logical, (free->second.mapping ? mappingBlock(free->second.block, free->second.logical)
                                                             : dataBlock(free->second.block, free->second.logical)) +
                                           " is free in the volume's block bitmap");
    auto moved = moved_.find(ino);
    if (moved != moved_.end())
        consider(moved->second.logical, "its checksum fails, and its blocks from " + std::to_string(moved->second.block) +
                                            " (block " + std::to_string(moved->second.logical) +
                                            " of the file) lie next to block " + std::to_string(moved->second.beside) +
                                            ", which is in use but no file holds: they seem moved there");
    // What another claim holds: kept when this claim is (one of) those that hold it.
    auto weigh = [&](uint64_t block, const ExtClaimant& mine, const std::string& what) {
        auto h = holders_.find(block);
        if (h == holders_.end()) return;
        bool kept = false;
        for (const ExtClaimant& w : h->second)
            kept = kept || (w.kind == mine.kind && w.inode == mine.inode && w.logical == mine.logical);
        const ExtClaimant& other = h->second[0].inode == ino && h->second.size() > 1 ? h->second[1] : h->second[0];
        if (!kept)
            consider(mine.logical, what + " is " + Whose(other, journal));
        else if (h->second.size() > 1 && untold.empty())
            untold = what + " is " + Whose(other, journal) + " too, and which of them it belongs to cannot be told";
    };
    if (!holders_.empty()) {
        IDataRunList* runs = node->GetDataRuns();
        uint64_t logical = 0;
        for (DataRun* r = runs->First(); r; r = runs->Next()) {
            const uint64_t start = static_cast<uint64_t>(r->start);
            if (!r->IsSparse()) {
                const ExtSet<uint64_t>& shared = owners_->Shared();
                for (auto it = shared.lower_bound(start); it != shared.end() && *it - start < r->length; ++it) {
                    ExtClaimant mine;
                    mine.inode = ino;
                    mine.logical = logical + (*it - start);
                    weigh(*it, mine, dataBlock(*it, mine.logical));
                }
            }
            logical += r->length;
        }
        auto mapping = mappingClaims_.find(ino);
        if (mapping != mappingClaims_.end()) {
            for (uint32_t k = mapping->second.first; k < mapping->second.second; ++k) {
                const ExtBlockOwners::Claim& c = owners_->Claims()[k];
                ExtClaimant mine;
                mine.kind = ExtBlockOwners::kMapping;
                mine.inode = ino;
                mine.logical = c.logical;
                weigh(c.start, mine, mappingBlock(c.start, c.logical));
            }
        }
    }
    std::string note;
    const uint64_t size = props->GetSize();
    if (cut != UINT64_MAX && cut * bs < size) {
        const uint64_t kept = cut * bs;
        std::unique_ptr<CExt2DataRunList> shorter(new CExt2DataRunList);
        uint64_t logical = 0;
        IDataRunList* runs = node->GetDataRuns();
        for (DataRun* r = runs->First(); r && logical < cut; r = runs->Next()) {
            shorter->AddBlockRun(DataRun(r->start, std::min<uint64_t>(r->length, cut - logical)));
            logical += r->length;
        }
        props->SetSize(kept);
        props->SetFlags(props->GetFlags() | FILE_FLAG_SIZE_CUT);
        props->PackRuns(shorter.get());
        node->SetProperties(props, props->HasRuns() ? shorter.release() : nullptr);
        note = why + ": cut to the " + std::to_string(kept) + " bytes before it";
    } else if (!untold.empty()) {
        note = untold + ": written whole";
    }
    if (note.empty()) return;
    std::string& existing = notes_[ino];
    existing = note + (existing.empty() ? "" : "; " + existing);
}

namespace {
uint32_t FolderInode(CEXTFileNode* folder) { return folder ? folder->Properties()->InodeNumber() : kRootInode; }

// What a folder's entry that names an inode says of it: how close the inode lies to the numbers of
// the folder's other entries (files made one after another get numbers one after another;
// UINT64_MAX when it has none), how many of the file entries beside it it stands out of ascending
// order with (0 to 2), and why the entry itself is in doubt ("" when it is not).
struct ClaimLook {
    uint64_t closeness = UINT64_MAX;
    int breaks = 0;
    std::string doubt;
    // Its type is not the inode's (says it of this entry alone); its block fails its checksum (says
    // it of every entry there).
    bool wrongType = false;
    bool blockDoubted = false;
};

const char* EntryTypeName(uint8_t type) {
    static const char* const names[] = {"nothing", "a file", "a folder", "a character device", "a block device",
                                        "a pipe", "a socket", "a link"};
    return type < 8 ? names[type] : "no type";
}

// The entry type byte that stands for an inode's mode (0 for a mode no entry type names).
uint8_t EntryTypeOf(uint16_t mode) {
    switch (mode >> 12) {
        case 0x8: return 1;
        case 0x4: return 2;
        case 0x2: return 3;
        case 0x6: return 4;
        case 0x1: return 5;
        case 0xC: return 6;
        case 0xA: return 7;
        default: return 0;
    }
}

bool IsDotEntry(const CExt2DirEntry::Entry& e) {
    return (e.nameLength == 1 && e.name[0] == '.') || (e.nameLength == 2 && e.name[0] == '.' && e.name[1] == '.');
}

// name picks which of the folder's entries that name the inode is looked at (the first that names
// it when none has that name).
ClaimLook LookAtClaim(const CExt2FileSystem& fs, CEXTFileNode* folder, const ExtInode& inode, const std::string& name) {
    ClaimLook look;
    const uint32_t ino = inode.number;
    const bool typed = fs.SuperBlock().featureIncompat & kIncompatFileType;
    try {
        ExtInode dir;
        if (!ReadInode(fs, FolderInode(folder), &dir)) return look;
        // The numbers of the other file entries in the folder's order (folders are spread over the
        // volume: their numbers say nothing of when they were made), and where the entry lies.
        ExtVector<uint32_t> files;
        size_t at = SIZE_MAX;
        bool named = false;
        for (CExt2DirEntry it(fs, dir); !it.AtEnd(); it.Advance()) {
            const CExt2DirEntry::Entry e = it.Current();
            if (e.inode == ino) {
                const bool same = name == std::string(reinterpret_cast<const char*>(e.name),
                                                      ExtEntryNameLength(e.name, e.nameLength));
                if (named || (at != SIZE_MAX && !same)) continue;
                at = files.size();
                named = same;
                // A number damage changed lands on another's inode; the bytes around it were the
                // entry's own and may still tell.
                look.blockDoubted = it.CurrentDoubted();
                look.wrongType = typed && EntryTypeOf(inode.Mode()) && e.fileType != EntryTypeOf(inode.Mode());
                look.doubt.clear();
                if (look.blockDoubted)
                    look.doubt = "the block it lies in fails its checksum";
                else if (look.wrongType)
                    look.doubt = std::string("it says ") + EntryTypeName(e.fileType) + " where the inode is " +
                                 EntryTypeName(EntryTypeOf(inode.Mode()));
                continue;
            }
            if (e.inode == 0 || e.inode == FolderInode(folder) || IsDotEntry(e)) continue;
            look.closeness = std::min<uint64_t>(look.closeness, e.inode > ino ? e.inode - ino : ino - e.inode);
            if (!typed || e.fileType != kDirEntryTypeFolder) files.push_back(e.inode);
        }
        if (at != SIZE_MAX) look.breaks = (at > 0 && files[at - 1] > ino) + (at < files.size() && files[at] < ino);
    } catch (const std::exception&) {
    }
    return look;
}

// The folder a folder's ".." names (0 when its first block does not say).
uint32_t UpFolder(const CExt2FileSystem& fs, const ExtInode& inode) {
    try {
        const uint64_t block = ExtBlockMap(fs, inode, 1).BlockOf(0);
        if (block == 0) return 0;
        ExtBuffer buffer;
        uint8_t* data = buffer.Reserve(fs.BlockSize());
        fs.ReadBlocks(data, block, 1);
        const uint8_t* up = data + LoadLE16(data + 4);
        if (LoadLE16(data + 4) != 12 || up[6] != 2 || up[8] != '.' || up[9] != '.') return 0;
        return LoadLE32(up);
    } catch (const std::exception&) {
        return 0;
    }
}
}  // namespace

size_t CExt2QuickSearch::PickClaim(CExt2FileSystem& fs, const ExtInode& inode, const ExtVector<EntryClaim>& claims,
                                   size_t fallback, ExtVector<std::string>* doubts, bool* even) {
    *even = false;
    doubts->assign(claims.size(), std::string());
    size_t winner = fallback;
    if (inode.IsDirectory()) {
        // A folder has one folder above it: the one its ".." names.
        const uint32_t up = UpFolder(fs, inode);
        for (size_t i = 0; i < claims.size(); ++i)
            if (FolderInode(claims[i].folder) == up) winner = i;
        return winner;
    }
    ExtVector<ClaimLook> looks;
    looks.reserve(claims.size());
    for (size_t i = 0; i < claims.size(); ++i) {
        looks.push_back(LookAtClaim(fs, claims[i].folder, inode, claims[i].name));
        (*doubts)[i] = looks.back().doubt;
    }
    // An entry in doubt gives way to one that is not, a type that is not the inode's first.
    auto rank = [&](size_t i) {
        const ClaimLook& l = looks[i];
        return std::make_tuple(l.wrongType, l.blockDoubted, l.breaks, l.closeness);
    };
    size_t best = 0;
    for (size_t i = 1; i < claims.size(); ++i)
        if (rank(i) < rank(best)) best = i;
    size_t equals = 0;
    for (size_t i = 0; i < claims.size(); ++i) equals += rank(i) == rank(best);
    *even = equals > 1;
    return best;
}

bool CExt2QuickSearch::LeaveOut(const ExtInode& inode, const ExtVector<EntryClaim>& claims, size_t winner,
                                const ExtVector<std::string>& doubts, bool even) {
    CEXTFileNode* kept = claims[winner].folder;
    for (size_t i = 0; i < claims.size(); ++i) {
        if (i == winner && !even) continue;
        std::string doubt = i < doubts.size() ? doubts[i] : std::string();
        // Nothing tells which is its own: none is taken, not to give one's name to another's bytes.
        if (even) doubt += std::string(doubt.empty() ? "" : ", ") + "and nothing tells which of them it belongs to";
        SayLeftOut(claims[i].folder, claims[i].name, inode, i == winner ? claims[i == 0 ? 1 : 0].folder : kept, doubt);
        try {
            strays_.push_back(Stray{claims[i].folder, claims[i].name, inode.number});
        } catch (const std::bad_alloc&) {
        }
    }
    return !even;
}

void CExt2QuickSearch::SayLeftOut(CEXTFileNode* folder, const std::string& name, const ExtInode& inode,
                                  CEXTFileNode* winner, const std::string& doubt) {
    const std::string why = inode.IsDirectory() ? "a folder whose \"..\" names another" : "a file with one link";
    Say(folder, FolderInode(folder), !folder || *folder->GetName(),
        "its entry \"" + Printable(name) + "\" names inode " + std::to_string(inode.number) + ", " + why +
            " that " + (winner == folder ? std::string("another of its entries")
                                         : "an entry of " + (winner ? ExtNodePath(winner) : std::string("/"))) +
            " names too" +
            (doubt.empty() ? std::string() : doubt.compare(0, 4, "and ") == 0 ? ", " + doubt : ", and " + doubt) +
            ": left out");
}

bool CExt2QuickSearch::OneFolder(CExt2FileSystem& fs, const ExtInode& inode, CEXTFileNode** folder, std::string* name) {
    CEXTFileNode* const last = *folder;
    auto it = twice_.find(inode.number);
    if (it == twice_.end()) return false;
    ExtVector<CEXTFileNode*> live;
    for (CEXTFileNode* f : it->second)
        if ((!f || !f->IsDeleted()) && std::find(live.begin(), live.end(), f) == live.end()) live.push_back(f);
    twice_.erase(it);
    // A deleted folder's entry is stale.
    if (live.empty()) return false;
    ExtVector<EntryClaim> claims;
    for (CEXTFileNode* f : live) {
        CExt2FileProperties* holder = f ? f->Properties() : rootNames_.get();
        for (std::string& n : holder->TakeChildNames(inode.number)) claims.push_back(EntryClaim{f, std::move(n)});
    }
    if (claims.empty()) return false;
    size_t fallback = claims.size() - 1;
    for (size_t i = claims.size(); i-- > 0;)
        if (claims[i].folder == last) {
            fallback = i;
            break;
        }
    size_t winner = fallback;
    // A file with as many links as live entries has them all.
    if (claims.size() > 1 && (inode.IsDirectory() || inode.LinksCount() < claims.size())) {
        ExtVector<std::string> doubts;
        bool even = false;
        winner = PickClaim(fs, inode, claims, fallback, &doubts, &even);
        if (!LeaveOut(inode, claims, winner, doubts, even)) {
            *folder = nullptr;
            name->clear();
            return true;
        }
    }
    *folder = claims[winner].folder;
    *name = std::move(claims[winner].name);
    return true;
}

bool CExt2QuickSearch::NamedAgain(CExt2FileSystem& fs, uint32_t ino, CEXTFileNode* folder, const std::string& name) {
    // A live file named before, held back: which entry it goes under is settled now, while it can move.
    for (; heldIndexed_ < heldBack_.size(); ++heldIndexed_)
        heldIndex_[heldBack_[heldIndexed_].first->Properties()->InodeNumber()] = heldIndexed_;
    auto found = heldIndex_.find(ino);
    if (found != heldIndex_.end()) {
        auto& back = heldBack_[found->second];
        if (back.second == folder && name == back.first->GetName()) return false;
        ExtInode inode;
        try {
            if (!ReadInode(fs, ino, &inode) || inode.LinksCount() >= 2) return false;
        } catch (const std::exception&) {
            return false;
        }
        const ExtVector<EntryClaim> claims{EntryClaim{back.second, back.first->GetName()}, EntryClaim{folder, name}};
        ExtVector<std::string> doubts;
        bool even = false;
        const size_t winner = PickClaim(fs, inode, claims, 0, &doubts, &even);
        if (!LeaveOut(inode, claims, winner, doubts, even)) {
            back.second = nullptr;
            back.first->Properties()->TakeName(UnnamedInodeName(ino));
        } else if (winner == 1) {
            back.second = folder;
            back.first->Properties()->TakeName(name);
        }
        return true;
    }
    return false;
}

std::unordered_map<uint32_t, size_t> CExt2QuickSearch::MatchStrays(CExt2FileSystem& fs,
                                                                  const std::unordered_set<uint32_t>& unnamed) {
    std::unordered_map<uint32_t, size_t> meant;
    std::unordered_set<uint32_t> twice;  // meant by two strays: neither is known
    for (size_t i = 0; i < strays_.size(); ++i) {
        const Stray& s = strays_[i];
        if (s.folder && s.folder->IsDeleted()) continue;
        uint32_t only = 0;
        int count = 0;
        for (uint32_t shift = 0; shift < 32; shift += 8)
            for (uint32_t v = 0; v < 256; ++v) {
                const uint32_t y = (s.named & ~(0xFFu << shift)) | (v << shift);
                if (y != s.named && unnamed.count(y)) only = y, ++count;
            }
        if (count != 1) continue;
        // A folder is meant only by an entry of the folder its ".." names.
        ExtInode inode;
        try {
            if (!ReadInode(fs, only, &inode)) continue;
        } catch (const std::exception&) {
            continue;
        }
        if (inode.IsDirectory() && UpFolder(fs, inode) != FolderInode(s.folder)) continue;
        if (!meant.emplace(only, i).second) twice.insert(only);
    }
    for (uint32_t y : twice) meant.erase(y);
    return meant;
}

CExt2QuickSearch::HiddenNames CExt2QuickSearch::FindHiddenNames(CExt2FileSystem& fs,
                                                              const std::unordered_set<uint32_t>& unnamed) {
    // A record whose length damage made longer runs over the records after it: they are still there,
    // in its room past its name, and name live files nothing else names.
    HiddenNames found;
    for (const auto& f : liveFolders_) {
        try {
            ExtInode dir;
            if (!ReadInode(fs, f.second, &dir)) continue;
            for (CExt2DirEntry it(fs, dir); !it.AtEnd(); it.Advance()) {
                const CExt2DirEntry::Entry e = it.Current();
                const uint8_t* record = e.name - kDirEntryHeaderBytes;
                for (size_t at = (kDirEntryHeaderBytes + e.nameLength + 3) & ~size_t{3};
                     at + kDirEntryHeaderBytes <= e.recordLength; at += 4) {
                    const uint8_t* p = record + at;
                    const uint32_t ino = LoadLE32(p);
                    const uint32_t length = LoadLE16(p + 4);
                    const uint8_t nameLength = p[6];
                    if (!unnamed.count(ino) || found.count(ino) || nameLength == 0 || length % 4 != 0 ||
                        length < kDirEntryHeaderBytes + nameLength || at + kDirEntryHeaderBytes + nameLength > e.recordLength ||
                        HasSlashOrNul(p + kDirEntryHeaderBytes, nameLength))
                        continue;
                    found[ino] = {f.first, std::string(reinterpret_cast<const char*>(p + kDirEntryHeaderBytes),
                                                       ExtEntryNameLength(p + kDirEntryHeaderBytes, nameLength))};
                }
            }
        } catch (const std::exception&) {
        }
    }
    return found;
}
