// The FAT searchers of this build find nothing yet.
#include <new>

#include "CEmptySearchers.h"
#include "FileSystemSearchers.h"

IQuickFileSystemSearchController* CreateFATQuickSearcher() { return new (std::nothrow) CEmptyQuickSearcher; }

ICompleteFileSystemSearchController* CreateFATCompleteSearcher() {
    return new (std::nothrow) CEmptyCompleteSearcher;
}
