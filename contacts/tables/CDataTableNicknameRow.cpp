#include "contacts/tables/CDataTableNicknameRow.h"

bool CDataTableNicknameRow::Equals(const CTableRow* other) const {
    auto* o = dynamic_cast<const CDataTableNicknameRow*>(other);
    return o && SameKeys(o) &&
           o->name == name &&
           o->type == type &&
           o->label == label;
}

bool CDataTableNicknameRow::SameValue(const CDataTableRow* other) const {
    auto* o = dynamic_cast<const CDataTableNicknameRow*>(other);
    return o && (o->name == name);
}

std::string CDataTableNicknameRow::ToString() const {
    static const TypeWord kWords[] = {{1, "DEFAULT"}, {2, "OTHER"}, {3, "MAIDEN"}, {4, "SHORT"}, {5, "INITIALS"}};
    return TypedDisplayText("Nickname", TypeWordOf(type, label, kWords, sizeof kWords / sizeof kWords[0], true), name);
}
