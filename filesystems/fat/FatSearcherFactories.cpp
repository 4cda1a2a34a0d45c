#include <new>

#include "filesystems/FileSystemSearchers.h"
#include "filesystems/fat/CFATCompleteFSearcher.h"
#include "filesystems/fat/CFATQuickSearcher.h"

IQuickFileSystemSearchController* CreateFATQuickSearcher() { return new (std::nothrow) CFATQuickSearcher; }

ICompleteFileSystemSearchController* CreateFATCompleteSearcher() { return new (std::nothrow) CFATCompleteFSearcher; }
