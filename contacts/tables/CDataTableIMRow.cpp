#include "contacts/tables/CDataTableIMRow.h"

bool CDataTableIMRow::Equals(const CTableRow* other) const {
    auto* o = dynamic_cast<const CDataTableIMRow*>(other);
    return o && SameKeys(o) &&
           o->handle == handle &&
           o->type == type &&
           o->label == label &&
           o->protocol == protocol &&
           o->customProtocol == customProtocol;
}

bool CDataTableIMRow::SameValue(const CDataTableRow* other) const {
    auto* o = dynamic_cast<const CDataTableIMRow*>(other);
    return o && (o->handle == handle);
}

std::string CDataTableIMRow::ToString() const {
    static const TypeWord kProtocols[] = {{0, "AIM"}, {1, "MSN"}, {2, "YAHOO"}, {3, "SKYPE"}, {4, "QQ"},
                                          {5, "Google Talk"}, {6, "ICQ"}, {7, "Jabber"}, {8, "Net meeting"}};
    static const TypeWord kWords[] = {{1, "HOME"}, {2, "WORK"}, {3, "OTHER"}};
    std::string title = protocol == -1 ? customProtocol
                                       : TypeWordOf(protocol, std::string(), kProtocols, 9, false);
    return TypedDisplayText(title, TypeWordOf(type, label, kWords, 3, false), handle);
}
