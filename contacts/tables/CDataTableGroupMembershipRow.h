#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "contacts/tables/CDataTableRow.h"

class CGroupsTableRow;

// A group membership row: the groups row id as text (data1) and the live groups rows the join
// attaches (not owned).
class CDataTableGroupMembershipRow : public CDataTableRow {
public:
    CDataTableGroupMembershipRow() : CDataTableRow(kDataGroupMembership) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override;
    bool SameValue(const CDataTableRow* other) const override;

    std::string groupRowId;  // data1: 1 to 10 digits
    std::vector<CGroupsTableRow*> groups;  // filled by the join
};
