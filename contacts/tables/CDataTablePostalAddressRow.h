#pragma once
#include <cstdint>
#include <string>

#include "contacts/tables/CDataTableRow.h"

// A postal address row (postal-address_v2).
class CDataTablePostalAddressRow : public CDataTableRow {
public:
    CDataTablePostalAddressRow() : CDataTableRow(kDataPostal) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override;
    bool SameValue(const CDataTableRow* other) const override;

    std::string formattedAddress;  // data1
    int32_t type = 0;  // data2, 0..3
    std::string label;  // data3, read for type 0
    std::string street;  // data4
    std::string poBox;  // data5
    std::string neighborhood;  // data6
    std::string city;  // data7
    std::string region;  // data8
    std::string postcode;  // data9
    std::string country;  // data10
};
