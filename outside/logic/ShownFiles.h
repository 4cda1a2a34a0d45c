#pragma once
#include <vector>

#include "outside/logic/DistinctFiles.h"
#include "sqlite_recovery/framework/CDataContainer.h"
#include "sqlite_recovery/framework/ItemRecords.h"

class FoundFileOpener;

// The found files as the user is shown them and ticks them: each file once, by the rule the writer
// writes by (DistinctFiles), so that what is listed and counted is what Recover writes. Follows
// the media library's container while the scan fills it: a live file a file system lists is shown
// as soon as it is found; deleted entries and carved finds wait for the end of the scan, when it
// is known which of them a live file or folder has overwritten or holds (the library's unlisted
// records, of folders and of files no category takes, are judged, never shown). The records are
// the library's own (the same id, owner and node), so that they open and write as the library's do. Follow and
// Settle run on the scanning thread, or after the scan; the container is anyone's, under its lock.
class ShownFiles {
public:
    ShownFiles() = default;
    ShownFiles(const ShownFiles&) = delete;
    ShownFiles& operator=(const ShownFiles&) = delete;

    IDataContainer<_ARCHIVE_INFOMATION>* Container() { return &shown_; }

    // Takes the records the library added since the last call. True when some were shown.
    bool Follow(IDataContainer<_ARCHIVE_INFOMATION>* found, FoundFileOpener& opener);
    // The scan is over: takes the last records and judges those that waited. True when some were shown.
    bool Settle(IDataContainer<_ARCHIVE_INFOMATION>* found, FoundFileOpener& opener);

private:
    // Judges the items in order and shows the distinct ones; true when there were any.
    bool Show(std::vector<_ARCHIVE_INFOMATION>& items, FoundFileOpener& opener);

    CDataContainer<_ARCHIVE_INFOMATION> shown_;
    DistinctFiles rule_;
    std::vector<_ARCHIVE_INFOMATION> waiting_;  // deleted entries and carved finds
};
