// The name cleaning of per-item recovery over arbitrary names: what comes out is one path component
// of well-formed UTF-8 with no control or invisible format character, no leading dot, within the
// length asked, and cleaning it again changes nothing.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sqlite_recovery/framework/SafeFileName.h"
#include "sqlite_recovery/framework/TextUtils.h"

namespace {
void Check(bool holds) {
    if (!holds) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t maxBytes = 8 + data[0];  // 8 to 263
    const std::string name(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string clean = CleanFileName(name, maxBytes);
    Check(clean.size() <= maxBytes);
    Check(SkipValidUtf8(clean.data(), clean.size()) == clean.size());
    Check(clean.empty() || (clean[0] != '.' && clean[0] != ' '));
    for (size_t at = 0; at < clean.size();) {
        const unsigned char lead = static_cast<unsigned char>(clean[at]);
        const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? lead : lead & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
        for (size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(clean[at + k]) & 0x3F);
        Check(c >= 0x20 && c != 0x7F && !(c >= 0x80 && c <= 0x9F) && c != '/' && c != '\\' && c != ':');
        Check(!IsInvisibleFormatCharacter(c));
        at += length;
    }
    Check(CleanFileName(clean, maxBytes) == clean);
    return 0;
}
