#include "contacts/tables/CDataTableOrganizationRow.h"

bool CDataTableOrganizationRow::Equals(const CTableRow* other) const {
    auto* o = dynamic_cast<const CDataTableOrganizationRow*>(other);
    return o && SameKeys(o) &&
           o->company == company &&
           o->type == type &&
           o->label == label &&
           o->title == title &&
           o->department == department &&
           o->jobDescription == jobDescription &&
           o->symbol == symbol &&
           o->phoneticName == phoneticName &&
           o->officeLocation == officeLocation &&
           o->phoneticNameStyle == phoneticNameStyle;
}

bool CDataTableOrganizationRow::SameValue(const CDataTableRow* other) const {
    auto* o = dynamic_cast<const CDataTableOrganizationRow*>(other);
    return o && (o->company == company);
}

std::string CDataTableOrganizationRow::ToString() const {
    static const TypeWord kWords[] = {{1, "WORK"}, {2, "OTHER"}};
    std::string value = title.empty() ? company : title + "," + company;
    return TypedDisplayText("Organization", TypeWordOf(type, label, kWords, 2, true), value);
}
