#include "contacts/tables/CDataTableEmailV2Row.h"

bool CDataTableEmailV2Row::Equals(const CTableRow* other) const {
    auto* o = dynamic_cast<const CDataTableEmailV2Row*>(other);
    return o && SameKeys(o) &&
           o->address == address &&
           o->type == type &&
           o->label == label &&
           o->displayName == displayName;
}

bool CDataTableEmailV2Row::SameValue(const CDataTableRow* other) const {
    auto* o = dynamic_cast<const CDataTableEmailV2Row*>(other);
    return o && (o->address == address);
}

std::string CDataTableEmailV2Row::ToString() const {
    static const TypeWord kWords[] = {{1, "HOME"}, {2, "WORK"}, {3, "OTHER"}, {4, "MOBILE"}};
    return TypedDisplayText("Email", TypeWordOf(type, label, kWords, sizeof kWords / sizeof kWords[0], false), address);
}
