#pragma once
#include <string>
#include <vector>

// Byte-string helpers for phone numbers, e-mail addresses and texts as stored in the phone's
// databases (UTF-8).

// Upper-cases ASCII letters; other bytes stay.
std::string StringToUpper(const std::string& text);
// The same, in place on a text of its own (the media library's name for it).
std::string ToUpperString(std::string text);
// True when pattern (already upper-case) occurs in the upper-cased text. Null text: false;
// null pattern with a text: true.
bool ContainsNoCase(const char* pattern, const char* text);
// Not empty, only "1234567890*#+N.;-() ", and at least one digit.
bool IsPhoneNumberText(const std::string& text);
// Only white space (an empty text is blank).
bool IsBlankText(const std::string& text);
// Removes ' ', '-', '(', ')', '*' and '#'.
std::string NormalizePhoneNumber(const std::string& number);
void ReverseString(std::string& text);
bool IsEmailAddress(const std::string& text);
// The non-empty pieces between occurrences of separator. An empty separator gives the text itself.
std::vector<std::string> SplitString(const std::string& text, const std::string& separator);
// First byte that does not start or continue a well-formed UTF-8 sequence, or the terminator.
const char* SkipValidUtf8(const char* text);
// The same over a counted buffer: the offset of the first bad byte, or length when all are good.
size_t SkipValidUtf8(const char* text, size_t length);
