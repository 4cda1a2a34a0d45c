#pragma once
#include <cstdint>
#include <string>

#include "sqlite_recovery/controller/CTableRow.h"
#include "contacts/tables/ContactTableKinds.h"

// A row of search_index_content, the full-text index's content table (docid).
class CSearchIndexContentTableRow : public CTableRow {
public:
    CSearchIndexContentTableRow() : CTableRow(kTableSearchIndexContent) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override;

    int64_t contactId = 0;  // c0contact_id
    std::string content;    // c1content: e-mail addresses, IM handles, one per line
    std::string tokens;     // c3tokens: numbers and name tokens, separated by spaces
};
