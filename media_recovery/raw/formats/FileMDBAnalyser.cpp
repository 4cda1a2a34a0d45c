#include "media_recovery/raw/formats/FileMDBAnalyser.h"

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

namespace {
constexpr uint64_t kMdbLimit = 0x6400000;
}

bool FileMDBAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (Equals(s, "\x00\x01\x00\x00Standard Jet DB\x00", 20)) {
        hit.fileTypeId = RAW_TYPE_MDB;
        return true;
    }
    if (Equals(s, "\x00\x01\x00\x00Standard ACE DB\x00", 20)) {
        hit.fileTypeId = RAW_TYPE_ACCDB;
        return true;
    }
    return false;
}

// Every used page starts with a non-zero page type.
bool FileMDBAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    CandidateReader r(device, hit.startSector);
    uint64_t offset = 4096;
    while (offset < kMdbLimit) {
        const uint8_t* p = ReadCandidateSpan(r, offset, 1);
        if (!p || *p == 0) break;
        offset += 4096;
    }
    hit.size = offset;
    return true;
}
