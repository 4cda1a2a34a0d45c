#include "contacts/tables/CDataTableSipAddressRow.h"

bool CDataTableSipAddressRow::Equals(const CTableRow* other) const {
    auto* o = dynamic_cast<const CDataTableSipAddressRow*>(other);
    return o && SameKeys(o) &&
           o->address == address &&
           o->type == type &&
           o->label == label;
}

bool CDataTableSipAddressRow::SameValue(const CDataTableRow* other) const {
    auto* o = dynamic_cast<const CDataTableSipAddressRow*>(other);
    return o && (o->address == address);
}

std::string CDataTableSipAddressRow::ToString() const {
    static const TypeWord kWords[] = {{1, "HOME"}, {3, "WORK"}, {7, "OTHER"}};
    return TypedDisplayText("Internet Call", TypeWordOf(type, label, kWords, sizeof kWords / sizeof kWords[0], true), address);
}
