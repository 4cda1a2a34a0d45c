#include "contacts/LostRawContacts.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>

#include "contacts/JoinRows.h"
#include "contacts/tables/CContactsTableRow.h"
#include "contacts/tables/CDataTableAnalyze.h"
#include "contacts/tables/CDataTableNameRow.h"
#include "contacts/tables/ContactTableKinds.h"
#include "contacts/tables/ContactTableRules.h"

namespace {

// What the other tables tell of raw contacts whose raw_contacts row lost its _id (read 0), each
// with its display name and contact id. Such a row is an older copy of the raw contact of its name
// in its contact; or the lost raw contact (data rows without a raw_contacts row) that its contact
// names in the contacts table, or, where this phone numbers its contacts as their raw contacts,
// whose id is its contact id, when that one's name rows carry its name or none is left; failing
// those, one whose name rows carry its name where the ids tell nothing against it. Each lost raw
// contact is taken once. Names are those of the lost rows, known by their place in a sorted list.
class LostRowClues {
public:
    static constexpr uint32_t kNoName = UINT32_MAX;

    LostRowClues(const JoinSources& sources, const std::vector<CRawContactsTableRow*>& lost) {
        for (const CRawContactsTableRow* row : lost) names_.push_back(NameOf(row));
        SortUnique(names_);
        nameIndex_.reserve(names_.size());
        for (uint32_t i = 0; i < names_.size(); ++i) nameIndex_.emplace(names_[i], i);
        size_t liveRows = 0, numberedAlike = 0;
        for (CRawContactsTableRow* row : RowsOf<CRawContactsTableRow>(sources.rawContacts)) {
            if (row->id <= 0) continue;
            withRow_.push_back({row->id, row->contactId});
            const uint32_t name = IndexOf(NameOf(row));
            if (name != kNoName) named_.push_back({name, row->id, row->contactId});
            if (row->live && row->contactId > 0) {
                ++liveRows;
                numberedAlike += row->contactId == row->id;
            }
        }
        SortUnique(withRow_);
        // Nine in ten at least.
        idsRunTogether_ = liveRows > 0 && numberedAlike * 10 >= liveRows * 9;
        for (CContactsTableRow* row : RowsOf<CContactsTableRow>(sources.contacts)) {
            if (row->id <= 0 || row->nameRawContactId <= 0) continue;
            nameRawOf_.push_back({row->id, row->nameRawContactId});
            contactOf_.push_back({row->nameRawContactId, row->id});
        }
        SortUnique(nameRawOf_);
        SortUnique(contactOf_);
        // The raw contacts the lost rows' contact ids point to, where they have no row.
        for (const CRawContactsTableRow* row : lost) {
            const int64_t id = Pointed(row->contactId);
            if (id > 0 && !HasRow(id)) orphans_.emplace(id, Orphan());
        }
        // One pass over the data rows: which of those have rows left and a name among them, and
        // what the name rows carrying a lost row's name say.
        std::vector<std::pair<int64_t, uint32_t>> nameRefs;
        const int nameMap = CDataTableAnalyze::RowMapOfKind(kDataName);
        for (int m = 0; m < CTableAnalyze::kRowMapCount; ++m) {
            if (!sources.data[m]) continue;
            for (const auto& entry : *sources.data[m]) {
                const auto* row = dynamic_cast<const CDataTableRow*>(entry.second);
                if (!row || row->rawContactId <= 0) continue;
                const auto* nameRow = m == nameMap ? dynamic_cast<const CDataTableNameRow*>(row) : nullptr;
                const bool named = nameRow && !nameRow->displayName.empty();
                auto orphan = orphans_.find(row->rawContactId);
                if (orphan != orphans_.end()) {
                    orphan->second.hasRows = true;
                    orphan->second.named = orphan->second.named || named;
                }
                const uint32_t name = named ? IndexOf(nameRow->displayName) : kNoName;
                if (name != kNoName) nameRefs.push_back({row->rawContactId, name});
            }
        }
        for (const auto& [raw, name] : nameRefs) {
            auto it = std::lower_bound(withRow_.begin(), withRow_.end(), std::make_pair(raw, INT64_MIN));
            if (it == withRow_.end() || it->first != raw) {
                Orphan& orphan = orphans_[raw];
                orphan.hasRows = orphan.named = true;
                orphanNames_.push_back({name, raw, 0});
            }
            for (; it != withRow_.end() && it->first == raw; ++it) named_.push_back({name, it->first, it->second});
        }
        // By name, in the order found: raw_contacts rows first.
        std::stable_sort(named_.begin(), named_.end(), ByName);
        SortUnique(orphanNames_);
    }

    // The place of a lost row's name; kNoName for any other.
    uint32_t IndexOf(const std::string& name) const {
        auto found = nameIndex_.find(name);
        return found == nameIndex_.end() ? kNoName : found->second;
    }

    // The raw contact with a row of that name in that contact (in any, where either contact id is
    // unknown); 0 when none.
    int64_t CopyOf(uint32_t name, int64_t contactId) const {
        for (auto [it, end] = Named(named_, name); it != end; ++it)
            if (contactId <= 0 || it->contact <= 0 || it->contact == contactId) return it->raw;
        return 0;
    }

    // The lost raw contact the contact id points to; 0 when none.
    int64_t TakeByContact(uint32_t name, int64_t contactId) {
        const int64_t id = Pointed(contactId);
        return id > 0 ? Take(id, name) : 0;
    }

    // A lost raw contact whose name rows carry the name, of no other contact as far as the ids
    // tell; 0 when none.
    int64_t TakeByName(uint32_t name, int64_t contactId) {
        for (auto [it, end] = Named(orphanNames_, name); it != end; ++it) {
            if (contactId > 0) {
                const int64_t contact = Lookup(contactOf_, it->raw);
                if (contact > 0 ? contact != contactId : idsRunTogether_ && it->raw != contactId) continue;
            }
            if (int64_t id = Take(it->raw, name)) return id;
        }
        return 0;
    }

private:
    struct NamedRaw {
        uint32_t name;
        int64_t raw, contact;
        bool operator<(const NamedRaw& o) const { return std::tie(name, raw, contact) < std::tie(o.name, o.raw, o.contact); }
        bool operator==(const NamedRaw& o) const { return name == o.name && raw == o.raw && contact == o.contact; }
    };
    using NamedRange = std::pair<std::vector<NamedRaw>::const_iterator, std::vector<NamedRaw>::const_iterator>;
    struct Orphan {
        bool hasRows = false;  // data rows left
        bool named = false;    // a name row among them
        bool taken = false;
    };

    template <class T>
    static void SortUnique(std::vector<T>& v) {
        std::sort(v.begin(), v.end());
        v.erase(std::unique(v.begin(), v.end()), v.end());
    }
    static bool ByName(const NamedRaw& a, const NamedRaw& b) { return a.name < b.name; }
    static NamedRange Named(const std::vector<NamedRaw>& v, uint32_t name) {
        if (name == kNoName) return {v.end(), v.end()};
        return std::equal_range(v.begin(), v.end(), NamedRaw{name, 0, 0}, ByName);
    }
    static int64_t Lookup(const std::vector<std::pair<int64_t, int64_t>>& v, int64_t key) {
        auto it = std::lower_bound(v.begin(), v.end(), std::make_pair(key, INT64_MIN));
        return it != v.end() && it->first == key ? it->second : 0;
    }

    // The raw contact a contact id points to: its name raw contact, or the same id where the
    // ids run together; 0 when none.
    int64_t Pointed(int64_t contactId) const {
        if (contactId <= 0) return 0;
        const int64_t told = Lookup(nameRawOf_, contactId);
        return told > 0 ? told : idsRunTogether_ ? contactId : 0;
    }
    bool HasRow(int64_t raw) const {
        auto it = std::lower_bound(withRow_.begin(), withRow_.end(), std::make_pair(raw, INT64_MIN));
        return it != withRow_.end() && it->first == raw;
    }
    // The lost raw contact, when it has rows left, is not taken yet and its name rows carry the
    // name or none is left.
    int64_t Take(int64_t raw, uint32_t name) {
        auto found = orphans_.find(raw);
        if (found == orphans_.end()) return 0;
        Orphan& orphan = found->second;
        if (!orphan.hasRows || orphan.taken) return 0;
        if (orphan.named && !std::binary_search(orphanNames_.begin(), orphanNames_.end(), NamedRaw{name, raw, 0}))
            return 0;
        orphan.taken = true;
        return raw;
    }

    std::vector<std::string> names_;  // of the lost rows, sorted
    std::unordered_map<std::string, uint32_t> nameIndex_;
    std::vector<NamedRaw> named_;                         // raw contacts with a row, by name
    std::vector<std::pair<int64_t, int64_t>> withRow_;    // raw contact id, contact id
    std::unordered_map<int64_t, Orphan> orphans_;         // lost raw contacts that may be taken
    std::vector<NamedRaw> orphanNames_;                   // the lost ones' names among names_
    std::vector<std::pair<int64_t, int64_t>> nameRawOf_;  // contact id: its name raw contact
    std::vector<std::pair<int64_t, int64_t>> contactOf_;  // raw contact id: its contact
    bool idsRunTogether_ = false;
};

}  // namespace

std::vector<CRawContactsTableRow*> AdoptLostRawContacts(const JoinSources& sources, JoinData& join) {
    std::vector<CRawContactsTableRow*> ownContacts;
    RowMultimap* raw = sources.rawContacts;
    if (!raw) return ownContacts;
    std::vector<CRawContactsTableRow*> lost;
    for (auto it = raw->begin(); it != raw->end() && it->first <= 0;) {
        auto* row = dynamic_cast<CRawContactsTableRow*>(it->second);
        if (row && !row->live) {
            lost.push_back(row);
            it = raw->erase(it);
        } else {
            ++it;
        }
    }
    if (lost.empty()) return ownContacts;
    // Of two copies of one raw contact the newer stands.
    std::stable_sort(lost.begin(), lost.end(), [](const CRawContactsTableRow* a, const CRawContactsTableRow* b) {
        return a->version > b->version;
    });
    LostRowClues clues(sources, lost);
    auto file = [&](CRawContactsTableRow* row, int64_t id) {
        row->id = id;
        AddRawContactRow(row, *raw);  // an older copy of a filed row goes here
    };
    auto ownContact = [&](CRawContactsTableRow* row) {
        row->id = NextSyntheticRawId(join);
        if (row->contactId <= 0) row->contactId = NextSyntheticContactId(join);
        raw->emplace(row->id, row);
        ownContacts.push_back(row);
    };
    std::set<std::pair<uint32_t, int64_t>> seen;
    std::vector<uint8_t> nameKept(lost.size(), 0);  // by name: a row with a contact id kept
    std::vector<std::pair<CRawContactsTableRow*, uint32_t>> byName, withoutContact;
    for (CRawContactsTableRow* row : lost) {
        const uint32_t name = NameOf(row).empty() ? LostRowClues::kNoName : clues.IndexOf(NameOf(row));
        const int64_t contactId = std::max<int64_t>(row->contactId, 0);
        if (name == LostRowClues::kNoName || !seen.emplace(name, contactId).second) {
            row->Release();
            continue;
        }
        if (contactId == 0) {
            withoutContact.push_back({row, name});
            continue;
        }
        nameKept[name] = 1;
        int64_t id = clues.CopyOf(name, contactId);
        if (!id) id = clues.TakeByContact(name, contactId);
        if (id) file(row, id);
        else byName.push_back({row, name});
    }
    // Ties by a name alone only once every contact id has taken its own.
    for (auto [row, name] : byName) {
        if (int64_t id = clues.TakeByName(name, row->contactId)) file(row, id);
        else ownContact(row);
    }
    for (auto [row, name] : withoutContact) {
        if (nameKept[name]) {
            row->Release();  // a copy of a raw contact of that name kept above
            continue;
        }
        int64_t id = clues.CopyOf(name, 0);
        if (!id) id = clues.TakeByName(name, 0);
        if (id) file(row, id);
        else ownContact(row);
    }
    return ownContacts;
}
