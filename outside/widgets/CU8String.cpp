#include "outside/widgets/CU8String.h"

#include <glib.h>

#include "platform/StringConversion.h"

namespace {
std::string WellFormed(const char* text) {
    if (!text) return std::string();
    gchar* valid = g_utf8_make_valid(text, -1);
    std::string result(valid);
    g_free(valid);
    return result;
}
}  // namespace

CU8String::CU8String(const char* utf8) : text_(WellFormed(utf8)) {}

CU8String::CU8String(const char16_t* utf16, int units) {
    if (!utf16) return;
    size_t length = 0;
    while ((units < 0 || length < static_cast<size_t>(units)) && utf16[length] != 0) ++length;
    text_ = platform::Utf16ToUtf8(utf16, length);
}

CU8String CU8String::FromLocale(const char* text) { return CU8String(text); }

std::string CU8String::ToLocale() const { return text_; }

std::u16string CU8String::ToUtf16() const { return platform::Utf8ToUtf16(text_); }
