#pragma once
#include <cstdint>
#include <string>

#include "contacts/tables/CDataTableRow.h"

// An organization row.
class CDataTableOrganizationRow : public CDataTableRow {
public:
    CDataTableOrganizationRow() : CDataTableRow(kDataOrganization) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override;
    bool SameValue(const CDataTableRow* other) const override;

    std::string company;  // data1
    int32_t type = 0;  // data2, 0..2
    std::string label;  // data3, read for type 0
    std::string title;  // data4
    std::string department;  // data5
    std::string jobDescription;  // data6
    std::string symbol;  // data7
    std::string phoneticName;  // data8
    std::string officeLocation;  // data9
    int32_t phoneticNameStyle = 0;  // data10: 0, 3, 4 or 5
};
