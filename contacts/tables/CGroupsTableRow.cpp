#include "contacts/tables/CGroupsTableRow.h"

bool CGroupsTableRow::Equals(const CTableRow* other) const {
    auto* o = dynamic_cast<const CGroupsTableRow*>(other);
    return o && o->id == id && o->version == version && o->title == title && o->deleted == deleted;
}

std::string CGroupsTableRow::ToString() const { return title; }
