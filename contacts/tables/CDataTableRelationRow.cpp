#include "contacts/tables/CDataTableRelationRow.h"

bool CDataTableRelationRow::Equals(const CTableRow* other) const {
    auto* o = dynamic_cast<const CDataTableRelationRow*>(other);
    return o && SameKeys(o) &&
           o->name == name &&
           o->type == type &&
           o->label == label;
}

bool CDataTableRelationRow::SameValue(const CDataTableRow* other) const {
    auto* o = dynamic_cast<const CDataTableRelationRow*>(other);
    return o && (o->name == name);
}

std::string CDataTableRelationRow::ToString() const {
    static const TypeWord kWords[] = {{1, "ASSISTANT"}, {2, "BROTHER"}, {3, "CHILD"}, {4, "DOMESTIC_PARTNER"}, {5, "FATHER"}, {6, "FRIEND"}, {7, "MANAGER"}, {8, "MOTHER"}, {9, "PARENT"}, {10, "PARTNER"}, {11, "REFERRED_BY"}, {12, "RELATIVE"}, {13, "SISTER"}, {14, "SPOUSE"}};
    return TypedDisplayText("Relation", TypeWordOf(type, label, kWords, sizeof kWords / sizeof kWords[0], true), name);
}
