#include "media_recovery/raw/formats/FileCABAnalyser.h"

#include "media_recovery/raw/RawBytes.h"

using namespace rawbytes;

bool FileCABAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "MSCF", 4)) return false;
    if (LoadLE32(s + 4) != 0 || LoadLE32(s + 12) != 0 || LoadLE32(s + 20) != 0 || LoadLE16(s + 24) != 0x0103)
        return false;
    uint32_t size = LoadLE32(s + 8);
    if (size == 0) return false;
    hit.fileTypeId = RAW_TYPE_CAB;
    hit.size = size;
    return true;
}
