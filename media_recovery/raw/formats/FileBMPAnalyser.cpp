#include "media_recovery/raw/formats/FileBMPAnalyser.h"

#include "media_recovery/raw/RawBytes.h"

using namespace rawbytes;

bool FileBMPAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (s[0] != 'B' || s[1] != 'M') return false;
    if (LoadLE16(s + 6) != 0 || LoadLE16(s + 8) != 0) return false;
    uint32_t info = LoadLE32(s + 14);
    if (info != 40 && info != 124) return false;
    hit.fileTypeId = RAW_TYPE_BMP;
    hit.size = LoadLE32(s + 2);
    return hit.size != 0;
}
