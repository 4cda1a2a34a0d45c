#include "contacts/ContactJoin.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <new>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>

#include "contacts/tables/CContactsTableRow.h"
#include "contacts/tables/CDataTableAnalyze.h"
#include "contacts/tables/CDataTableGroupMembershipRow.h"
#include "contacts/tables/CDataTableEmailV2Row.h"
#include "contacts/tables/CDataTableNameRow.h"
#include "contacts/tables/CDataTableSipAddressRow.h"
#include "contacts/tables/CDataTablePhoneV2Row.h"
#include "contacts/tables/CDataTableRow.h"
#include "contacts/tables/CGroupsTableRow.h"
#include "contacts/tables/CPhoneLookupTableRow.h"
#include "contacts/tables/CRawContactsTableRow.h"
#include "contacts/tables/CSearchIndexContentTableRow.h"
#include "contacts/tables/ContactTableKinds.h"
#include "contacts/tables/ContactTableRules.h"
#include "contacts/PhoneNumberMatch.h"

namespace {

// Process-wide, as the made-up ids must not repeat within one process.
int64_t g_syntheticContactId = 0;
int64_t g_syntheticRawId = 0;

using IdMap = std::multimap<int64_t, int64_t>;
using RowList = std::vector<CTableRow*>;

bool HasPair(const IdMap& map, int64_t a, int64_t b) {
    auto range = map.equal_range(a);
    for (auto it = range.first; it != range.second; ++it)
        if (it->second == b) return true;
    return false;
}

void AddPair(IdMap& map, int64_t a, int64_t b) {
    if (!HasPair(map, a, b)) map.emplace(a, b);
}

// Both directions at once.
void Link(JoinData& join, int64_t raw, int64_t contact) {
    AddPair(join.RawToContact, raw, contact);
    AddPair(join.ContactToRaw, contact, raw);
}

template <class Row>
std::vector<Row*> RowsOf(RowMultimap* map) {
    std::vector<Row*> rows;
    if (!map) return rows;
    rows.reserve(map->size());
    for (auto& entry : *map)
        if (Row* row = dynamic_cast<Row*>(entry.second)) rows.push_back(row);
    return rows;
}

CDataTableRow* AsData(CTableRow* row) { return dynamic_cast<CDataTableRow*>(row); }

// A number of one row that is the stored normalized form of the other's (the search index and
// the lookup table keep numbers with their country code but without the '+').
bool SameNumberAcross(const CDataTableRow* x, const CDataTableRow* y) {
    auto* a = dynamic_cast<const CDataTablePhoneV2Row*>(x);
    auto* b = dynamic_cast<const CDataTablePhoneV2Row*>(y);
    if (!a || !b) return false;
    return MatchPhoneNumber(a->number, b->normalizedNumber) || MatchPhoneNumber(a->normalizedNumber, b->number);
}

bool ContainsSameValue(const RowList& list, const CDataTableRow* x) {
    for (CTableRow* row : list) {
        CDataTableRow* data = AsData(row);
        if (data && data->dataKind == x->dataKind && (x->SameValue(data) || SameNumberAcross(x, data))) return true;
    }
    return false;
}

// The main value text of the kinds whose value the search index lists as a plain line.
const std::string* AddressText(const CDataTableRow* row) {
    if (auto* email = dynamic_cast<const CDataTableEmailV2Row*>(row)) return &email->address;
    if (auto* sip = dynamic_cast<const CDataTableSipAddressRow*>(row)) return &sip->address;
    return nullptr;
}

// Whether the list already holds what a row made from the index or the lookup table says. The
// index lists SIP addresses as plain lines, which read as e-mail addresses: such a line is the
// contact's SIP address, not a lost e-mail row.
bool ContainsMadeValue(const RowList& list, const CDataTableRow* made) {
    if (ContainsSameValue(list, made)) return true;
    if (made->dataKind != kDataEmail) return false;
    const std::string* text = AddressText(made);
    for (CTableRow* row : list) {
        CDataTableRow* data = AsData(row);
        const std::string* other = data && data->dataKind == kDataSipAddress ? AddressText(data) : nullptr;
        if (text && other && *text == *other) return true;
    }
    return false;
}

bool ContainsAllValues(const RowList& list, const std::vector<CDataTableRow*>& rows) {
    for (const CDataTableRow* row : rows)
        if (!ContainsMadeValue(list, row)) return false;
    return true;
}

bool HasNameRow(const RowList& list) {
    for (CTableRow* row : list) {
        CDataTableRow* data = AsData(row);
        if (data && data->dataKind == kDataName) return true;
    }
    return false;
}

bool CompareJoinedRows(CTableRow* a, CTableRow* b) {
    CDataTableRow* x = AsData(a);
    CDataTableRow* y = AsData(b);
    if (!x || !y) return false;
    if (x->dataKind != y->dataKind) return x->dataKind < y->dataKind;
    return x->live && !y->live;
}

void ReleaseAll(std::vector<CDataTableRow*>& rows) {
    for (CDataTableRow* row : rows) row->Release();
    rows.clear();
}

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

    static const std::string& NameOf(const CRawContactsTableRow* row) {
        return row->displayName.empty() ? row->displayNameAlt : row->displayName;
    }
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

class Joiner {
public:
    Joiner(const JoinSources& sources, JoinData& join, ContactResultMap& result)
        : sources_(sources), join_(join), result_(result) {}

    ResultCode Run() {
        AdoptLostRawContacts();
        BuildIndexMaps();
        AddRawContactEntries();
        ResultCode rc = AddLostRawContactEntries();
        if (Succeeded(rc)) rc = LinkContactsToRawContacts();
        if (Failed(rc)) return rc;
        AttachGroups();
        if (Failed(rc = JoinDataRows())) return rc;
        if (Failed(rc = JoinSearchIndex())) return rc;
        if (Failed(rc = JoinPhoneLookup())) return rc;
        if (Failed(rc = AddDisplayNameRows())) return rc;
        SortJoinedRows();
        DropDuplicateRows();
        return rc;
    }

private:
    static const std::string& NameOf(const CRawContactsTableRow* row) {
        return row->displayName.empty() ? row->displayNameAlt : row->displayName;
    }

    // A name row made from a raw contact's display name.
    static CDataTableNameRow* MakeNameRow(int64_t rawId, const std::string& name) {
        CDataTableNameRow* made = new (std::nothrow) CDataTableNameRow();
        if (!made) return nullptr;
        made->live = 0;
        made->id = 0;
        made->rawContactId = rawId;
        made->dataVersion = 0;
        made->displayName = name;
        return made;
    }

    // Recovered raw_contacts rows whose _id went with their cell's first bytes read 0. Names repeat
    // among contacts, so a row's contact id tells first who it is (see LostRowClues); a row that
    // is no one else is a deleted contact of its own under a made-up id. A row without a contact
    // id is kept by its name alone, once a name.
    void AdoptLostRawContacts() {
        RowMultimap* raw = sources_.rawContacts;
        if (!raw) return;
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
        if (lost.empty()) return;
        // Of two copies of one raw contact the newer stands.
        std::stable_sort(lost.begin(), lost.end(), [](const CRawContactsTableRow* a, const CRawContactsTableRow* b) {
            return a->version > b->version;
        });
        LostRowClues clues(sources_, lost);
        auto file = [&](CRawContactsTableRow* row, int64_t id) {
            row->id = id;
            AddRawContactRow(row, *raw);  // an older copy of a filed row goes here
        };
        auto ownContact = [&](CRawContactsTableRow* row) {
            row->id = NextSyntheticRawId(join_);
            if (row->contactId <= 0) row->contactId = NextSyntheticContactId(join_);
            raw->emplace(row->id, row);
            ownContacts_.push_back(row);
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
    }

    // The entries of the raw contacts that are contacts of their own, named by their display name.
    ResultCode AddLostRawContactEntries() {
        for (CRawContactsTableRow* row : ownContacts_) {
            Link(join_, row->id, row->contactId);
            join_.RawContactRows.emplace(row->id, row);
            CDataTableNameRow* name = MakeNameRow(row->id, NameOf(row));
            if (!name) return RK_FAIL(RK_E_FAIL);
            std::vector<CDataTableRow*> rows{name};
            AddCreatedRows(result_[row], rows);
        }
        return RK_OK;
    }

    void BuildIndexMaps() {
        join_.RawToContact.clear();
        join_.ContactToRaw.clear();
        for (CContactsTableRow* row : RowsOf<CContactsTableRow>(sources_.contacts))
            if (row->id > 0 && row->nameRawContactId > 0) Link(join_, row->nameRawContactId, row->id);
        for (CRawContactsTableRow* row : RowsOf<CRawContactsTableRow>(sources_.rawContacts))
            if (row->id > 0 && row->contactId > 0) Link(join_, row->id, row->contactId);
        for (int m = 0; m < CTableAnalyze::kRowMapCount; ++m)
            for (CDataTableRow* row : RowsOf<CDataTableRow>(sources_.data[m]))
                if (row->rawContactId > 0 && join_.RawToContact.count(row->rawContactId) == 0)
                    Link(join_, row->rawContactId, NextSyntheticContactId(join_));
        for (CSearchIndexContentTableRow* row : RowsOf<CSearchIndexContentTableRow>(sources_.searchIndex))
            if (row->live && row->contactId > 0 && join_.ContactToRaw.count(row->contactId) == 0)
                Link(join_, NextSyntheticRawId(join_), row->contactId);
        for (CPhoneLookupTableRow* row : RowsOf<CPhoneLookupTableRow>(sources_.phoneLookup))
            if (row->live && row->rawContactId > 0 && join_.RawToContact.count(row->rawContactId) == 0)
                Link(join_, row->rawContactId, NextSyntheticContactId(join_));
    }

    // Every raw contact with an id, also one not yet in a contact (contact_id NULL, as a new or
    // imported one is until it is aggregated): its data rows are its own, not a lost one's.
    void AddRawContactEntries() {
        for (CRawContactsTableRow* row : RowsOf<CRawContactsTableRow>(sources_.rawContacts)) {
            if (row->id <= 0) continue;
            result_[row];
            join_.RawContactRows.emplace(row->id, row);
        }
    }

    // A stand-in for raw contact rawId of contact contactId, holding row when one is given.
    CRawContactsTableRow* AddPlaceholderContact(int64_t contactId, int64_t rawId, CTableRow* row) {
        CRawContactsTableRow* placeholder = MakePlaceholderRawContact(rawId, contactId);
        if (!placeholder) return nullptr;
        join_.PlaceholderRows.emplace(rawId, placeholder);
        RowList& list = result_[placeholder];
        if (row) list.push_back(row);
        join_.RawContactRows.emplace(rawId, placeholder);
        return placeholder;
    }

    RowList* EntryOf(CTableRow* key) {
        auto found = result_.find(key);
        return found == result_.end() ? nullptr : &found->second;
    }

    // The raw contacts under an id that have an entry (a copy: the caller may add more).
    std::vector<CRawContactsTableRow*> RawRowsUnder(int64_t rawId) {
        std::vector<CRawContactsTableRow*> rows;
        auto range = join_.RawContactRows.equal_range(rawId);
        for (auto it = range.first; it != range.second; ++it)
            if (EntryOf(it->second)) rows.push_back(it->second);
        return rows;
    }

    std::vector<int64_t> ValuesUnder(const IdMap& map, int64_t key) {
        std::vector<int64_t> values;
        auto range = map.equal_range(key);
        for (auto it = range.first; it != range.second; ++it) values.push_back(it->second);
        return values;
    }

    static void AddJoinedRow(CDataTableRow* x, RowList& list) {
        if (x->live) {
            list.erase(std::remove_if(list.begin(), list.end(),
                                      [x](CTableRow* row) {
                                          CDataTableRow* data = AsData(row);
                                          return data && !data->live && data->dataKind == x->dataKind &&
                                                 x->SameValue(data);
                                      }),
                       list.end());
        }
        if (!ContainsSameValue(list, x)) list.push_back(x);
    }

    // Takes the made rows: each is kept in the list (and owned here) or released.
    void AddCreatedRows(RowList& list, std::vector<CDataTableRow*>& rows) {
        for (CDataTableRow* row : rows) {
            if (ContainsMadeValue(list, row)) {
                row->Release();
                continue;
            }
            list.push_back(row);
            join_.CreatedRows.emplace(row->rawContactId, row);
        }
        rows.clear();
    }

    ResultCode LinkContactsToRawContacts() {
        for (CContactsTableRow* row : RowsOf<CContactsTableRow>(sources_.contacts)) {
            if (row->id <= 0 || row->nameRawContactId <= 0) continue;
            if (join_.RawContactRows.count(row->nameRawContactId) != 0) continue;
            if (!AddPlaceholderContact(row->id, row->nameRawContactId, nullptr)) return RK_FAIL(RK_E_FAIL);
        }
        return RK_OK;
    }

    void AttachGroups() {
        RowMultimap* memberships = sources_.data[CDataTableAnalyze::RowMapOfKind(kDataGroupMembership)];
        for (CDataTableGroupMembershipRow* row : RowsOf<CDataTableGroupMembershipRow>(memberships)) {
            row->groups.clear();
            if (row->groupRowId.empty() || !sources_.groups) continue;
            int64_t g = ParseDecimalInt64(row->groupRowId);
            auto range = sources_.groups->equal_range(g);
            for (auto it = range.first; it != range.second; ++it) {
                CGroupsTableRow* group = dynamic_cast<CGroupsTableRow*>(it->second);
                if (group && group->live) row->groups.push_back(group);
            }
        }
    }

    ResultCode JoinDataRows() {
        for (int m = 0; m < CTableAnalyze::kRowMapCount; ++m) {
            for (CDataTableRow* row : RowsOf<CDataTableRow>(sources_.data[m])) {
                int64_t raw = row->rawContactId;
                if (raw <= 0) {
                    // A row that names no raw contact is a contact of its own.
                    if (!AddPlaceholderContact(NextSyntheticContactId(join_), raw, row)) return RK_FAIL(RK_E_FAIL);
                    continue;
                }
                if (join_.RawContactRows.count(raw) != 0) {
                    for (CRawContactsTableRow* owner : RawRowsUnder(raw)) AddJoinedRow(row, *EntryOf(owner));
                    continue;
                }
                for (int64_t contact : ValuesUnder(join_.RawToContact, raw))
                    if (!AddPlaceholderContact(contact, raw, row)) return RK_FAIL(RK_E_FAIL);
            }
        }
        return RK_OK;
    }

    ResultCode JoinSearchIndex() {
        for (CSearchIndexContentTableRow* row : RowsOf<CSearchIndexContentTableRow>(sources_.searchIndex)) {
            if (!row->live) continue;
            std::vector<CDataTableRow*> a, b;
            ResultCode rc = RK_OK;
            if (!row->content.empty()) rc = ParseSearchContentRows(row->content, a);
            if (Succeeded(rc) && !row->tokens.empty()) rc = ParseSearchTokenRows(row->tokens, b);
            if (Failed(rc)) {
                ReleaseAll(a);
                ReleaseAll(b);
                return rc;
            }
            if (a.empty() && b.empty()) continue;

            if (row->contactId > 0) {
                RowList joined;
                CRawContactsTableRow* target = nullptr;
                for (int64_t r : ValuesUnder(join_.ContactToRaw, row->contactId)) {
                    if (join_.RawContactRows.count(r) == 0 && !AddPlaceholderContact(row->contactId, r, nullptr)) {
                        ReleaseAll(a);
                        ReleaseAll(b);
                        return RK_FAIL(RK_E_FAIL);
                    }
                    for (CRawContactsTableRow* raw : RawRowsUnder(r)) {
                        const RowList& list = *EntryOf(raw);
                        joined.insert(joined.end(), list.begin(), list.end());
                        // The first raw contact, unless a recovered or deleted one follows a live one.
                        if (!target || (target->live && target->deleted == 0 && (!raw->live || raw->deleted != 0)))
                            target = raw;
                    }
                }
                bool aPresent = a.empty() || ContainsAllValues(joined, a);
                bool bPresent = b.empty() || ContainsAllValues(joined, b);
                RowList* list = target ? EntryOf(target) : nullptr;
                if (list && !aPresent) AddCreatedRows(*list, a);
                if (list && !bPresent) AddCreatedRows(*list, b);
            } else {
                CRawContactsTableRow* target = AddPlaceholderContact(row->contactId, NextSyntheticRawId(join_), nullptr);
                RowList* list = target ? EntryOf(target) : nullptr;
                if (!list) {
                    ReleaseAll(a);
                    ReleaseAll(b);
                    return RK_FAIL(RK_E_FAIL);
                }
                if (!row->content.empty()) AddCreatedRows(*list, a);
                if (!row->tokens.empty()) AddCreatedRows(*list, b);
            }
            // What was already there is not kept twice.
            ReleaseAll(a);
            ReleaseAll(b);
        }
        return RK_OK;
    }

    ResultCode AddLookupPhone(RowList& list, const CPhoneLookupTableRow* row) {
        if (row->normalizedNumber.empty()) return RK_OK;
        std::vector<CDataTableRow*> made;
        ResultCode rc = MakePhoneRowFromLookup(made, row->normalizedNumber, row->rawContactId);
        if (Failed(rc)) {
            ReleaseAll(made);
            return rc;
        }
        AddCreatedRows(list, made);
        return RK_OK;
    }

    ResultCode JoinPhoneLookup() {
        for (CPhoneLookupTableRow* row : RowsOf<CPhoneLookupTableRow>(sources_.phoneLookup)) {
            if (!row->live) continue;
            int64_t raw = row->rawContactId;
            if (raw > 0) {
                for (int64_t contact : ValuesUnder(join_.RawToContact, raw)) {
                    if (join_.RawContactRows.count(raw) == 0 && !AddPlaceholderContact(contact, raw, nullptr))
                        return RK_FAIL(RK_E_FAIL);
                    for (CRawContactsTableRow* owner : RawRowsUnder(raw)) {
                        ResultCode rc = AddLookupPhone(*EntryOf(owner), row);
                        if (Failed(rc)) return rc;
                    }
                }
            } else {
                CRawContactsTableRow* target = AddPlaceholderContact(NextSyntheticContactId(join_), raw, nullptr);
                RowList* list = target ? EntryOf(target) : nullptr;
                if (!list) return RK_FAIL(RK_E_FAIL);
                ResultCode rc = AddLookupPhone(*list, row);
                if (Failed(rc)) return rc;
            }
        }
        return RK_OK;
    }

    ResultCode AddDisplayNameRows() {
        ResultCode result = RK_OK;
        for (CRawContactsTableRow* x : RowsOf<CRawContactsTableRow>(sources_.rawContacts)) {
            if (x->sourceKind != 5 || x->id <= 0) continue;
            const std::string& name = x->displayName.empty() ? x->displayNameAlt : x->displayName;
            if (name.empty()) continue;
            for (CRawContactsTableRow* r : RawRowsUnder(x->id)) {
                if (r->contactId != x->contactId) continue;
                RowList& list = *EntryOf(r);
                if (list.empty() || HasNameRow(list)) continue;
                CDataTableNameRow* made = MakeNameRow(x->id, name);
                if (!made) {
                    result = RK_FAIL(RK_E_FAIL);
                    continue;
                }
                std::vector<CDataTableRow*> rows{made};
                AddCreatedRows(list, rows);
            }
        }
        return result;
    }

    void SortJoinedRows() {
        for (auto& entry : result_)
            if (entry.second.size() >= 2) std::stable_sort(entry.second.begin(), entry.second.end(), CompareJoinedRows);
    }

    void DropDuplicateRows() {
        for (auto& entry : result_) {
            RowList& list = entry.second;
            if (list.empty()) continue;
            CRawContactsTableRow* key = dynamic_cast<CRawContactsTableRow*>(entry.first);
            bool keyLive = key && key->live && key->deleted == 0;
            std::vector<CDataTableRow*> kept;
            int32_t kind = -1;
            RowList out;
            out.reserve(list.size());
            for (CTableRow* row : list) {
                CDataTableRow* x = AsData(row);
                if (!x) {
                    out.push_back(row);
                    continue;
                }
                if (x->dataKind != kind) {
                    kept.clear();
                    kind = x->dataKind;
                }
                bool keep = keyLive && x->live;
                if (!keep) {
                    keep = std::none_of(kept.begin(), kept.end(), [x](CDataTableRow* s) { return x->SameValue(s); });
                }
                if (keep) {
                    kept.push_back(x);
                    out.push_back(row);
                }
            }
            list.swap(out);
        }
    }

    const JoinSources& sources_;
    JoinData& join_;
    ContactResultMap& result_;
    std::vector<CRawContactsTableRow*> ownContacts_;  // lost raw contacts that are contacts of their own
};

}  // namespace

JoinData::~JoinData() {
    for (auto& entry : PlaceholderRows) entry.second->Release();
    for (auto& entry : CreatedRows) entry.second->Release();
}

int64_t NextSyntheticContactId(const JoinData& join) {
    do {
        --g_syntheticContactId;
    } while (join.ContactToRaw.count(g_syntheticContactId) != 0);
    return g_syntheticContactId;
}

int64_t NextSyntheticRawId(const JoinData& join) {
    do {
        --g_syntheticRawId;
    } while (join.RawToContact.count(g_syntheticRawId) != 0);
    return g_syntheticRawId;
}

ResultCode JoinContactRows(const JoinSources& sources, JoinData& join, ContactResultMap& result) {
    return Joiner(sources, join, result).Run();
}
