// The Ext2/3/4 searcher of this build finds nothing yet.
#include <new>

#include "CEmptySearchers.h"
#include "FileSystemSearchers.h"

IQuickFileSystemSearchController* CreateExt2QuickSearch() { return new (std::nothrow) CEmptyQuickSearcher; }
