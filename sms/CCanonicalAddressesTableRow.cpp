#include "sms/CCanonicalAddressesTableRow.h"

#include "sms/SmsRowAs.h"

bool CCanonicalAddressesTableRow::Equals(const CTableRow* other) const {
    auto* row = SmsRowAs<const CCanonicalAddressesTableRow>(other);
    return row && row->id == id && row->address == address;
}
