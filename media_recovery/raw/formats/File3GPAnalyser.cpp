#include "media_recovery/raw/formats/File3GPAnalyser.h"

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

bool File3GPAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s + 4, "ftyp3g2a", 8) && !Equals(s + 4, "ftyp3gp4", 8)) return false;
    hit.fileTypeId = RAW_TYPE_3GP;
    return true;
}

bool File3GPAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) { return WalkAtoms(device, hit); }
