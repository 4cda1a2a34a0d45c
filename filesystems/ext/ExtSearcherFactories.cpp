#include <new>

#include "filesystems/FileSystemSearchers.h"
#include "filesystems/ext/CExt2QuickSearch.h"

IQuickFileSystemSearchController* CreateExt2QuickSearch() { return new (std::nothrow) CExt2QuickSearch; }
