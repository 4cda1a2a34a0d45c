// The exFAT searchers. The complete (whole-device) search finds nothing yet.
#include <new>

#include "filesystems/CEmptySearchers.h"
#include "filesystems/FileSystemSearchers.h"
#include "filesystems/exfat/CExFatQuickSearch.h"

IQuickFileSystemSearchController* CreateExFatQuickSearch() { return new (std::nothrow) CExFatQuickSearch; }

ICompleteFileSystemSearchController* CreateExFatCompleteSearch() {
    return new (std::nothrow) CEmptyCompleteSearcher;
}
