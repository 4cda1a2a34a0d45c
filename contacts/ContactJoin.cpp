#include "contacts/ContactJoin.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <new>
#include <string>
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
#include "contacts/JoinRows.h"
#include "contacts/LiveRowCopies.h"
#include "contacts/LostRawContacts.h"
#include "contacts/PhoneNumberMatch.h"

namespace {

// Process-wide, as the made-up ids must not repeat within one process.
int64_t g_syntheticContactId = 0;
int64_t g_syntheticRawId = 0;

using IdMap = std::multimap<int64_t, int64_t>;

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


class Joiner {
public:
    Joiner(const JoinSources& sources, JoinData& join, ContactResultMap& result)
        : sources_(sources), join_(join), result_(result) {}

    ResultCode Run() {
        ownContacts_ = AdoptLostRawContacts(sources_, join_);
        ClaimCopiesOfLiveRows(sources_);
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

    // A raw contact whose name row is gone is named by its display name: one of source kind 5 (the
    // name row's own) when other rows of it are left; a live, undeleted one also with nothing left
    // (that row is as live as the raw contact: a lost page took the data rows, not the contact).
    ResultCode AddDisplayNameRows() {
        ResultCode result = RK_OK;
        for (CRawContactsTableRow* x : RowsOf<CRawContactsTableRow>(sources_.rawContacts)) {
            const bool live = x->live && x->deleted == 0;
            if ((x->sourceKind != 5 && !live) || x->id <= 0) continue;
            const std::string& name = NameOf(x);
            if (name.empty()) continue;
            for (CRawContactsTableRow* r : RawRowsUnder(x->id)) {
                if (r->contactId != x->contactId) continue;
                RowList& list = *EntryOf(r);
                if ((list.empty() && !live) || (!list.empty() && x->sourceKind != 5) || HasNameRow(list)) continue;
                CDataTableNameRow* made = MakeNameRow(x->id, name);
                if (!made) {
                    result = RK_FAIL(RK_E_FAIL);
                    continue;
                }
                made->live = live && r == x ? 1 : 0;
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
