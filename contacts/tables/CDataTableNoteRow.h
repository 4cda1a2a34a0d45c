#pragma once
#include <cstdint>
#include <string>

#include "contacts/tables/CDataTableRow.h"

// A note row.
class CDataTableNoteRow : public CDataTableRow {
public:
    CDataTableNoteRow() : CDataTableRow(kDataNote) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override;
    bool SameValue(const CDataTableRow* other) const override;

    std::string note;  // data1
};
