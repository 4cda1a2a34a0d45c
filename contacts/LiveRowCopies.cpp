#include "contacts/LiveRowCopies.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "contacts/tables/CDataTableRow.h"

namespace {

// Takes the recovered rows under live ids out of the map when drop says so.
template <class Drop>
void ClaimIn(RowMultimap* map, Drop drop) {
    if (!map) return;
    for (auto it = map->begin(); it != map->end();) {
        if (!it->second->live && it->first > 0 && drop(it->second)) {
            it->second->Release();
            it = map->erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace

void ClaimCopiesOfLiveRows(const JoinSources& sources) {
    // The maps are keyed by the rows' ids; a phone's hundred thousand rows are looked up in a
    // sorted list, not a node per row.
    std::vector<int64_t> liveRaw;
    if (RowMultimap* raw = sources.rawContacts) {
        for (const auto& entry : *raw)
            if (entry.second->live && entry.first > 0) liveRaw.push_back(entry.first);
        if (!liveRaw.empty())
            ClaimIn(raw, [&](const CTableRow* row) {
                return std::binary_search(liveRaw.begin(), liveRaw.end(), row->id);
            });
    }
    // A data row's kind may have changed with an edit: the live rows of every kind's map count.
    // Every row of the data maps is a data row.
    std::vector<std::pair<int64_t, const CDataTableRow*>> live;
    for (RowMultimap* map : sources.data)
        if (map)
            for (const auto& entry : *map)
                if (entry.second->live && entry.first > 0)
                    live.emplace_back(entry.first, static_cast<const CDataTableRow*>(entry.second));
    if (live.empty()) return;
    std::sort(live.begin(), live.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (RowMultimap* map : sources.data) {
        ClaimIn(map, [&](CTableRow* row) {
            auto* data = static_cast<CDataTableRow*>(row);
            auto found = std::lower_bound(live.begin(), live.end(), data->id,
                                          [](const auto& entry, int64_t id) { return entry.first < id; });
            if (found == live.end() || found->first != data->id) return false;
            const CDataTableRow* current = found->second;
            if (current->rawContactId != data->rawContactId) return false;
            if (current->dataKind == data->dataKind && current->SameValue(data)) return true;
            data->earlier = true;
            return false;
        });
    }
}
