#include "media_recovery/raw/formats/FilePSTAnalyser.h"

#include "media_recovery/raw/RawBytes.h"

using namespace rawbytes;

bool FilePSTAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "!BDN", 4)) return false;
    hit.fileTypeId = RAW_TYPE_PST;
    switch (s[10]) {
        case 14: hit.size = LoadLE32(s + 168); break;  // ANSI file
        case 23: hit.size = LoadLE32(s + 184); break;  // Unicode file
        default: hit.size = 0x100000; break;
    }
    return true;
}
