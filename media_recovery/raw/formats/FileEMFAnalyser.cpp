#include "media_recovery/raw/formats/FileEMFAnalyser.h"

#include "media_recovery/raw/RawBytes.h"

using namespace rawbytes;

// Enhanced metafile: the header record carries the signature at 40 and the file's length at 48.
bool FileEMFAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (LoadLE32(s + 40) != 0x464D4520 || LoadLE16(s + 58) != 0 || LoadLE32(s + 48) == 0) return false;
    hit.fileTypeId = RAW_TYPE_EMF;
    hit.size = LoadLE32(s + 48);
    return true;
}
