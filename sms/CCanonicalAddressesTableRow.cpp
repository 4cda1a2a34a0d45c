#include "sms/CCanonicalAddressesTableRow.h"

bool CCanonicalAddressesTableRow::Equals(const CTableRow* other) const {
    auto* row = dynamic_cast<const CCanonicalAddressesTableRow*>(other);
    return row && row->id == id && row->address == address;
}
