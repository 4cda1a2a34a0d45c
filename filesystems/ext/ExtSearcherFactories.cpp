#include <new>

#include "filesystems/FileSystemSearchers.h"
#include "filesystems/ext/CExt2QuickSearch.h"
#include "filesystems/ext/CExtCompleteSearch.h"

IQuickFileSystemSearchController* CreateExt2QuickSearch() { return new (std::nothrow) CExt2QuickSearch; }
ICompleteFileSystemSearchController* CreateExtCompleteSearch() { return new (std::nothrow) CExtCompleteSearch; }
