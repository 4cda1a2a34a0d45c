#include "media_recovery/raw/formats/FileSWFAnalyser.h"

#include "media_recovery/raw/RawBytes.h"

using namespace rawbytes;

bool FileSWFAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if ((s[0] != 'F' && s[0] != 'C') || s[1] != 'W' || s[2] != 'S') return false;
    hit.fileTypeId = RAW_TYPE_SWF;
    hit.size = LoadLE32(s + 4);
    return true;
}
