#include "contacts/tables/CPhoneLookupTableRow.h"

bool CPhoneLookupTableRow::Equals(const CTableRow* other) const {
    auto* o = dynamic_cast<const CPhoneLookupTableRow*>(other);
    return o && o->id == id && o->rawContactId == rawContactId && o->normalizedNumber == normalizedNumber &&
           o->minMatch == minMatch;
}

std::string CPhoneLookupTableRow::ToString() const { return normalizedNumber; }
