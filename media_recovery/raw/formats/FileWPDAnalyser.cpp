#include "media_recovery/raw/formats/FileWPDAnalyser.h"

#include "media_recovery/raw/RawBytes.h"

using namespace rawbytes;

bool FileWPDAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "\xFFWPC", 4)) return false;
    uint32_t a = LoadLE32(s + 8), b = LoadLE32(s + 14);
    uint32_t type;
    if (a == 0x01020A01 && b == 0x00050200) type = RAW_TYPE_WPD;
    else if (a == 0x00021601 && b == 0x00030000) type = RAW_TYPE_WPG;
    else if (a == 0x00010F0F && b == 0x00030000) type = RAW_TYPE_SHW;
    else return false;
    hit.fileTypeId = type;
    hit.size = LoadLE32(s + 20);
    return true;
}
