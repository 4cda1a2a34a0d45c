#pragma once
#include <cstdint>
#include <string>

#include "contacts/tables/CDataTableRow.h"

// A website row.
class CDataTableWebsiteRow : public CDataTableRow {
public:
    CDataTableWebsiteRow() : CDataTableRow(kDataWebsite) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override;
    bool SameValue(const CDataTableRow* other) const override;

    std::string url;  // data1
    int32_t type = 0;  // data2, 0..7
    std::string label;  // data3, read for type 0
};
