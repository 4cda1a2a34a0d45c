#pragma once
#include <cstdint>
#include <string>

#include "contacts/tables/CDataTableRow.h"

// A contact event row (birthday, anniversary).
class CDataTableContactEventRow : public CDataTableRow {
public:
    CDataTableContactEventRow() : CDataTableRow(kDataContactEvent) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override;
    bool SameValue(const CDataTableRow* other) const override;

    std::string date;  // data1
    int32_t type = 0;  // data2, 0..3
    std::string label;  // data3, read for type 0
};
