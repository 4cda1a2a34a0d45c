#include "contacts/tables/CRawContactsTableRow.h"

bool CRawContactsTableRow::Equals(const CTableRow* other) const {
    auto* o = dynamic_cast<const CRawContactsTableRow*>(other);
    return o && o->id == id && o->version == version && o->deleted == deleted && o->contactId == contactId &&
           o->displayName == displayName && o->displayNameAlt == displayNameAlt && o->sourceKind == sourceKind;
}

std::string CRawContactsTableRow::ToString() const { return displayName; }
