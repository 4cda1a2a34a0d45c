#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "sqlite_recovery/framework/ItemRecords.h"

class FoundFileOpener;
class IArchiveFileReader;
class IStorageDevice;

// What tells one found file from another: where its data begins, and what its entry says.
struct FoundFileFacts {
    IStorageDevice* volume = nullptr;
    uint64_t firstByte = 0;
    bool hasData = false;  // false: nothing of it lies on a volume (empty, or not readable)
    bool carved = false;   // found by carving alone, with no entry of a file system
    bool deleted = false;
    bool unlisted = false;  // a live file or folder kept only for the clusters it holds (never a file of the run)
    uint32_t search = 0;    // the kind of search that listed it (the record's type)
    uint64_t size = 0;
    std::string name;
    std::string folder;  // the names of its folders, outermost first, each followed by '/'
    // Where on the volume its data lies: {first byte, bytes} of each stretch (of file systems' entries only).
    std::vector<std::pair<uint64_t, uint64_t>> stretches;
};

// The facts of an item, whose reader (may be null) tells where its data begins.
FoundFileFacts FactsOf(const _ARCHIVE_INFOMATION& item, IArchiveFileReader* reader);
// The facts of each item, in the items' order.
// While the scan runs, only those of the first items whose readers could be made in time: as
// many facts as that.
std::vector<FoundFileFacts> FactsOf(FoundFileOpener& opener, const std::vector<_ARCHIVE_INFOMATION>& items);

// Which finds are files of their own, and so are shown and written; one rule for what the user
// is shown and what is written. The searches find one file more than once (a volume's quick search
// and the whole-device search both list its live files; carving hits its first byte), and a
// deleted entry still points at clusters that a live file may have taken since:
// - a live file a file system lists is always a file of its own; a second find of it (the same
//   volume, first byte, size, name and folders) is a repeat; two live entries that share a first
//   byte but differ (cross-linked) are two files;
// - every live file and folder a file system lists holds its clusters, listed or not (an unlisted
//   find: a file of a category the run leaves out, a folder); it is never a file of the run;
// - a deleted entry whose data (as far as it can be told) now lies in part in a live file's or
//   folder's data holds (part of) that: it is overwritten (unless it begins where that very file
//   does, found deleted in a stale copy of its folder: a repeat); one whose first byte another
//   deleted entry claimed first is overwritten too, unless it is a second find of that entry;
// - a carved find that begins where any file system's find begins is that file, and one that
//   begins inside a live file's data is a part of it: a repeat;
// - finds with no data on a volume (empty files among them) are files of their own, but for a
//   second find with the name, size and folders of one kept (the other search's find of it): a
//   repeat.
// Judge every live find of a file system (the unlisted ones too) before any deleted one, and every
// find of a file system before any carved one (JudgedBefore gives that order).
class DistinctFiles {
public:
    enum class Verdict { Distinct, Repeat, Overwritten, Unlisted };

    // The order of judging: live file-system finds, deleted ones, carved ones, each by id.
    static bool JudgedBefore(const _ARCHIVE_INFOMATION& a, const _ARCHIVE_INFOMATION& b);
    // True for a live find of a file system: its verdict never waits for another find.
    static bool IsLiveEntry(const _ARCHIVE_INFOMATION& item);

    Verdict Judge(const FoundFileFacts& find);

private:
    using Start = std::pair<IStorageDevice*, uint64_t>;
    using Identity = std::tuple<uint64_t, std::string, std::string>;  // size, name, folder

    static Identity IdentityOf(const FoundFileFacts& find) { return Identity(find.size, find.name, find.folder); }

    // True when the byte lies in the data of a live entry kept.
    bool InLiveData(const Start& byte) const;
    // True when some of the find's data lies in the data of a live entry, listed or not.
    bool MeetsLiveData(const FoundFileFacts& find) const;

    std::map<Start, std::vector<Identity>> live_;     // live entries kept, by their first byte
    // The data of the live entries kept: per volume, disjoint {first byte -> end} stretches.
    std::map<IStorageDevice*, std::map<uint64_t, uint64_t>> liveData_;
    std::map<IStorageDevice*, std::map<uint64_t, uint64_t>> heldData_;  // alike, of the unlisted finds
    std::map<Start, std::vector<Identity>> deleted_;  // deleted entries kept, by their first byte
    std::map<Start, std::vector<Identity>> overwritten_;  // deleted entries found overwritten
    std::set<Start> entries_;                         // where any file system's find begins
    std::set<Start> carved_;                          // carved finds kept
    // Finds without data, by deleted flag and identity: how many are kept, and how many each kind of
    // search listed.
    struct NoDataCount {
        size_t kept = 0;
        std::map<uint32_t, size_t> listed;
    };
    std::map<std::pair<bool, Identity>, NoDataCount> noData_;
};
