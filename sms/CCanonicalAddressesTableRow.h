#pragma once
#include <string>

#include "sqlite_recovery/controller/CTableRow.h"
#include "sms/SmsTableKinds.h"

class CCanonicalAddressesTableRow : public CTableRow {
public:
    CCanonicalAddressesTableRow() : CTableRow(kCanonicalAddressesKind) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override { return std::string(); }

    std::string address;
};
