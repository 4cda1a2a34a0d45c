#include "media_recovery/raw/formats/FileGZAnalyser.h"

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

bool FileGZAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "\x1F\x8B\x08", 3)) return false;
    hit.fileTypeId = RAW_TYPE_GZ;
    // The stream's end is not known without inflating it: the largest carve is taken.
    hit.size = kRawMaxFileSize;
    return true;
}
