#include "media_recovery/raw/formats/FileWMFAnalyser.h"

#include "media_recovery/raw/RawBytes.h"

using namespace rawbytes;

// Windows metafile without a placeable header; its size is counted in 16-bit words.
bool FileWMFAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (s[0] != 0x01 || s[1] != 0x00 || s[2] != 0x09 || s[3] != 0x00 || LoadLE16(s + 16) != 0) return false;
    uint64_t words = LoadLE32(s + 6);
    if (words == 0) return false;
    hit.fileTypeId = RAW_TYPE_WMF;
    hit.size = words * 2;
    return true;
}
