#include "media_recovery/raw/formats/FileICOAnalyser.h"

#include "media_recovery/raw/RawBytes.h"

using namespace rawbytes;

// Icons and cursors: a directory of up to 16 images, the images packed behind it.
bool FileICOAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (s[0] != 0 || s[1] != 0 || s[3] != 0) return false;
    uint16_t kind = LoadLE16(s + 2);
    if (kind != 1 && kind != 2) return false;
    uint16_t images = LoadLE16(s + 4);
    if (images < 1 || images > 16) return false;
    uint64_t size = 6;
    for (uint16_t i = 0; i < images; ++i) {
        const uint8_t* e = s + 6 + 16 * i;
        if (e[3] != 0 || LoadLE16(e + 6) > 256) return false;
        uint32_t bytes = LoadLE32(e + 8);
        if (bytes > 0xA00000 || LoadLE32(e + 12) > 0xA00000) return false;
        size += 16 + static_cast<uint64_t>(bytes);
    }
    if (size > 0x100000) return false;
    hit.fileTypeId = kind == 1 ? RAW_TYPE_ICO : RAW_TYPE_CUR;
    hit.size = size;
    return true;
}
