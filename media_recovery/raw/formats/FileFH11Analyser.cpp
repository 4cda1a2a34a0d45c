#include "media_recovery/raw/formats/FileFH11Analyser.h"

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

bool FileFH11Analyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "\x1C\x01\x00\x00\x02\x00\x04\x1C\x01\x14\x00\x02\x00\x14\x1C\x01", 16) || s[34] != '1' ||
        s[35] != '1')
        return false;
    hit.fileTypeId = RAW_TYPE_FH11;
    return true;
}

bool FileFH11Analyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    return ScanForFooter(device, hit, FooterPattern("Decode\x00\xFF\xFF\xFF\xFF\x00", 11));
}
