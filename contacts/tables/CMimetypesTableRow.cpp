#include "contacts/tables/CMimetypesTableRow.h"

bool CMimetypesTableRow::Equals(const CTableRow* other) const {
    auto* o = dynamic_cast<const CMimetypesTableRow*>(other);
    return o && o->id == id && o->dataKind == dataKind;
}

std::string CMimetypesTableRow::ToString() const { return std::string(); }
