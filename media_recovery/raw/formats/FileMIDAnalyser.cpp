#include "media_recovery/raw/formats/FileMIDAnalyser.h"

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

bool FileMIDAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "MThd\0\0\0\x06", 8) || LoadBE16(s + 8) > 2 || LoadBE16(s + 10) == 0) return false;
    hit.fileTypeId = RAW_TYPE_MID;
    return true;
}

bool FileMIDAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    CandidateReader r(device, hit.startSector);
    uint64_t offset = 14;
    while (offset <= kRawMaxFileSize) {
        const uint8_t* p = ReadCandidateSpan(r, offset, 8);
        if (!p || !EqualsNoCase(p, "MTrk", 4)) break;
        offset += 8 + static_cast<uint64_t>(LoadBE32(p + 4));
    }
    hit.size = offset;
    return true;
}
