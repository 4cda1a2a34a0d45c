#include "contacts/tables/ContactTableRules.h"

#include <new>

bool ReadValue(ISQLiteTable* table, int record, int column, bool live, FieldValue* out) {
    *out = FieldValue();
    // Of a deleted record whose later bytes were taken, the value there is only its start: no
    // contact's value.
    return table->GetValue(record, column, live, out) >= 0 && (live || !out->cut);
}

bool ReadInt64(ISQLiteTable* table, int record, int column, bool live, int64_t* out) {
    FieldValue value;
    if (!ReadValue(table, record, column, live, &value)) return false;
    *out = value.ToInt64();
    return true;
}

bool ReadText(ISQLiteTable* table, int record, int column, bool live, std::string* out) {
    FieldValue value;
    if (!ReadValue(table, record, column, live, &value)) return false;
    *out = value.ToText();
    return true;
}

bool FitsIntegerColumn(const FieldValue& value) {
    switch (value.kind) {
    case FieldValue::Null:
    case FieldValue::Constant:
    case FieldValue::SmallInteger:
        return true;
    case FieldValue::WideNumber:
        return !value.isReal;
    default:
        return false;
    }
}

bool FitsTextColumn(const FieldValue& value) {
    return value.kind == FieldValue::Null || value.kind == FieldValue::Text || value.kind == FieldValue::Blob;
}

bool IsDuplicateRow(RowMultimap& rows, const EqualRowIndex* index, const CTableRow* row) {
    CTableRow* equal = nullptr;
    if (index) {
        equal = index->FindEqual(row);
    } else {
        auto range = rows.equal_range(row->id);
        for (auto it = range.first; it != range.second && !equal; ++it)
            if (row->Equals(it->second)) equal = it->second;
    }
    if (!equal) return false;
    equal->live = row->live;
    return true;
}

void AddRow(CTableRow* row, RowMultimap& rows, EqualRowIndex& index) {
    if (IsDuplicateRow(rows, &index, row)) {
        row->Release();
        return;
    }
    rows.emplace(row->id, row);
    index.Add(row);
}

bool IsSupersededRawContact(RowMultimap& rows, EqualRowIndex* index, const CRawContactsTableRow* row) {
    auto range = rows.equal_range(row->id);
    if (range.first == range.second) return false;
    auto remove = [&](RowMultimap::iterator it) {
        if (index) index->Remove(it->second);
        it->second->Release();
        return rows.erase(it);
    };
    if (row->live) {
        for (auto it = range.first; it != range.second;) {
            auto* filed = static_cast<CRawContactsTableRow*>(it->second);
            if (!filed->live && filed->contactId == row->contactId && filed->version <= row->version) {
                it = remove(it);
            } else {
                ++it;
            }
        }
        return false;
    }
    for (auto it = range.first; it != range.second; ++it)
        if (it->second->live) return true;
    for (auto it = range.first; it != range.second;) {
        auto* filed = static_cast<CRawContactsTableRow*>(it->second);
        if (filed->version > row->version) return true;
        it = remove(it);
    }
    return false;
}

void AddRawContactRow(CRawContactsTableRow* row, RowMultimap& rows, EqualRowIndex* index) {
    // A recovered row whose _id went with its cell's first bytes (0) has no identity yet: each is
    // kept, an exact repeat aside, for the join to give it one.
    if (!row->live && row->id <= 0) {
        if (IsDuplicateRow(rows, index, row)) {
            row->Release();
            return;
        }
    } else if (IsSupersededRawContact(rows, index, row)) {
        row->Release();
        return;
    }
    rows.emplace(row->id, row);
    if (index) index->Add(row);
}

CRawContactsTableRow* MakePlaceholderRawContact(int64_t id, int64_t contactId) {
    auto* row = new (std::nothrow) CRawContactsTableRow();
    if (!row) return nullptr;
    row->id = id;
    row->contactId = contactId;
    row->live = 0;
    row->version = 0;
    row->deleted = 1;
    row->sourceKind = 5;
    return row;
}
