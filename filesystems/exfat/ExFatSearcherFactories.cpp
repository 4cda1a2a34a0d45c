// The exFAT searchers of this build find nothing yet.
#include <new>

#include "CEmptySearchers.h"
#include "FileSystemSearchers.h"

IQuickFileSystemSearchController* CreateExFatQuickSearch() { return new (std::nothrow) CEmptyQuickSearcher; }

ICompleteFileSystemSearchController* CreateExFatCompleteSearch() {
    return new (std::nothrow) CEmptyCompleteSearcher;
}
