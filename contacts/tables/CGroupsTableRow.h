#pragma once
#include <cstdint>
#include <string>

#include "sqlite_recovery/controller/CTableRow.h"
#include "contacts/tables/ContactTableKinds.h"

// A row of the groups table (_id).
class CGroupsTableRow : public CTableRow {
public:
    CGroupsTableRow() : CTableRow(kTableGroups) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override;

    int64_t version = 0;
    std::string title;
    int64_t deleted = 0;  // 0 or 1
};
