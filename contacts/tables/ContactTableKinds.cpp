#include "contacts/tables/ContactTableKinds.h"

#include <cctype>
#include <limits>

namespace {
struct MimetypeKind {
    int32_t kind;
    const char* suffix;
};

// Searched in this order.
const MimetypeKind MimetypeKindTable[] = {
    {kDataEmail, "email_v2"},
    {kDataIm, "im"},
    {kDataNickname, "nickname"},
    {kDataOrganization, "organization"},
    {kDataPhone, "phone_v2"},
    {kDataSipAddress, "sip_address"},
    {kDataName, "name"},
    {kDataPostal, "postal-address_v2"},
    {kDataGroupMembership, "group_membership"},
    {kDataIdentity, "identity"},
    {kDataPhoto, "photo"},
    {kDataContactEvent, "contact_event"},
    {kDataWebsite, "website"},
    {kDataNote, "note"},
    {kDataRelation, "relation"},
};

const char kMimetypePrefix[] = "vnd.android.cursor.item/";
}  // namespace

int32_t MimetypeKindOf(const std::string& mimetype) {
    const size_t prefix = sizeof kMimetypePrefix - 1;
    if (mimetype.compare(0, prefix, kMimetypePrefix) != 0) return kDataUnknown;
    for (const MimetypeKind& entry : MimetypeKindTable)
        if (mimetype.compare(prefix, std::string::npos, entry.suffix) == 0) return entry.kind;
    return kDataUnknown;
}

std::string MimetypeOfKind(int32_t kind) {
    for (const MimetypeKind& entry : MimetypeKindTable)
        if (entry.kind == kind) return std::string(kMimetypePrefix) + entry.suffix;
    return std::string();
}

int32_t DisplayNameSourceKind(int64_t displayNameSource) {
    switch (displayNameSource) {
    case 10: return 1;
    case 35: return 2;
    case 30: return 3;
    case 20: return 4;
    case 40: return 5;
    default: return 0;
    }
}

int64_t ParseDecimalInt64(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint64_t value = 0;
    const uint64_t limit = negative ? uint64_t(std::numeric_limits<int64_t>::max()) + 1
                                    : uint64_t(std::numeric_limits<int64_t>::max());
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        uint64_t digit = static_cast<uint64_t>(text[i] - '0');
        if (value > (limit - digit) / 10) {
            value = limit;
            break;
        }
        value = value * 10 + digit;
    }
    if (negative) return value == limit ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(value);
    return static_cast<int64_t>(value);
}
