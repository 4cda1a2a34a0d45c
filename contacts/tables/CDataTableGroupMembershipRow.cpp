#include "contacts/tables/CDataTableGroupMembershipRow.h"

bool CDataTableGroupMembershipRow::Equals(const CTableRow* other) const {
    auto* o = dynamic_cast<const CDataTableGroupMembershipRow*>(other);
    return o && SameKeys(o) &&
           o->groupRowId == groupRowId;
}

bool CDataTableGroupMembershipRow::SameValue(const CDataTableRow* other) const {
    auto* o = dynamic_cast<const CDataTableGroupMembershipRow*>(other);
    return o && (o->groupRowId == groupRowId);
}

std::string CDataTableGroupMembershipRow::ToString() const {
    return "Group Membership:" + groupRowId;
}
