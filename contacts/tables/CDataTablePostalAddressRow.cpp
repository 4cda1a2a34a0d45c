#include "contacts/tables/CDataTablePostalAddressRow.h"

bool CDataTablePostalAddressRow::Equals(const CTableRow* other) const {
    auto* o = dynamic_cast<const CDataTablePostalAddressRow*>(other);
    return o && SameKeys(o) &&
           o->formattedAddress == formattedAddress &&
           o->type == type &&
           o->label == label &&
           o->street == street &&
           o->poBox == poBox &&
           o->neighborhood == neighborhood &&
           o->city == city &&
           o->region == region &&
           o->postcode == postcode &&
           o->country == country;
}

bool CDataTablePostalAddressRow::SameValue(const CDataTableRow* other) const {
    auto* o = dynamic_cast<const CDataTablePostalAddressRow*>(other);
    return o && (o->formattedAddress == formattedAddress);
}

std::string CDataTablePostalAddressRow::ToString() const {
    return "Postal Address:" + formattedAddress;
}
