#include "contacts/tables/CDataTableNoteRow.h"

bool CDataTableNoteRow::Equals(const CTableRow* other) const {
    auto* o = dynamic_cast<const CDataTableNoteRow*>(other);
    return o && SameKeys(o) &&
           o->note == note;
}

bool CDataTableNoteRow::SameValue(const CDataTableRow* other) const {
    auto* o = dynamic_cast<const CDataTableNoteRow*>(other);
    return o && (o->note == note);
}

std::string CDataTableNoteRow::ToString() const {
    return "Note" + std::string(":") + note;
}
