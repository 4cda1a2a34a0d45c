#include "media_recovery/raw/formats/FileMNYAnalyser.h"

#include "media_recovery/raw/RawBytes.h"

using namespace rawbytes;

bool FileMNYAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s + 4, "MSISAM Database", 15)) return false;
    hit.fileTypeId = RAW_TYPE_MNY;
    hit.size = 0x100000;
    return true;
}
