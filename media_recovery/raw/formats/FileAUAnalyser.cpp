#include "media_recovery/raw/formats/FileAUAnalyser.h"

#include "media_recovery/raw/RawBytes.h"

using namespace rawbytes;

bool FileAUAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, ".snd", 4)) return false;
    uint32_t offset = LoadBE32(s + 4), size = LoadBE32(s + 8);
    if (offset < 24 || size == 0xFFFFFFFF) return false;
    hit.fileTypeId = RAW_TYPE_AU;
    // Summed in 64 bits: both fields may be near 4 GiB.
    hit.size = static_cast<uint64_t>(offset) + size;
    return true;
}
