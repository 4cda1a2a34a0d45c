// The exFAT searchers of this build find nothing yet.
#include <new>

#include "filesystems/CEmptySearchers.h"
#include "filesystems/FileSystemSearchers.h"

IQuickFileSystemSearchController* CreateExFatQuickSearch() { return new (std::nothrow) CEmptyQuickSearcher; }

ICompleteFileSystemSearchController* CreateExFatCompleteSearch() {
    return new (std::nothrow) CEmptyCompleteSearcher;
}
