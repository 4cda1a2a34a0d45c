// The carving searcher of this build finds nothing yet.
#include <new>

#include "CEmptySearchers.h"
#include "RawSearch.h"

ICompleteFileSystemSearchController* CreateRAWSearchController() { return new (std::nothrow) CEmptyCompleteSearcher; }
