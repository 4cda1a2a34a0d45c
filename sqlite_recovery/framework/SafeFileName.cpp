#include "sqlite_recovery/framework/SafeFileName.h"

#include "sqlite_recovery/framework/TextUtils.h"

namespace {

// Format characters (general category Cf) and the few other code points that draw nothing but
// change how a name reads.
const char32_t kInvisibleRanges[][2] = {
    {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},   {0x070F, 0x070F},
    {0x08E2, 0x08E2},   {0x115F, 0x1160},   {0x17B4, 0x17B5},   {0x180B, 0x180F},   {0x200B, 0x200F},
    {0x2028, 0x202E},   {0x2060, 0x206F},   {0x3164, 0x3164},   {0xFEFF, 0xFEFF},   {0xFFA0, 0xFFA0},
    {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3},
    {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF},
};

// An extension longer than this is not worth keeping when a name is cut.
constexpr size_t kMaxKeptExtensionBytes = 16;

char32_t DecodeAt(const std::string& text, size_t at, size_t length) {
    unsigned char lead = static_cast<unsigned char>(text[at]);
    if (length == 1) return lead;
    char32_t value = lead & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
    for (size_t k = 1; k < length; ++k) value = (value << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
    return value;
}

// Cuts to at most max bytes without splitting a UTF-8 sequence.
std::string CutAtCharacter(const std::string& text, size_t max) {
    if (text.size() <= max) return text;
    size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

}  // namespace

bool IsInvisibleFormatCharacter(char32_t c) {
    for (const auto& range : kInvisibleRanges)
        if (c >= range[0] && c <= range[1]) return true;
    return false;
}

std::string CleanFileName(const std::string& name, size_t maxBytes) {
    std::string clean;
    clean.reserve(name.size());
    size_t at = 0;
    while (at < name.size()) {
        size_t good = SkipValidUtf8(name.data() + at, name.size() - at);
        if (good == 0) {  // a byte that starts no well-formed sequence
            clean += '_';
            ++at;
            continue;
        }
        unsigned char lead = static_cast<unsigned char>(name[at]);
        size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = DecodeAt(name, at, length);
        bool bad = c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == '/' || c == '\\' || c == ':' ||
                   IsInvisibleFormatCharacter(c);
        if (bad) clean += '_';
        else clean.append(name, at, length);
        at += length;
    }
    size_t start = clean.find_first_not_of(". ");
    clean = start == std::string::npos ? std::string() : clean.substr(start);
    if (clean.size() <= maxBytes) return clean;

    size_t dot = clean.rfind('.');
    std::string extension;
    if (dot != std::string::npos && dot > 0 && clean.size() - dot <= kMaxKeptExtensionBytes &&
        clean.size() - dot < maxBytes)
        extension = clean.substr(dot);
    std::string stem = CutAtCharacter(clean.substr(0, clean.size() - extension.size()), maxBytes - extension.size());
    // A stem cut to nothing would leave the extension as a hidden name: the name is cut as a whole.
    if (stem.empty()) return CutAtCharacter(clean, maxBytes);
    return stem + extension;
}
