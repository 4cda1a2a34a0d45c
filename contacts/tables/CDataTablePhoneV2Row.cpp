#include "contacts/tables/CDataTablePhoneV2Row.h"

#include "contacts/PhoneNumberMatch.h"
bool CDataTablePhoneV2Row::Equals(const CTableRow* other) const {
    auto* o = dynamic_cast<const CDataTablePhoneV2Row*>(other);
    return o && SameKeys(o) &&
           o->number == number &&
           o->type == type &&
           o->label == label &&
           o->normalizedNumber == normalizedNumber;
}

bool CDataTablePhoneV2Row::SameValue(const CDataTableRow* other) const {
    auto* o = dynamic_cast<const CDataTablePhoneV2Row*>(other);
    return o && (MatchPhoneNumber(o->number, number) || MatchPhoneNumber(o->normalizedNumber, normalizedNumber));
}

std::string CDataTablePhoneV2Row::ToString() const {
    static const TypeWord kWords[] = {{1, "HOME"}, {2, "MOBILE"}, {3, "WORK"}, {4, "FAX_WORK"}, {5, "FAX_HOME"}, {6, "PAGER"}, {7, "OTHER"}, {8, "CALLBACK"}, {9, "CAR"}, {10, "COMPANY_MAIN"}, {11, "ISDN"}, {12, "MAIN"}, {13, "OTHER_FAX"}, {14, "RADIO"}, {15, "TELEX"}, {16, "TTY_TDD"}, {17, "WORK_MOBILE"}, {18, "WORK_PAGER"}, {19, "ASSISTANT"}, {20, "MMS"}};
    return TypedDisplayText("Phone", TypeWordOf(type, label, kWords, sizeof kWords / sizeof kWords[0], false), number);
}
