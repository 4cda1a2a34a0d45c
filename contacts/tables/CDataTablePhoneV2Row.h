#pragma once
#include <cstdint>
#include <string>

#include "contacts/tables/CDataTableRow.h"

// A phone number row (phone_v2).
class CDataTablePhoneV2Row : public CDataTableRow {
public:
    CDataTablePhoneV2Row() : CDataTableRow(kDataPhone) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override;
    bool SameValue(const CDataTableRow* other) const override;

    std::string number;  // data1
    int32_t type = 0;  // data2, 0..20
    std::string label;  // data3, read for type 0
    std::string normalizedNumber;  // data4, in reading order
};
