#include "filesystems/fat/FatDirectoryEntry.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "sqlite_recovery/framework/ByteOrder.h"
#include "platform/StringConversion.h"
#include "platform/TimeConversion.h"

namespace {

// Where a long-name entry keeps its 13 UTF-16 units.
constexpr uint8_t kLongNameUnitOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

bool DatePlausible(uint16_t d) {
    if (d == 0) return true;
    unsigned month = (d >> 5) & 15;
    if (month >= 1 && month <= 12) return (d & 31) != 0;
    return false;
}

bool TimePlausible(uint16_t t) { return t == 0 || ((t >> 11) < 24 && ((t >> 5) & 63) < 60 && (t & 31) < 30); }

bool FieldIs(const uint8_t* entry, const char* eleven) { return std::memcmp(entry, eleven, 11) == 0; }

// A byte of a short name as text: outside ASCII, control and reserved characters become '_'.
char ShortNameChar(uint8_t b, bool lower) {
    if (b < 0x20 || b >= 0x80 || !IsValidLongNameChar(static_cast<char>(b))) return '_';
    if (lower && b >= 'A' && b <= 'Z') return static_cast<char>(b - 'A' + 'a');
    return static_cast<char>(b);
}

constexpr size_t kMaxLongNameParts = 20;  // 255 characters

std::string UnitsToText(const std::vector<char16_t>& units) { return platform::Utf16ToUtf8(units.data(), units.size()); }

// Whether every surrogate unit is half of a pair, as in any name a writer makes: a lone one is a
// changed unit (an end or a character of the name overwritten).
bool SurrogatesPaired(const std::vector<char16_t>& units) {
    for (size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            ++i;
            continue;
        }
        if (u >= 0xD800 && u <= 0xDFFF) return false;
    }
    return true;
}

bool LongNameTextValid(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (char c : name)
        if (!IsValidLongNameChar(c)) return false;
    return true;
}

// Characters a short name may begin with when it was made from a long name starting with unit u.
void FirstByteGuesses(char16_t u, std::vector<uint8_t>* out) {
    if (u < 0x80) {
        uint8_t c = static_cast<uint8_t>(u);
        if (c >= 'a' && c <= 'z') c = static_cast<uint8_t>(c - 'a' + 'A');
        if (std::strchr("+,;=[]", c)) c = '_';  // units stop at 0, so c is not 0
        out->push_back(c);
    }
    out->push_back('_');
}

// The units of a long-name part (as LongNamePartUnits), or SIZE_MAX when the part is not as writers
// leave it: its name ends at a 0 unit, after which every unit is 0xFFFF, and only the last part
// (when known) ends early; a name never holds 0xFFFF. A changed unit there (an end lost, a pad
// overwritten) would put what is no name into the name.
size_t WellFormedPartUnits(const uint8_t* part, bool lastKnown, bool last, char16_t out[13]) {
    size_t n = 0;
    bool ended = false;
    for (uint8_t off : kLongNameUnitOffsets) {
        const uint16_t u = LoadLE16(part + off);
        if (ended ? u != 0xFFFF : u == 0xFFFF) return SIZE_MAX;
        if (u == 0) ended = true;
        else if (!ended) out[n++] = u;
    }
    return ended && lastKnown && !last ? SIZE_MAX : n;
}

// The byte a writer puts in a short name for an ASCII unit of the long name.
uint8_t ShortNameByteOf(char16_t u) {
    uint8_t c = static_cast<uint8_t>(u);
    if (c >= 'a' && c <= 'z') return static_cast<uint8_t>(c - 'a' + 'A');
    return std::strchr("+,;=[]", c) ? '_' : c;
}

// How many of the places compared tell that a short name was not made from this long name: its
// extension from the long name's last dot (blanks left out), and the first two characters of its
// base (a writer may put its own characters after them). ASCII is compared place by place; at the
// first other character the short name must hold a byte of a code page (0x80 and up) or '_', and
// the places after it are not compared (a code page may take two bytes for one character).
// The places of a short-name field (width bytes, blank-padded) that do not hold what a writer makes
// of the n units from.
int FieldDisagreements(const char16_t* from, size_t n, const uint8_t* field, size_t width) {
    size_t used = width;
    while (used > 0 && field[used - 1] == ' ') --used;
    int off = 0;
    for (size_t i = 0; i < std::max(n, used); ++i) {
        if (i >= n || i >= used) return off + 1;
        if (from[i] >= 0x80) return off + (field[i] < 0x80 && field[i] != '_');
        off += field[i] != ShortNameByteOf(from[i]);
    }
    return off;
}

int ShortNameDisagreements(const std::vector<char16_t>& units, const uint8_t* short11) {
    // The last dot with something before it that is neither a dot nor a blank.
    const size_t n = units.size();
    size_t dot = n;
    for (size_t i = n; i-- > 0;)
        if (units[i] == '.') {
            dot = i;
            break;
        }
    bool lead = true;
    for (size_t i = 0; i < dot && lead; ++i) lead = units[i] == '.' || units[i] == ' ';
    if (dot == n || lead) dot = n;
    char16_t ext[3], base[2];
    size_t extLength = 0, baseLength = 0;
    for (size_t i = dot + 1; i < n && extLength < 3; ++i)
        if (units[i] != ' ') ext[extLength++] = units[i];
    for (size_t i = 0; i < dot && baseLength < 2; ++i)
        if (units[i] != '.' && units[i] != ' ') base[baseLength++] = units[i];
    size_t baseWidth = 0;
    while (baseWidth < 2 && short11[baseWidth] != '~' && short11[baseWidth] != ' ') ++baseWidth;
    return FieldDisagreements(ext, extLength, short11 + 8, 3) + FieldDisagreements(base, baseLength, short11, baseWidth);
}

}  // namespace

bool IsPlausibleFatEntry(const uint8_t* entry, bool strict) {
    const uint8_t attr = entry[kFatEntryAttributes];
    if (attr == kFatAttrLongName) return true;
    if (strict) {
        const uint16_t high = LoadLE16(entry + kFatEntryClusterHigh), low = LoadLE16(entry + kFatEntryClusterLow);
        const uint32_t size = LoadLE32(entry + kFatEntryFileSize);
        if (!(attr & kFatAttrDirectory)) {
            if ((high != 0 || low != 0) != (size != 0)) return false;
        } else if (size != 0 && high != 0) {
            return false;
        }
    }
    if (!DatePlausible(LoadLE16(entry + kFatEntryCreationDate)) ||
        !DatePlausible(LoadLE16(entry + kFatEntryWriteDate)) ||
        !DatePlausible(LoadLE16(entry + kFatEntryAccessDate)))
        return false;
    if (!TimePlausible(LoadLE16(entry + kFatEntryCreationTime)) || !TimePlausible(LoadLE16(entry + kFatEntryWriteTime)))
        return false;
    return !(attr & kFatAttrReserved);
}

bool PlausibleButForTimes(const uint8_t* entry) {
    uint8_t e[kFatEntrySize];
    std::memcpy(e, entry, kFatEntrySize);
    std::memset(e + kFatEntryCreationTime, 0, kFatEntryClusterHigh - kFatEntryCreationTime);
    std::memset(e + kFatEntryWriteTime, 0, kFatEntryClusterLow - kFatEntryWriteTime);
    return IsPlausibleFatEntry(e, false);
}

namespace {
// By byte: whether writers put it in a short name (no control byte, no lower-case letter, none of
// the characters a short name may not hold).
struct ShortNameBytes {
    bool allowed[256];
    constexpr ShortNameBytes() : allowed() {
        constexpr char kNever[] = "\"*+,./:;<=>?[\\]|";
        for (int b = 0x20; b < 256; ++b) allowed[b] = !(b >= 'a' && b <= 'z');
        for (const char* c = kNever; *c; ++c) allowed[static_cast<uint8_t>(*c)] = false;
    }
};
constexpr ShortNameBytes kShortNameBytes;
}  // namespace

bool ShortNameBytesValid(const uint8_t* entry) {
    if (entry[0] == ' ') return false;
    for (int i = 0; i < 11; ++i)
        if (!kShortNameBytes.allowed[entry[i]]) return false;
    return true;
}

bool ShortNameAsWritten(const uint8_t* entry) {
    if (!ShortNameBytesValid(entry)) return false;
    const uint8_t flags = entry[kFatEntryCaseFlags];
    for (int i = 0; i < 11; ++i)
        if (entry[i] >= 0x80 && (flags & (i < 8 ? 0x08 : 0x10))) return false;
    return true;
}

bool IsDotEntry(const uint8_t* entry) {
    return FieldIs(entry, ".          ") && (entry[kFatEntryAttributes] & kFatAttrDirectory);
}
bool IsDotDotEntry(const uint8_t* entry) {
    return FieldIs(entry, "..         ") && (entry[kFatEntryAttributes] & kFatAttrDirectory);
}

uint32_t FatEntryFirstCluster(const uint8_t* entry) {
    return static_cast<uint32_t>(LoadLE16(entry + kFatEntryClusterHigh)) << 16 | LoadLE16(entry + kFatEntryClusterLow);
}

size_t LongNamePartUnits(const uint8_t* entry, char16_t out[13]) {
    size_t n = 0;
    for (uint8_t off : kLongNameUnitOffsets) {
        char16_t u = LoadLE16(entry + off);
        if (u == 0) break;
        out[n++] = u;
    }
    return n;
}

bool LongNamePartToText(const uint8_t* entry, std::string* out) {
    char16_t units[13];
    size_t n = LongNamePartUnits(entry, units);
    *out = platform::Utf16ToUtf8(units, n);
    return true;
}

std::string ShortNameToText(const uint8_t* entry) {
    const bool lowerBase = entry[kFatEntryCaseFlags] & 0x08, lowerExt = entry[kFatEntryCaseFlags] & 0x10;
    int nameLen = 8, extLen = 3;
    while (nameLen > 0 && entry[nameLen - 1] == ' ') --nameLen;
    while (extLen > 0 && entry[8 + extLen - 1] == ' ') --extLen;
    std::string text;
    for (int i = 0; i < nameLen; ++i) {
        if (i == 0 && entry[0] == kFatDeletedMark)
            text += '#';
        else
            text += ShortNameChar(entry[i], lowerBase);
    }
    if (extLen > 0) {
        text += '.';
        for (int i = 0; i < extLen; ++i) text += ShortNameChar(entry[8 + i], lowerExt);
    }
    return text;
}

bool IsValidLongNameChar(char c) {
    if (static_cast<unsigned char>(c) < 0x20) return false;  // also keeps 0 out of strchr
    return std::strchr("?*|\\/:\"<>", c) == nullptr;
}

uint8_t ShortNameChecksum(const uint8_t* name11) {
    uint8_t sum = 0;
    for (int i = 0; i < 11; ++i) sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + name11[i]);
    return sum;
}

std::string FatEntryName(const uint8_t* entries, size_t count) {
    const uint8_t* shortEntry = entries + count * kFatEntrySize;
    const bool deleted = shortEntry[0] == kFatDeletedMark;
    if (count > 0) {
        // Parts nearest the short entry come first in the name.
        const uint8_t sum = entries[(count - 1) * kFatEntrySize + kFatLongNameChecksum];
        std::vector<char16_t> units;
        bool complete = false;
        size_t parts = 0;
        for (size_t i = count; i-- > 0 && parts < kMaxLongNameParts;) {
            const uint8_t* part = entries + i * kFatEntrySize;
            if (part[kFatEntryAttributes] != kFatAttrLongName || part[kFatLongNameChecksum] != sum) break;
            if (!deleted && (part[0] & 0x3F) != parts + 1) break;
            char16_t chunk[13];
            const size_t n = WellFormedPartUnits(part, !deleted, part[0] & 0x40, chunk);
            if (n == SIZE_MAX) break;
            units.insert(units.end(), chunk, chunk + n);
            ++parts;
            if (!deleted && (part[0] & 0x40)) {
                complete = true;
                break;
            }
        }
        if (deleted) complete = parts > 0;
        bool matches = false;
        if (complete && !deleted) {
            // The checksum covers the short name, not the long one. A long name that the short name
            // belies was changed; a short name a byte off the long one, with the checksum failing,
            // lost that byte.
            const int off = ShortNameDisagreements(units, shortEntry);
            matches = ShortNameChecksum(shortEntry) == sum ? off == 0 : off <= 1;
        } else if (complete) {
            size_t first = 0;
            while (first < units.size() && (units[first] == '.' || units[first] == ' ')) ++first;
            std::vector<uint8_t> guesses;
            if (first < units.size()) FirstByteGuesses(units[first], &guesses);
            uint8_t name11[11];
            std::memcpy(name11, shortEntry, 11);
            for (uint8_t g : guesses) {
                name11[0] = g;
                if (ShortNameChecksum(name11) == sum) {
                    matches = true;
                    break;
                }
            }
        }
        if (matches && SurrogatesPaired(units)) {
            std::string name = UnitsToText(units);
            if (LongNameTextValid(name)) return name;
        }
    }
    return ShortNameToText(shortEntry);
}

FatEntryFields DecodeFatEntry(const std::string& name, const uint8_t* entry) {
    FatEntryFields f;
    f.name = name;
    f.size = LoadLE32(entry + kFatEntryFileSize);
    f.attributes = entry[kFatEntryAttributes];
    uint64_t t = 0;
    if (platform::DosDateTimeToFileTime(LoadLE16(entry + kFatEntryCreationDate),
                                        LoadLE16(entry + kFatEntryCreationTime), &t))
        f.creationTime = t;
    if (platform::DosDateTimeToFileTime(LoadLE16(entry + kFatEntryWriteDate), LoadLE16(entry + kFatEntryWriteTime),
                                        &t))
        f.writeTime = t;
    if (platform::DosDateTimeToFileTime(LoadLE16(entry + kFatEntryAccessDate), 0, &t)) f.accessTime = t;
    f.deleted = entry[0] == kFatDeletedMark;
    f.firstCluster = FatEntryFirstCluster(entry);
    return f;
}
