#pragma once
#include <cstdint>
#include <string>

#include "sqlite_recovery/controller/CTableRow.h"
#include "contacts/tables/ContactTableKinds.h"

// A row of the raw_contacts table (_id): one account's view of a contact.
class CRawContactsTableRow : public CTableRow {
public:
    CRawContactsTableRow() : CTableRow(kTableRawContacts) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override;

    int64_t version = 0;
    int64_t deleted = 0;  // 0 or 1
    int64_t contactId = 0;
    std::string displayName;
    std::string displayNameAlt;
    int32_t sourceKind = 0;  // DisplayNameSourceKind of display_name_source, 0..5
};
