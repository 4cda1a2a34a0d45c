#pragma once
#include <cstdint>
#include <string>

#include "contacts/tables/CDataTableRow.h"

// A nickname row.
class CDataTableNicknameRow : public CDataTableRow {
public:
    CDataTableNicknameRow() : CDataTableRow(kDataNickname) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override;
    bool SameValue(const CDataTableRow* other) const override;

    std::string name;  // data1
    int32_t type = 0;  // data2, 0..5
    std::string label;  // data3, read for type 0
};
