#pragma once
#include <cstdint>
#include <string>

#include "contacts/tables/CDataTableRow.h"

// An e-mail address row (email_v2).
class CDataTableEmailV2Row : public CDataTableRow {
public:
    CDataTableEmailV2Row() : CDataTableRow(kDataEmail) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override;
    bool SameValue(const CDataTableRow* other) const override;

    std::string address;  // data1
    int32_t type = 0;  // data2, 0..4
    std::string label;  // data3, read for type 0
    std::string displayName;  // not filled by the builder
};
