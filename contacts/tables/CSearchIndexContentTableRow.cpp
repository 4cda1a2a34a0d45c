#include "contacts/tables/CSearchIndexContentTableRow.h"

bool CSearchIndexContentTableRow::Equals(const CTableRow* other) const {
    auto* o = dynamic_cast<const CSearchIndexContentTableRow*>(other);
    return o && o->id == id && o->contactId == contactId && o->content == content && o->tokens == tokens;
}

std::string CSearchIndexContentTableRow::ToString() const { return std::string(); }
