#pragma once
#include <string>

#include "CTableRow.h"
#include "SmsTableKinds.h"

class CCanonicalAddressesTableRow : public CTableRow {
public:
    CCanonicalAddressesTableRow() : CTableRow(kCanonicalAddressesKind) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override { return std::string(); }

    std::string address;
};
