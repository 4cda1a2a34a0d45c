#include "contacts/LiveRowCopies.h"

#include <unordered_map>

#include "contacts/JoinRows.h"

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
    if (RowMultimap* raw = sources.rawContacts) {
        std::unordered_map<int64_t, bool> live;
        for (const auto& entry : *raw)
            if (entry.second->live && entry.first > 0) live[entry.first] = true;
        if (!live.empty()) ClaimIn(raw, [&](const CTableRow* row) { return live.count(row->id) != 0; });
    }
    // A data row's kind may have changed with an edit: the live rows of every kind's map count.
    std::unordered_map<int64_t, const CDataTableRow*> live;
    for (RowMultimap* map : sources.data)
        for (CDataTableRow* row : RowsOf<CDataTableRow>(map))
            if (row->live && row->id > 0) live.emplace(row->id, row);
    if (live.empty()) return;
    for (RowMultimap* map : sources.data) {
        ClaimIn(map, [&](CTableRow* row) {
            CDataTableRow* data = AsData(row);
            auto found = data ? live.find(data->id) : live.end();
            if (found == live.end() || found->second->rawContactId != data->rawContactId) return false;
            const CDataTableRow* current = found->second;
            if (current->dataKind == data->dataKind && current->SameValue(data)) return true;
            data->earlier = true;
            return false;
        });
    }
}
