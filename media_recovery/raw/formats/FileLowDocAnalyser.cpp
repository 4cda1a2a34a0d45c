#include "media_recovery/raw/formats/FileLowDocAnalyser.h"

#include "media_recovery/raw/RawBytes.h"

using namespace rawbytes;

bool FileLowDocAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    uint64_t size;
    if (Equals(s, "\xDB\xA5\x2D\x00", 4) || Equals(s, "\x94\xA6\x2E\x00", 4)) {
        size = static_cast<uint64_t>(LoadLE32(s + 292)) + LoadLE16(s + 296);
        size = (size + 511) / 512 * 512;
    } else if (Equals(s, "\xD0\xCF\x11\xE0", 4)) {
        // In 64 bits: the sector count may be anything.
        size = (static_cast<uint64_t>(LoadLE32(s + 48)) + 5) * 512;
    } else {
        return false;
    }
    hit.fileTypeId = RAW_TYPE_DOC;
    hit.size = size;
    return size != 0;
}
