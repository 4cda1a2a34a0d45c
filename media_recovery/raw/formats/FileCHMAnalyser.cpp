#include "media_recovery/raw/formats/FileCHMAnalyser.h"

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

bool FileCHMAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    // {7C01FD10-7BAA-11D0-9E0C-00A0C922E6EC} and {7C01FD11-...}, in their little-endian layout.
    static const uint8_t kGuid0[16] = {0x10, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11,
                                       0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
    static const uint8_t kGuid1[16] = {0x11, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11,
                                       0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
    if (!Equals(s, "ITSF", 4) || LoadLE32(s + 8) != 96) return false;
    if (!Equals(s + 24, reinterpret_cast<const char*>(kGuid0), 16) ||
        !Equals(s + 40, reinterpret_cast<const char*>(kGuid1), 16))
        return false;
    if (LoadLE32(s + 96) != 0x1FE || LoadLE32(s + 100) != 0 || LoadLE32(s + 112) != 0 || LoadLE32(s + 116) != 0)
        return false;
    uint64_t size = LoadLE64(s + 104);
    // A file shorter than its own headers is no help file; a huge one is cut to the largest carve.
    if (size < 0x78) return false;
    hit.fileTypeId = RAW_TYPE_CHM;
    hit.size = size > kRawMaxFileSize ? kRawMaxFileSize : size;
    return true;
}
