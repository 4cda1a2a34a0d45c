#include "media_recovery/raw/formats/FileGIFAnalyser.h"

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

namespace {
constexpr uint64_t kResyncBudget = 1024;

// Skips a chain of data sub-blocks starting at offset; false on a read error or a runaway chain.
bool SkipSubBlocks(CandidateReader& r, uint64_t& offset) {
    while (offset <= kRawMaxFileSize) {
        const uint8_t* p = ReadCandidateSpan(r, offset, 1);
        if (!p) return false;
        uint8_t n = *p;
        offset += 1 + static_cast<uint64_t>(n);
        if (n == 0) return true;
    }
    return false;
}
}  // namespace

bool FileGIFAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "GIF87a", 6) && !Equals(s, "GIF89a", 6)) return false;
    hit.fileTypeId = RAW_TYPE_GIF;
    return true;
}

// Block walk from the end of the global colour table to the trailer.
bool FileGIFAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    CandidateReader r(device, hit.startSector);
    const uint8_t* h = ReadCandidateSpan(r, 0, 13);
    if (!h) return false;
    uint64_t offset = 13 + 3 * (uint64_t(1) << ((h[10] & 7) + 1));
    uint64_t budget = kResyncBudget;  // shared by every resynchronisation of the candidate
    while (offset <= kRawMaxFileSize) {
        const uint8_t* p = ReadCandidateSpan(r, offset, 12);
        if (!p) {
            p = ReadCandidateSpan(r, offset, 1);
            if (!p || *p != 0x3B) return false;
        }
        switch (*p) {
            case 0x3B:
                hit.size = offset + 1;
                return true;
            case 0x21:
                offset += 2;
                if (!SkipSubBlocks(r, offset)) return false;
                break;
            case 0x2C: {
                uint8_t packed = p[9];
                offset += 10;
                if (packed & 0x80) offset += 3 * (uint64_t(1) << ((packed & 7) + 1));
                offset += 1;  // LZW minimum code size
                if (!SkipSubBlocks(r, offset)) return false;
                break;
            }
            default: {
                // Look ahead for an image separator or a trailer followed by a zero byte.
                bool found = false;
                while (budget > 0) {
                    const uint8_t* q = ReadCandidateSpan(r, offset, 2);
                    if (!q) return false;
                    if (q[0] == 0x2C || (q[0] == 0x3B && q[1] == 0)) {
                        found = true;
                        break;
                    }
                    ++offset;
                    --budget;
                }
                if (!found) return false;
                break;
            }
        }
    }
    return false;
}
