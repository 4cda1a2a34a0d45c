#include "outside/logic/ShownFiles.h"

#include <algorithm>

#include "sqlite_recovery/framework/Lockers.h"

bool ShownFiles::Follow(IDataContainer<_ARCHIVE_INFOMATION>* found, FoundFileOpener& opener) {
    std::vector<_ARCHIVE_INFOMATION> live;
    if (found) {
        autolocker<IDataContainer<_ARCHIVE_INFOMATION>*> lock(found);
        for (auto it = found->FreshBegin(); it != found->FreshEnd(); ++it) {
            if (!it->second.node) continue;
            (DistinctFiles::IsLiveEntry(it->second) ? live : waiting_).push_back(it->second);
        }
        found->ClearFresh();
    }
    return Show(live, opener);
}

bool ShownFiles::Settle(IDataContainer<_ARCHIVE_INFOMATION>* found, FoundFileOpener& opener) {
    bool shown = Follow(found, opener);
    std::vector<_ARCHIVE_INFOMATION> waited;
    waited.swap(waiting_);
    return Show(waited, opener) || shown;
}

bool ShownFiles::Show(std::vector<_ARCHIVE_INFOMATION>& items, FoundFileOpener& opener) {
    std::sort(items.begin(), items.end(), DistinctFiles::JudgedBefore);
    const std::vector<FoundFileFacts> facts = FactsOf(opener, items);
    // Those the scan gave no time to read wait for its end: judged without where their data lies, a
    // live file would not be known when another search finds it again.
    waiting_.insert(waiting_.end(), items.begin() + static_cast<std::ptrdiff_t>(facts.size()), items.end());
    bool shown = false;
    for (size_t i = 0; i < facts.size(); ++i) {
        if (rule_.Judge(facts[i]) != DistinctFiles::Verdict::Distinct) continue;
        _ARCHIVE_INFOMATION record = items[i];
        record.check = 0;
        autolocker<CDataContainer<_ARCHIVE_INFOMATION>*> lock(&shown_);
        shown_.InsertItem(record);
        shown = true;
    }
    return shown;
}
