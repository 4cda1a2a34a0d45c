#include "media_recovery/raw/formats/FileCPTAnalyser.h"

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

bool FileCPTAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "CPT7FILE", 8) && !Equals(s, "CPT8FILE", 8) && !Equals(s, "CPT9FILE", 8)) return false;
    if (LoadLE32(s + 52) != 316) return false;
    hit.fileTypeId = RAW_TYPE_CPT;
    return true;
}

namespace {

bool ReadU32(CandidateReader& r, uint64_t offset, uint64_t* out) {
    if (offset > kRawMaxFileSize) return false;
    const uint8_t* p = ReadCandidateSpan(r, offset, 4);
    if (!p) return false;
    *out = LoadLE32(p);
    return true;
}

}  // namespace

// A chain of offsets from the header to the last block's offset and length.
bool FileCPTAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    CandidateReader r(device, hit.startSector);
    uint64_t a = 0, n = 0, b = 0;
    if (!ReadU32(r, 0x34, &a) || !ReadU32(r, 0x28, &n) || a < 8) return false;
    if (!ReadU32(r, a - 8 + 8 * n, &b)) return false;
    uint64_t offset = b + 0x3C;
    uint64_t mark = 0, at = 0;
    if (!ReadU32(r, b + 0x20, &mark) || !ReadU32(r, offset, &at)) return false;
    if (mark != 0 && mark == at) offset = mark + 0x3C + b;
    uint64_t c = 0, d = 0;
    if (!ReadU32(r, offset, &c) || !ReadU32(r, offset + 4, &d)) return false;
    if (c == 0 || d == 0) {
        hit.size = b;
        return b != 0;
    }
    uint64_t start = 0, length = 0;
    if (c < 8 || !ReadU32(r, c - 8, &start) || !ReadU32(r, c - 4, &length)) return false;
    hit.size = start + length;
    return hit.size != 0;
}
