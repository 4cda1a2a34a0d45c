#include "contacts/PhoneNumberMatch.h"

#include <iterator>
#include <string>
#include <unordered_set>

#include "sqlite_recovery/framework/TextUtils.h"

namespace {

// The calling codes ("+82" and "+994" stand twice).
const char* const CallingCodeTable[] = {
    "+1", "+20", "+201", "+212", "+213", "+216", "+218", "+22", "+23", "+24", "+25", "+26", "+27", "+290",
    "+291", "+297", "+298", "+299", "+30", "+316", "+31", "+322", "+323", "+324", "+329", "+32", "+33", "+34",
    "+3513", "+3517", "+3518", "+351", "+352", "+353", "+3543", "+354", "+3556", "+355", "+356", "+357", "+358",
    "+359", "+361", "+3620", "+3621", "+3630", "+3670", "+3671", "+36", "+3706", "+370", "+371", "+3725", "+372",
    "+3736", "+3737", "+373", "+374", "+375", "+376", "+377", "+378", "+380", "+381", "+382", "+385", "+386",
    "+387", "+3892", "+389", "+39", "+393", "+40", "+41", "+420", "+421", "+43", "+44", "+45", "+46", "+47",
    "+48", "+491", "+49", "+50", "+519", "+511", "+51", "+521", "+52", "+53", "+54911", "+549", "+5411", "+54",
    "+55", "+562", "+569", "+56", "+57", "+573", "+58", "+59", "+603", "+608", "+60", "+6014", "+601", "+614",
    "+61", "+628", "+6221", "+62", "+632", "+63", "+639", "+642", "+64", "+65", "+668", "+662", "+66", "+67",
    "+68", "+690", "+691", "+692", "+76", "+77", "+7", "+813", "+816", "+81", "+822", "+82", "+844", "+84",
    "+850", "+852", "+853", "+8551", "+8559", "+855", "+85620", "+856", "+8610", "+862", "+86", "+880", "+886",
    "+90", "+919", "+91", "+92", "+923", "+9370", "+93", "+94", "+951", "+952", "+95", "+959", "+960", "+961",
    "+9627", "+962", "+96311", "+963", "+964", "+965", "+9665", "+966", "+9677", "+967", "+968", "+9705",
    "+970", "+9715", "+971", "+9725", "+972", "+973", "+974", "+9751", "+975", "+976", "+977", "+97798", "+98",
    "+992", "+993", "+994", "+995", "+996", "+998", "+1242", "+1246", "+1264", "+1268", "+1284", "+1340",
    "+1345", "+1441", "+1473", "+1649", "+1664", "+1670", "+1671", "+1681", "+1758", "+1767", "+1784", "+1787",
    "+1808", "+1809", "+1868", "+1869", "+1876", "+4175", "+35191", "+35196", "+64672", "+619162", "+619164",
    "+3906698",
};

const char* const CarrierPrefixTable[] = {"12520", "17951"};

// Whether international == prefix + local, without building the concatenation.
bool IsPrefixed(const std::string& international, const char* prefix, const std::string& local) {
    size_t n = std::char_traits<char>::length(prefix);
    return international.size() == n + local.size() && international.compare(0, n, prefix) == 0 &&
           international.compare(n, std::string::npos, local) == 0;
}

// Whether international is a code of the table followed by local. The code can only be what comes
// before local, so that alone is looked up, rather than every code tried in turn.
bool AnyCallingCode(const std::string& international, const std::string& local) {
    static const std::unordered_set<std::string> codes(std::begin(CallingCodeTable), std::end(CallingCodeTable));
    if (international.size() <= local.size()) return false;
    const size_t n = international.size() - local.size();
    return international.compare(n, std::string::npos, local) == 0 && codes.count(international.substr(0, n)) != 0;
}

}  // namespace

bool MatchPhoneNumber(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    bool plusA = a[0] == '+';
    bool plusB = b[0] == '+';
    if (plusA && plusB) {
        std::string na = NormalizePhoneNumber(a), nb = NormalizePhoneNumber(b);
        return !na.empty() && na == nb;
    }
    if (plusA != plusB) {
        std::string c = NormalizePhoneNumber(plusA ? a : b);
        std::string d = NormalizePhoneNumber(plusA ? b : a);
        if (c.empty() || d.empty()) return false;
        if (IsPrefixed(c, "+", d) || AnyCallingCode(c, d)) return true;
        size_t firstNonZero = d.find_first_not_of('0');
        if (firstNonZero != std::string::npos) d.erase(0, firstNonZero);
        return AnyCallingCode(c, d) || IsPrefixed(c, "+", d);
    }
    std::string na = NormalizePhoneNumber(a), nb = NormalizePhoneNumber(b);
    if (na.empty() || nb.empty()) return false;
    if (na == nb) return true;
    const std::string& s = na.size() < nb.size() ? na : nb;
    const std::string& l = na.size() < nb.size() ? nb : na;
    for (const char* prefix : CarrierPrefixTable)
        if (IsPrefixed(l, prefix, s)) return true;
    return false;
}
