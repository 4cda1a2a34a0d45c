#pragma once
#include <cstdint>
#include <string>

#include "contacts/tables/CDataTableRow.h"

// An instant-messaging handle row.
class CDataTableIMRow : public CDataTableRow {
public:
    CDataTableIMRow() : CDataTableRow(kDataIm) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override;
    bool SameValue(const CDataTableRow* other) const override;

    std::string handle;  // data1
    int32_t type = 0;  // data2, -1..8
    std::string label;  // data3, read for type 0
    int32_t protocol = 0;  // data5, -1..8
    std::string customProtocol;  // data6, for protocol -1
};
