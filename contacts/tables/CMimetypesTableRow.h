#pragma once
#include <cstdint>
#include <string>

#include "sqlite_recovery/controller/CTableRow.h"
#include "contacts/tables/ContactTableKinds.h"

// A row of the mimetypes table: a mimetype id and the kind of data it names.
class CMimetypesTableRow : public CTableRow {
public:
    CMimetypesTableRow() : CTableRow(kTableMimetypes) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override;

    int32_t dataKind = kDataUnknown;
};
