#include "media_recovery/raw/formats/FileEPSAnalyser.h"

#include "media_recovery/raw/RawBytes.h"

using namespace rawbytes;

// Encapsulated PostScript with a binary header: the file ends with the last section it lists.
bool FileEPSAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (s[0] != 0xC5 || s[1] != 0xD0 || s[2] != 0xD3 || s[3] != 0xC6) return false;
    uint64_t size = 0;
    if (EqualsNoCase(s + 28, "\xFF\xFF\x25\x21", 4) || EqualsNoCase(s + 28, "\xFF\xFF\x00\x00", 4)) {
        size = static_cast<uint64_t>(LoadLE32(s + 12)) + LoadLE32(s + 16) + LoadLE32(s + 20) + LoadLE32(s + 24);
    } else if (EqualsNoCase(s + 28, "\xFF\xFF\x49\x49", 4)) {
        size = static_cast<uint64_t>(LoadLE32(s + 4)) + LoadLE32(s + 8);
    } else {
        return false;
    }
    if (size == 0) return false;
    hit.fileTypeId = RAW_TYPE_EPS;
    hit.size = size;
    return true;
}
