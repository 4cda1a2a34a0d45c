// The exFAT searchers: the quick one for the volume at the start of a storage device, the complete
// one for the whole-device pass.
#include <new>

#include "filesystems/FileSystemSearchers.h"
#include "filesystems/exfat/CExFatCompleteSearch.h"
#include "filesystems/exfat/CExFatQuickSearch.h"

IQuickFileSystemSearchController* CreateExFatQuickSearch() { return new (std::nothrow) CExFatQuickSearch; }

ICompleteFileSystemSearchController* CreateExFatCompleteSearch() { return new (std::nothrow) CExFatCompleteSearch; }
