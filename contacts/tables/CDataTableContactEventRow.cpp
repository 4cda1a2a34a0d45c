#include "contacts/tables/CDataTableContactEventRow.h"

bool CDataTableContactEventRow::Equals(const CTableRow* other) const {
    auto* o = dynamic_cast<const CDataTableContactEventRow*>(other);
    return o && SameKeys(o) &&
           o->date == date &&
           o->type == type &&
           o->label == label;
}

bool CDataTableContactEventRow::SameValue(const CDataTableRow* other) const {
    auto* o = dynamic_cast<const CDataTableContactEventRow*>(other);
    return o && (o->date == date);
}

std::string CDataTableContactEventRow::ToString() const {
    static const TypeWord kWords[] = {{1, "ANNIVERSARY"}, {2, "OTHER"}, {3, "BIRTHDAY"}};
    return TypedDisplayText("Event", TypeWordOf(type, label, kWords, sizeof kWords / sizeof kWords[0], true), date);
}
