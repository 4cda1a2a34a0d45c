#include <new>

#include "CEmptySearchers.h"
#include "CFATQuickSearcher.h"
#include "FileSystemSearchers.h"

IQuickFileSystemSearchController* CreateFATQuickSearcher() { return new (std::nothrow) CFATQuickSearcher; }

// The whole-device FAT search is not part of this reader yet: it finds nothing.
ICompleteFileSystemSearchController* CreateFATCompleteSearcher() {
    return new (std::nothrow) CEmptyCompleteSearcher;
}
