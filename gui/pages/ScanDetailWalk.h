#pragma once
#include <string>

#include "sqlite_recovery/framework/IDataContainer.h"

// Walks a locked container's fresh records (fresh) or all of them. The iterators carry the
// container's keyword: with one set, a record that does not match it goes to hidden instead of
// visit. Each record is the container's own (never the fresh set's copy), so that what the
// walk writes into its selection field stays.
template <class T, class Matches, class Visit, class Hidden>
void WalkRecords(IDataContainer<T>* container, bool fresh, Matches matches, Visit visit, Hidden hidden) {
    auto it = fresh ? container->FreshBegin() : container->Begin();
    const auto end = fresh ? container->FreshEnd() : container->End();
    const std::string keyword = it.Keyword();
    for (; it != end; ++it) {
        const unsigned id = it->first;
        if (!container->Contains(id)) continue;
        T* record = container->At(id);
        if (!keyword.empty() && !matches(*record, keyword.c_str())) hidden(*record);
        else visit(*record);
    }
}
