#include "media_recovery/raw/formats/FileTTFAnalyser.h"

#include "media_recovery/raw/RawBytes.h"

using namespace rawbytes;

namespace {

bool IsKnownTag(const uint8_t* p) {
    static const char* const kTags[] = {"DSIG", "cmap", "glyf", "head", "hhea", "hmtx", "loca", "maxp", "name",
                                        "post", "OS/2", "cvt ", "EBDT", "EBLC", "EBSC", "fpgm", "gasp", "hdmx",
                                        "kern", "LTSH", "prep", "PCLT", "VDMX", "vhea", "vmtx"};
    for (const char* t : kTags)
        if (Equals(p, t, 4)) return true;
    return false;
}

}  // namespace

bool FileTTFAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "\x00\x01\x00\x00", 4)) return false;
    uint16_t tables = LoadBE16(s + 4);
    if (tables < 1 || tables > 31) return false;  // 31 records end at 508: inside the sector
    // Summed in 64 bits: 31 lengths near 4 GiB must not wrap.
    uint64_t size = 12 + 16 * static_cast<uint64_t>(tables);
    unsigned known = 0;
    for (unsigned i = 0; i < tables; ++i) {
        const uint8_t* rec = s + 12 + 16 * i;
        if (IsKnownTag(rec)) ++known;
        size += (static_cast<uint64_t>(LoadBE32(rec + 12)) + 3) & ~uint64_t(3);
    }
    if (2 * known < tables) return false;
    hit.fileTypeId = RAW_TYPE_TTF;
    hit.size = size;
    return true;
}
