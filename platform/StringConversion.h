#pragma once
#include <string>

namespace platform {

// Wide strings hold UTF-32 here; byte strings are UTF-8. Ill-formed input becomes U+FFFD.
std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);
std::string Utf16ToUtf8(const std::u16string& text);
std::string Utf16ToUtf8(const char16_t* text, size_t units);
std::u16string Utf8ToUtf16(const std::string& text);

}  // namespace platform
