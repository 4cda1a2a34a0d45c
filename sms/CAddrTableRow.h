#pragma once
#include <string>

#include "sqlite_recovery/controller/CTableRow.h"
#include "sms/SmsTableKinds.h"

class CAddrTableRow : public CTableRow {
public:
    // The kind of its rows, which no other class gives (see SmsRowAs).
    static constexpr int32_t kKind = kAddrKind;
    CAddrTableRow() : CTableRow(kKind) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override { return std::string(); }

    int64_t messageId = 0;
    int64_t contactId = 0;
    std::string address;
    int type = 0;  // 129 bcc, 130 cc, 137 from, 151 to
    int64_t charset = 0;
};
