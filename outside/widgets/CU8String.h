#pragma once
#include <string>

// A UTF-8 text with the conversions the GUI needs. The system code page is UTF-8 here, so the
// locale form is the same bytes, made well-formed.
class CU8String {
public:
    CU8String() = default;
    // From UTF-8; ill-formed sequences become U+FFFD. Null is the empty text.
    explicit CU8String(const char* utf8);
    // From UTF-16 up to the first zero unit, or at most units units when units is not negative.
    explicit CU8String(const char16_t* utf16, int units = -1);
    static CU8String FromLocale(const char* text);

    const char* c_str() const { return text_.c_str(); }
    const std::string& str() const { return text_; }
    bool empty() const { return text_.empty(); }
    std::string ToLocale() const;
    std::u16string ToUtf16() const;

private:
    std::string text_;
};
