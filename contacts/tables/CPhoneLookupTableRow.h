#pragma once
#include <cstdint>
#include <string>

#include "sqlite_recovery/controller/CTableRow.h"
#include "contacts/tables/ContactTableKinds.h"

// A row of the phone_lookup table, keyed by data_id. Both numbers are kept in reading order
// (min_match reversed, normalized_number reversed too on devices that store it reversed).
class CPhoneLookupTableRow : public CTableRow {
public:
    CPhoneLookupTableRow() : CTableRow(kTablePhoneLookup) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override;

    int64_t rawContactId = 0;
    std::string normalizedNumber;
    std::string minMatch;
};
