#pragma once
#include <cstdint>
#include <string>

#include "contacts/tables/CDataTableRow.h"

// A SIP address row.
class CDataTableSipAddressRow : public CDataTableRow {
public:
    CDataTableSipAddressRow() : CDataTableRow(kDataSipAddress) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override;
    bool SameValue(const CDataTableRow* other) const override;

    std::string address;  // data1
    int32_t type = 0;  // data2, 0..7
    std::string label;  // data3, read for type 0
};
