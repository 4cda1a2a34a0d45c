#include "media_recovery/raw/formats/FileHLPAnalyser.h"

#include "media_recovery/raw/RawBytes.h"

using namespace rawbytes;

bool FileHLPAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "\x3F\x5F\x03\x00", 4)) return false;
    uint32_t size = LoadLE32(s + 12);
    if (size < 512 || size < LoadLE32(s + 4)) return false;
    hit.fileTypeId = RAW_TYPE_HLP;
    hit.size = size;
    return true;
}
