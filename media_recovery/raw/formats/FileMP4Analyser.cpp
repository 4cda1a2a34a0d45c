#include "media_recovery/raw/formats/FileMP4Analyser.h"

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

bool FileMP4Analyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!EqualsNoCase(s + 4, "ftypisom", 8) && !EqualsNoCase(s + 4, "ftypmp42", 8) &&
        !EqualsNoCase(s + 4, "ftypM4V ", 8))
        return false;
    hit.fileTypeId = RAW_TYPE_MP4;
    return true;
}

bool FileMP4Analyser::ComputeSize(RawHit& hit, IStorageDevice* device) { return WalkAtoms(device, hit); }
