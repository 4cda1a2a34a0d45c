#include "media_recovery/raw/formats/FileDXFAnalyser.h"

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

bool FileDXFAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "  0\r\nSECTION\r\n  2\r\nHEADER\r\n", 27)) return false;
    hit.fileTypeId = RAW_TYPE_DXF;
    return true;
}

bool FileDXFAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    return ScanForFooter(device, hit, FooterPattern("EOF\r\n", 5));
}
