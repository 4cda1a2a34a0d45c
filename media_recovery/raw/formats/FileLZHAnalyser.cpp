#include "media_recovery/raw/formats/FileLZHAnalyser.h"

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

namespace {
bool IsMethod(const uint8_t* p) { return Equals(p, "-lh5-", 5) || Equals(p, "-lh0-", 5); }
}  // namespace

bool FileLZHAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if ((!Equals(s + 2, "-lh5", 4) && !Equals(s + 2, "-lh0", 4)) || s[6] != '-') return false;
    hit.fileTypeId = RAW_TYPE_LZH;
    return true;
}

bool FileLZHAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    CandidateReader r(device, hit.startSector);
    uint64_t offset = 0;
    while (offset <= kRawMaxFileSize) {
        const uint8_t* p = ReadCandidateSpan(r, offset, 11);
        if (!p || !IsMethod(p + 2)) {
            if (offset == 0) return false;
            // The archive's closing zero byte belongs to it.
            if (!p) p = ReadCandidateSpan(r, offset, 1);
            if (p && p[0] == 0) ++offset;
            break;
        }
        offset += 2 + static_cast<uint64_t>(p[0]) + LoadLE32(p + 7);
    }
    hit.size = offset;
    return true;
}
