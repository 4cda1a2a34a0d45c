#include "media_recovery/raw/formats/FileRIFFAnalyser.h"

#include "media_recovery/raw/RawBytes.h"

using namespace rawbytes;

bool FileRIFFAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "RIFF", 4)) return false;
    const uint8_t* form = s + 8;
    const uint8_t* chunk = s + 12;
    uint32_t type = RAW_TYPE_RIFF;
    if (EqualsNoCase(form, "WAVE", 4) && EqualsNoCase(chunk, "fmt ", 4)) {
        type = RAW_TYPE_WAV;
    } else if (EqualsNoCase(form, "AVI ", 4) && EqualsNoCase(chunk, "LIST", 4)) {
        type = RAW_TYPE_AVI;
    } else if (EqualsNoCase(form, "ACON", 4) && (EqualsNoCase(chunk, "LIST", 4) || EqualsNoCase(chunk, "anih", 4))) {
        type = RAW_TYPE_ANI;
    } else if (Equals(form, "CMX1", 4) && Equals(s + 20, "{Corel Binary Meta File}", 24)) {
        type = RAW_TYPE_CMX;
    } else if (EqualsNoCase(form, "CARC", 4) && EqualsNoCase(chunk, "vrsn", 4)) {
        type = RAW_TYPE_CLK;
    } else if (EqualsNoCase(form, "CSL2", 4) && EqualsNoCase(chunk, "vrsn", 4)) {
        type = RAW_TYPE_CSL;
    } else if (EqualsNoCase(form, "CDR", 3) && EqualsNoCase(chunk, "vrsn", 4)) {
        uint8_t v = form[3];
        if (v >= 'a' && v <= 'z') v = static_cast<uint8_t>(v - 32);
        if ((v >= '7' && v <= '9') || (v >= 'A' && v <= 'C')) type = RAW_TYPE_CDR;
    }
    hit.fileTypeId = type;
    // In 64 bits: a length field near 4 GiB must not wrap to a few bytes.
    hit.size = static_cast<uint64_t>(LoadLE32(s + 4)) + 8;
    return true;
}
