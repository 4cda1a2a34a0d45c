#include "contacts/tables/ContactTableRules.h"

#include <new>

bool ReadValue(ISQLiteTable* table, int record, int column, bool live, FieldValue* out) {
    *out = FieldValue();
    return table->GetValue(record, column, live, out) >= 0;
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

bool IsDuplicateRow(RowMultimap& rows, const CTableRow* row) {
    auto range = rows.equal_range(row->id);
    for (auto it = range.first; it != range.second; ++it) {
        if (row->Equals(it->second)) {
            it->second->live = row->live;
            return true;
        }
    }
    return false;
}

void AddRow(CTableRow* row, RowMultimap& rows) {
    if (IsDuplicateRow(rows, row)) {
        row->Release();
        return;
    }
    rows.emplace(row->id, row);
}

bool IsSupersededRawContact(RowMultimap& rows, const CRawContactsTableRow* row) {
    auto range = rows.equal_range(row->id);
    if (range.first == range.second) return false;
    if (row->live) {
        for (auto it = range.first; it != range.second;) {
            auto* filed = static_cast<CRawContactsTableRow*>(it->second);
            if (!filed->live && filed->contactId == row->contactId && filed->version <= row->version) {
                filed->Release();
                it = rows.erase(it);
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
        filed->Release();
        it = rows.erase(it);
    }
    return false;
}

void AddRawContactRow(CRawContactsTableRow* row, RowMultimap& rows) {
    // A recovered row whose _id went with its cell's first bytes (0) has no identity yet: each is
    // kept, an exact repeat aside, for the join to give it one.
    if (!row->live && row->id <= 0) {
        if (IsDuplicateRow(rows, row)) row->Release();
        else rows.emplace(row->id, row);
        return;
    }
    if (IsSupersededRawContact(rows, row)) {
        row->Release();
        return;
    }
    rows.emplace(row->id, row);
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
