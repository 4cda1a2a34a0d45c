#include "media_recovery/raw/formats/File3DSAnalyser.h"

#include "media_recovery/raw/RawBytes.h"

using namespace rawbytes;

bool File3DSAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    uint32_t length = LoadLE32(s + 2);
    if (LoadLE16(s) != 0x4D4D || LoadLE16(s + 16) != 0x3D3D || length == 0 || LoadLE32(s + 18) > length) return false;
    hit.fileTypeId = RAW_TYPE_3DS;
    hit.size = length;
    return true;
}
