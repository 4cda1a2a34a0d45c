#pragma once
#include <cstdint>
#include <string>

#include "contacts/tables/CDataTableRow.h"

// A relation row (built and checked, but not filed).
class CDataTableRelationRow : public CDataTableRow {
public:
    CDataTableRelationRow() : CDataTableRow(kDataRelation) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override;
    bool SameValue(const CDataTableRow* other) const override;

    std::string name;  // data1
    int32_t type = 0;  // data2, 0..14
    std::string label;  // data3, read for type 0
};
