#include "media_recovery/raw/formats/FileHTMAnalyser.h"

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

bool FileHTMAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    bool match = EqualsNoCase(s, "<HTML>", 6) || EqualsNoCase(s, "<!DOCTYPE HTML", 14);
    if (!match && s[0] == '<' && s[1] == '!') {
        for (size_t at = 0; at <= 504 && !match; ++at) match = EqualsNoCase(s + at, "<HTML>", 6);
    }
    if (!match) return false;
    hit.fileTypeId = RAW_TYPE_HTM;
    return true;
}

bool FileHTMAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    return ScanForFooter(device, hit, FooterPattern("</HTML>", 7, 0x100000));
}
