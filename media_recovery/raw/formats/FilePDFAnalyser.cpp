#include "media_recovery/raw/formats/FilePDFAnalyser.h"

#include <algorithm>
#include <cstring>

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

namespace {

bool IsTextByte(uint8_t c) { return (c >= 0x20 && c < 0x7F) || c == '\r' || c == '\n'; }

// Whether what follows an end-of-file marker (at p, behind "%%EOF") continues the document: an
// incremental update starts with an object, a cross-reference section or a comment.
bool ContinuesAfterEof(const uint8_t* p, uint64_t available) {
    size_t i = 5;
    while (i < available && i < 64 && (p[i] == '\r' || p[i] == '\n' || p[i] == ' ' || p[i] == '\t')) ++i;
    if (i >= available || i >= 64) return false;
    uint8_t c = p[i];
    return (c >= '0' && c <= '9') || c == 'x' || (c == '%' && p[i + 1] != 'P');
}

}  // namespace

bool FilePDFAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "%PDF-", 5)) return false;
    hit.fileTypeId = RAW_TYPE_PDF;
    return true;
}

// A document ends at its last "%%EOF": incremental updates append objects and a further "%%EOF"
// behind the first. The scan stops at the next "%PDF-" (a following document), at an end marker
// that nothing of the document follows, or at the size limit.
bool FilePDFAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    hit.fileTypeId = RAW_TYPE_PDF;
    CandidateReader r(device, hit.startSector);
    uint64_t offset = 4;
    uint64_t lastEnd = 0;
    while (offset <= kRawMaxFileSize) {
        uint64_t avail = 0;
        const uint8_t* base = ReadCandidateBytes(r, offset, &avail);
        if (!base) {
            if (lastEnd) break;  // the device ends behind a complete document
            return false;
        }
        uint64_t n = std::min<uint64_t>(avail, kRawMaxFileSize - offset + 1);
        uint64_t i = 0;
        while (i < n) {
            const void* pct = std::memchr(base + i, '%', n - i);
            if (!pct) {
                i = n;
                break;
            }
            i = static_cast<const uint8_t*>(pct) - base;
            const uint8_t* p = base + i;  // the window holds a further sector behind p
            uint64_t at = offset + i;
            if (Equals(p, "%!PS-Adobe", 10)) {
                hit.fileTypeId = RAW_TYPE_AI;
            } else if (Equals(p, "%%EOF", 5)) {
                if (hit.fileTypeId == RAW_TYPE_AI) {
                    lastEnd = at + 7;
                    if (!IsTextByte(p[5]) || !IsTextByte(p[6]) || !IsTextByte(p[7])) {
                        hit.size = lastEnd;
                        return true;
                    }
                } else {
                    lastEnd = at + 6;
                    if (!ContinuesAfterEof(p, avail - i + r.sectorSize)) {
                        hit.size = lastEnd;
                        return true;
                    }
                }
            } else if (Equals(p, "%PDF-", 5)) {
                hit.size = lastEnd ? lastEnd : at;
                return true;
            }
            ++i;
        }
        offset += n;
    }
    hit.size = lastEnd ? lastEnd : offset;
    return true;
}
