#include "media_recovery/raw/formats/FileDBXAnalyser.h"

#include "media_recovery/raw/RawBytes.h"

using namespace rawbytes;

bool FileDBXAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    static const uint8_t kFolder[16] = {0xCF, 0xAD, 0x12, 0xFE, 0xC5, 0xFD, 0x74, 0x6F,
                                        0x66, 0xE3, 0xD1, 0x11, 0x9A, 0x4E, 0x00, 0xC0};
    static const uint8_t kFolders[16] = {0xCF, 0xAD, 0x12, 0xFE, 0x30, 0x9D, 0xFE, 0x26,
                                         0x8F, 0x1A, 0xD2, 0x11, 0xAA, 0xBF, 0x00, 0x60};
    bool match = false;
    if (Equals(s, reinterpret_cast<const char*>(kFolders), 16)) {
        match = true;
    } else if (Equals(s, reinterpret_cast<const char*>(kFolder), 4) && s[4] >= 0xC5 && s[4] <= 0xC7 &&
               Equals(s + 5, reinterpret_cast<const char*>(kFolder + 5), 11)) {
        match = true;
    } else if (Equals(s, "JMF6\x03\x00\x10\x00", 8)) {
        match = true;
    }
    if (!match) return false;
    hit.fileTypeId = RAW_TYPE_DBX;
    hit.size = LoadLE32(s + 124);
    return true;
}
