#include "media_recovery/raw/formats/FilePNGAnalyser.h"

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

namespace {
constexpr uint64_t kPngLimit = 0x1400000;
}

bool FilePNGAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "\x89PNG\r\n\x1a\n", 8)) return false;
    hit.fileTypeId = RAW_TYPE_PNG;
    return true;
}

// Chunk walk up to the end of the IEND chunk.
bool FilePNGAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    CandidateReader reader(device, hit.startSector);
    const uint8_t* p = ReadCandidateSpan(reader, 0, 24);
    if (!p || !Equals(p + 12, "IHDR", 4)) return false;
    uint32_t width = LoadBE32(p + 16), height = LoadBE32(p + 20);
    if (width == 0 || height == 0 || width >= 0x80000000u || height >= 0x80000000u) return false;
    uint64_t offset = static_cast<uint64_t>(LoadBE32(p + 8)) + 20;
    bool sawData = false;
    while (offset <= kPngLimit) {
        const uint8_t* c = ReadCandidateSpan(reader, offset, 8);
        if (!c) return false;
        uint32_t length = LoadBE32(c);
        if (length > kPngLimit) {
            if (!sawData) return false;
            hit.size = offset;
            return true;
        }
        bool end = Equals(c + 4, "IEND", 4);
        if (Equals(c + 4, "IDAT", 4)) sawData = true;
        offset += static_cast<uint64_t>(length) + 12;
        if (end) {
            hit.size = offset;
            return true;
        }
    }
    return false;
}
