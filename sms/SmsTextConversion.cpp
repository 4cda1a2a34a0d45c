#include "sms/SmsTextConversion.h"

#include <cerrno>
#include <iconv.h>
#include <vector>

#include "sqlite_recovery/framework/TextUtils.h"

namespace {

struct CharsetEntry {
    int64_t mib;
    const char* name;
};

// The sets that phones and MMS centres use; the numbers are IANA's MIBenum values.
const CharsetEntry kCharsets[] = {
    {3, "US-ASCII"},     {4, "ISO-8859-1"},   {5, "ISO-8859-2"},     {6, "ISO-8859-3"},
    {7, "ISO-8859-4"},   {8, "ISO-8859-5"},   {9, "ISO-8859-6"},     {10, "ISO-8859-7"},
    {11, "ISO-8859-8"},  {12, "ISO-8859-9"},  {13, "ISO-8859-10"},   {17, "SHIFT_JIS"},
    {18, "EUC-JP"},      {36, "EUC-KR"},      {38, "EUC-KR"},        {39, "ISO-2022-JP"},
    {109, "ISO-8859-13"}, {110, "ISO-8859-14"}, {111, "ISO-8859-15"}, {112, "ISO-8859-16"},
    {113, "GBK"},        {114, "GB18030"},    {1000, "UCS-2BE"},     {1013, "UTF-16BE"},
    {1014, "UTF-16LE"},  {1015, "UTF-16"},    {1017, "UTF-32BE"},    {1018, "UTF-32LE"},
    {1019, "UTF-32"},    {2025, "GB2312"},    {2026, "BIG5"},        {2084, "KOI8-R"},
    {2088, "KOI8-U"},    {2250, "CP1250"},    {2251, "CP1251"},      {2252, "CP1252"},
    {2253, "CP1253"},    {2254, "CP1254"},    {2255, "CP1255"},      {2256, "CP1256"},
    {2257, "CP1257"},    {2258, "CP1258"},
};

std::string CutAtInvalidUtf8(std::string text) {
    text.resize(SkipValidUtf8(text.data(), text.size()));
    return text;
}

}  // namespace

const char* CharsetName(int64_t mibEnum) {
    for (const CharsetEntry& entry : kCharsets)
        if (entry.mib == mibEnum) return entry.name;
    return nullptr;
}

std::string ConvertToUtf8(const char* bytes, size_t length, int64_t mibEnum) {
    if (!bytes || length == 0) return std::string();
    const char* name = CharsetName(mibEnum);
    if (!name) return CutAtInvalidUtf8(std::string(bytes, length));

    iconv_t cd = iconv_open("UTF-8", name);
    if (cd == reinterpret_cast<iconv_t>(-1)) return CutAtInvalidUtf8(std::string(bytes, length));
    std::string out;
    std::vector<char> buffer(4 * length + 16);
    char* in = const_cast<char*>(bytes);
    size_t inLeft = length;
    bool failed = false;
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        size_t outLeft = buffer.size();
        size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        if (rc == static_cast<size_t>(-1)) {
            if (errno == E2BIG) continue;
            failed = out.empty();  // keep what converted before a bad or cut-off sequence
            break;
        }
    }
    iconv_close(cd);
    if (failed) return std::string();
    return CutAtInvalidUtf8(std::move(out));
}

std::string ToTextInCharset(const FieldValue& value, int64_t mibEnum) {
    if (value.kind != FieldValue::Text || value.length == 0 || !value.data) return std::string();
    if (mibEnum == kCharsetUtf8) return CutAtInvalidUtf8(std::string(value.data, value.length));
    return ConvertToUtf8(value.data, value.length, mibEnum);
}
