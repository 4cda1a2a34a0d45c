#include "contacts/tables/CContactsTableRow.h"

bool CContactsTableRow::Equals(const CTableRow* other) const {
    auto* o = dynamic_cast<const CContactsTableRow*>(other);
    return o && o->id == id && o->nameRawContactId == nameRawContactId && o->photoId == photoId;
}

std::string CContactsTableRow::ToString() const { return std::string(); }
