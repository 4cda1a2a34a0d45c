#pragma once
#include "filesystems/frame/IFileSystemSearchController.h"

// The factories through which the controllers make their searchers. They default to the readers
// of this build; a test that links the library's code may point them at searchers of its own.
struct SearcherFactories {
    IQuickFileSystemSearchController* (*fatQuick)();
    IQuickFileSystemSearchController* (*exfatQuick)();
    IQuickFileSystemSearchController* (*extQuick)();
    ICompleteFileSystemSearchController* (*exfatComplete)();
    ICompleteFileSystemSearchController* (*fatComplete)();
    ICompleteFileSystemSearchController* (*rawComplete)();
    ICompleteFileSystemSearchController* (*extComplete)();
};

SearcherFactories& GetSearcherFactories();
// Puts the defaults back.
void ResetSearcherFactories();
