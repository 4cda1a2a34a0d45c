#pragma once
#include <string>
#include <vector>

#include "contacts/tables/CDataTableRow.h"
#include "contacts/tables/CRawContactsTableRow.h"
#include "sqlite_recovery/controller/CTableAnalyze.h"

// What the parts of the contact join share.

using RowList = std::vector<CTableRow*>;

// The rows of a map that are of the class Row, in key order; none for a null map.
template <class Row>
std::vector<Row*> RowsOf(RowMultimap* map) {
    std::vector<Row*> rows;
    if (!map) return rows;
    rows.reserve(map->size());
    for (auto& entry : *map)
        if (Row* row = dynamic_cast<Row*>(entry.second)) rows.push_back(row);
    return rows;
}

inline CDataTableRow* AsData(CTableRow* row) { return dynamic_cast<CDataTableRow*>(row); }

// The name a raw contact goes by: its display name, else its alternative one.
inline const std::string& NameOf(const CRawContactsTableRow* row) {
    return row->displayName.empty() ? row->displayNameAlt : row->displayName;
}
