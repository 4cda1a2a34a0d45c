#include "media_recovery/raw/formats/FileTARAnalyser.h"

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

namespace {

constexpr uint64_t kBlock = 512;      // tar blocks are 512 bytes on any device
constexpr uint64_t kRecord = 10240;   // the default record that tar pads its archives to

bool IsZeroBlock(const uint8_t* p) {
    for (size_t i = 0; i < kBlock; ++i)
        if (p[i]) return false;
    return true;
}

uint64_t OctalSize(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 0; i < 11; ++i) {
        uint8_t c = p[i];
        v = v * 8 + ((c >= '0' && c <= '7') ? c - '0' : 0);
    }
    return v;
}

}  // namespace

bool FileTARAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s + 257, "ustar", 5)) return false;
    hit.fileTypeId = RAW_TYPE_TAR;
    return true;
}

// Member by member up to the end-of-archive marker (two zero blocks), then the zero padding of the
// last record. Directories and empty files (size 0) are members like any other.
bool FileTARAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    CandidateReader r(device, hit.startSector);
    uint64_t offset = 0;
    int zeroBlocks = 0;
    while (offset <= kRawMaxFileSize) {
        const uint8_t* p = ReadCandidateSpan(r, offset, kBlock);
        if (!p) {
            if (offset == 0) return false;
            break;
        }
        if (IsZeroBlock(p)) {
            offset += kBlock;
            if (++zeroBlocks == 2) {
                // The rest of the last record is zeros too when the archive is whole.
                while (offset % kRecord != 0 && offset <= kRawMaxFileSize) {
                    const uint8_t* q = ReadCandidateSpan(r, offset, kBlock);
                    if (!q || !IsZeroBlock(q)) break;
                    offset += kBlock;
                }
                break;
            }
            continue;
        }
        if (zeroBlocks) {  // a single zero block followed by data: the archive ended before it
            offset -= kBlock;
            break;
        }
        if (p[0] > 32 && !Equals(p + 257, "ustar", 5)) {
            if (offset == 0) return false;
            break;
        }
        uint64_t size = OctalSize(p + 124);
        offset += kBlock + (size + kBlock - 1) / kBlock * kBlock;
    }
    hit.size = offset;
    return offset != 0;
}
