#include <new>

#include "filesystems/CEmptySearchers.h"
#include "filesystems/fat/CFATQuickSearcher.h"
#include "filesystems/FileSystemSearchers.h"

IQuickFileSystemSearchController* CreateFATQuickSearcher() { return new (std::nothrow) CFATQuickSearcher; }

// The whole-device FAT search is not part of this reader yet: it finds nothing.
ICompleteFileSystemSearchController* CreateFATCompleteSearcher() {
    return new (std::nothrow) CEmptyCompleteSearcher;
}
