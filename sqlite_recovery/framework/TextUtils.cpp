#include "sqlite_recovery/framework/TextUtils.h"

#include <cctype>
#include <cstdint>
#include <cstring>

std::string ToUpperString(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string StringToUpper(const std::string& text) { return ToUpperString(text); }

bool ContainsNoCase(const char* pattern, const char* text) {
    if (!text) return false;
    if (!pattern) return true;
    return StringToUpper(text).find(pattern) != std::string::npos;
}

bool IsPhoneNumberText(const std::string& text) {
    static const char kAllowed[] = "1234567890*#+N.;-() ";
    bool digit = false;
    for (char c : text) {
        if (c == '\0' || !std::strchr(kAllowed, c)) return false;
        if (c >= '0' && c <= '9') digit = true;
    }
    return digit;
}

bool IsBlankText(const std::string& text) {
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c)) && c != '\n' && c != '\r') return false;
    return true;
}

std::string NormalizePhoneNumber(const std::string& number) {
    std::string out;
    out.reserve(number.size());
    for (char c : number)
        if (c != ' ' && c != '-' && c != '(' && c != ')' && c != '*' && c != '#') out += c;
    return out;
}

void ReverseString(std::string& text) {
    for (size_t i = 0, j = text.size(); i + 1 < j; ++i, --j) std::swap(text[i], text[j - 1]);
}

bool IsEmailAddress(const std::string& text) {
    if (text.size() > 128) return false;
    size_t at = text.find('@');
    if (at == std::string::npos || at == 0) return false;
    // The domain: at least two labels, none empty, the last one at most four bytes.
    size_t lastDot = text.rfind('.');
    if (lastDot == std::string::npos || lastDot <= at + 1) return false;
    for (size_t i = at + 1; i < text.size(); ++i) {
        if (text[i] == '@') return false;
        if (text[i] == '.' && (text[i - 1] == '.' || text[i - 1] == '@')) return false;
    }
    size_t tail = text.size() - lastDot - 1;
    return tail >= 1 && tail <= 4;
}

std::vector<std::string> SplitString(const std::string& text, const std::string& separator) {
    std::vector<std::string> pieces;
    if (separator.empty()) {
        if (!text.empty()) pieces.push_back(text);
        return pieces;
    }
    size_t start = 0;
    for (;;) {
        size_t found = text.find(separator, start);
        if (found == std::string::npos) break;
        if (found > start) pieces.push_back(text.substr(start, found - start));
        start = found + separator.size();
    }
    if (start < text.size()) pieces.push_back(text.substr(start));
    return pieces;
}

namespace {
// Length of the well-formed sequence at p (at most the bytes left), 0 when it is not well formed.
size_t ValidSequenceLength(const unsigned char* p, size_t left) {
    unsigned char lead = p[0];
    if (lead < 0x80) return 1;
    size_t extra;
    uint32_t value;
    if ((lead & 0xE0) == 0xC0) {
        if (lead == 0xC0 || lead == 0xC1) return 0;
        extra = 1;
        value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (extra >= left) return 0;
    for (size_t k = 1; k <= extra; ++k) {
        if ((p[k] & 0xC0) != 0x80) return 0;
        value = (value << 6) | (p[k] & 0x3F);
    }
    if (extra >= 2) {
        if (value < (extra == 2 ? 0x800u : 0x10000u) || value > 0x10FFFF) return 0;
        if (value >= 0xD800 && value <= 0xDFFF) return 0;
        if (value >= 0xFDD0 && value <= 0xFDEF) return 0;
        if ((value & 0xFFFF) == 0xFFFE || (value & 0xFFFF) == 0xFFFF) return 0;
    }
    return extra + 1;
}
}  // namespace

size_t SkipValidUtf8(const char* text, size_t length) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0;
    while (i < length) {
        // Runs of ASCII, most of most texts, eight bytes at a time.
        for (uint64_t word; i + 8 <= length; i += 8) {
            std::memcpy(&word, p + i, 8);
            if (word & 0x8080808080808080ull) break;
        }
        if (i == length) break;
        size_t n = ValidSequenceLength(p + i, length - i);
        if (n == 0) break;
        i += n;
    }
    return i;
}

const char* SkipValidUtf8(const char* text) {
    if (!text) return text;
    // A NUL byte never continues a sequence, so the terminator bounds every look-ahead.
    return text + SkipValidUtf8(text, std::strlen(text));
}
