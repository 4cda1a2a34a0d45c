#include "media_recovery/raw/formats/FilePSPAnalyser.h"

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

bool FilePSPAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "Paint Shop Pro Image File\n\x1a\0\0\0\0\0", 32)) return false;
    hit.fileTypeId = RAW_TYPE_PSP;
    return true;
}

// Block chain: each block starts with "~BK\0" and gives its total length at 6.
bool FilePSPAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    CandidateReader reader(device, hit.startSector);
    uint64_t offset = 36;
    while (offset <= kRawMaxFileSize) {
        const uint8_t* b = ReadCandidateSpan(reader, offset, 10);
        if (!b) {
            // Past the device's end the walk simply stops; any other failure rejects.
            if (offset + 10 > reader.deviceBytes) break;
            return false;
        }
        if (!Equals(b, "~BK\0", 4)) break;
        offset += 10 + static_cast<uint64_t>(LoadLE32(b + 6));
    }
    if (offset < 512) return false;
    hit.size = offset;
    return true;
}
