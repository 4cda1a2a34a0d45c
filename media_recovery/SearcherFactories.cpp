#include "media_recovery/SearcherFactories.h"

#include "filesystems/FileSystemSearchers.h"
#include "media_recovery/RawSearch.h"

namespace {
SearcherFactories Defaults() {
    return SearcherFactories{CreateFATQuickSearcher,    CreateExFatQuickSearch,    CreateExt2QuickSearch,
                             CreateExFatCompleteSearch, CreateFATCompleteSearcher, CreateRAWSearchController,
                             CreateExtCompleteSearch};
}
}  // namespace

SearcherFactories& GetSearcherFactories() {
    static SearcherFactories factories = Defaults();
    return factories;
}

void ResetSearcherFactories() { GetSearcherFactories() = Defaults(); }
