#include "media_recovery/raw/formats/FileONEAnalyser.h"

#include "media_recovery/raw/RawBytes.h"

using namespace rawbytes;

bool FileONEAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    static const uint8_t kGuid[16] = {0xE4, 0x52, 0x5C, 0x7B, 0x8C, 0xD8, 0xA7, 0x4D,
                                      0xAE, 0xB1, 0x53, 0x78, 0xD0, 0x29, 0x96, 0xD3};
    if (!Equals(s, reinterpret_cast<const char*>(kGuid), 16)) return false;
    uint32_t size = LoadLE32(s + 196);
    hit.fileTypeId = RAW_TYPE_ONE;
    hit.size = (size == 0 || size > 0x40000000) ? 0x300000 : size;
    return true;
}
