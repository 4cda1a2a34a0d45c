#pragma once
#include <cstdint>
#include <string>

#include "contacts/tables/CDataTableRow.h"

// A name row (vnd.android.cursor.item/name).
class CDataTableNameRow : public CDataTableRow {
public:
    CDataTableNameRow() : CDataTableRow(kDataName) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override;
    bool SameValue(const CDataTableRow* other) const override;

    std::string displayName;  // data1
    std::string givenName;  // data2
    std::string familyName;  // data3
    std::string prefix;  // data4
    std::string middleName;  // data5
    std::string suffix;  // data6
    std::string phoneticGivenName;  // data7
    std::string phoneticMiddleName;  // data8
    std::string phoneticFamilyName;  // data9
    int32_t fullNameStyle = 0;  // data10, 0..5
    int32_t phoneticNameStyle = 0;  // data11: 0, 3, 4 or 5
};
