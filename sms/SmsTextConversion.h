#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "sqlite_recovery/controller/FieldValue.h"

// MIBenum numbers of the character sets that MMS headers and parts name.
constexpr int64_t kCharsetUtf8 = 106;

// The iconv name of a MIBenum character set; null when it is unknown.
const char* CharsetName(int64_t mibEnum);
// Converts bytes of the given character set to UTF-8. Unknown sets (and 0, "any") are taken as
// UTF-8, this platform's code page. The result is cut before the first byte that does not continue
// well-formed UTF-8; a failed conversion gives the empty text.
std::string ConvertToUtf8(const char* bytes, size_t length, int64_t mibEnum);
// The text of a TEXT column in the given character set; every other value gives the empty text.
std::string ToTextInCharset(const FieldValue& value, int64_t mibEnum);
