// The Ext2/3/4 searcher of this build finds nothing yet.
#include <new>

#include "filesystems/CEmptySearchers.h"
#include "filesystems/FileSystemSearchers.h"

IQuickFileSystemSearchController* CreateExt2QuickSearch() { return new (std::nothrow) CEmptyQuickSearcher; }
