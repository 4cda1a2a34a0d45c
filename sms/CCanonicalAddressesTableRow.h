#pragma once
#include <string>

#include "sqlite_recovery/controller/CTableRow.h"
#include "sms/SmsTableKinds.h"

class CCanonicalAddressesTableRow : public CTableRow {
public:
    // The kind of its rows, which no other class gives (see SmsRowAs).
    static constexpr int32_t kKind = kCanonicalAddressesKind;
    CCanonicalAddressesTableRow() : CTableRow(kKind) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override { return std::string(); }

    std::string address;
};
