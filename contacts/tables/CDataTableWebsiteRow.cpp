#include "contacts/tables/CDataTableWebsiteRow.h"

bool CDataTableWebsiteRow::Equals(const CTableRow* other) const {
    auto* o = dynamic_cast<const CDataTableWebsiteRow*>(other);
    return o && SameKeys(o) &&
           o->url == url &&
           o->type == type &&
           o->label == label;
}

bool CDataTableWebsiteRow::SameValue(const CDataTableRow* other) const {
    auto* o = dynamic_cast<const CDataTableWebsiteRow*>(other);
    return o && (o->url == url);
}

std::string CDataTableWebsiteRow::ToString() const {
    static const TypeWord kWords[] = {{1, "HOMEPAGE"}, {2, "BLOG"}, {3, "PROFILE"}, {4, "HOME"}, {5, "WORK"}, {6, "FTP"}, {7, "OTHER"}};
    return TypedDisplayText("Website", TypeWordOf(type, label, kWords, sizeof kWords / sizeof kWords[0], true), url);
}
