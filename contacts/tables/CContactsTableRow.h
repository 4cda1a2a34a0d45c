#pragma once
#include <cstdint>
#include <string>

#include "sqlite_recovery/controller/CTableRow.h"
#include "contacts/tables/ContactTableKinds.h"

// A row of the contacts table (_id): the raw contact that gives the contact its name, and its photo.
class CContactsTableRow : public CTableRow {
public:
    CContactsTableRow() : CTableRow(kTableContacts) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override;

    int64_t nameRawContactId = 0;
    int64_t photoId = 0;
};
