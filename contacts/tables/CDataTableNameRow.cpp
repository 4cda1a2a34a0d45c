#include "contacts/tables/CDataTableNameRow.h"

bool CDataTableNameRow::Equals(const CTableRow* other) const {
    auto* o = dynamic_cast<const CDataTableNameRow*>(other);
    return o && SameKeys(o) &&
           o->displayName == displayName &&
           o->givenName == givenName &&
           o->familyName == familyName &&
           o->prefix == prefix &&
           o->middleName == middleName &&
           o->suffix == suffix &&
           o->phoneticGivenName == phoneticGivenName &&
           o->phoneticMiddleName == phoneticMiddleName &&
           o->phoneticFamilyName == phoneticFamilyName &&
           o->fullNameStyle == fullNameStyle &&
           o->phoneticNameStyle == phoneticNameStyle;
}

bool CDataTableNameRow::SameValue(const CDataTableRow* other) const {
    auto* o = dynamic_cast<const CDataTableNameRow*>(other);
    return o && (o->displayName == displayName);
}

std::string CDataTableNameRow::ToString() const {
    return "Name:" + displayName;
}
