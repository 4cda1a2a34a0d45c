#include "media_recovery/raw/formats/FileCRWAnalyser.h"

#include <algorithm>
#include <cstring>

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

namespace {
constexpr uint64_t kCrwLimit = 0x1400000;
}

bool FileCRWAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "II\x1a\0\0\0HEAPCCDR\x02\0", 16)) return false;
    hit.fileTypeId = RAW_TYPE_CRW;
    return true;
}

// The camera's trailing description block marks the end; the file is padded to whole sectors.
// Read through the shared window, which serves any sector size.
bool FileCRWAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    CandidateReader r(device, hit.startSector);
    uint64_t x = 16;
    while (x <= kCrwLimit) {
        uint64_t avail = 0;
        const uint8_t* p = ReadCandidateBytes(r, x, &avail);
        if (!p) {
            if (x >= r.deviceBytes) break;  // the device ends before any end block
            return false;
        }
        uint64_t n = std::min<uint64_t>(avail, kCrwLimit - x + 1);
        for (uint64_t i = 0; i < n; ++i) {
            const uint8_t* q = p + i;
            if (*q != 'H') {
                const void* next = std::memchr(q, 'H', n - i);
                if (!next) break;
                i = static_cast<const uint8_t*>(next) - p;
                q = p + i;
            }
            // A window keeps one sector behind each position, enough for the 0x90-byte block.
            if (Equals(q, "High definition CCD image", 25) && Equals(q + 0x20, "CRW:High definition CCD image", 29) &&
                Equals(q + 0x7A, "Canon", 5) && Equals(q + 0x80, "Canon PowerShot", 15)) {
                uint64_t at = x + i;
                uint64_t ss = r.sectorSize;
                hit.size = (at + ss - 1) / ss * ss;
                if (hit.size > r.deviceBytes) hit.size = r.deviceBytes;
                return hit.size != 0;
            }
        }
        x += n;
    }
    hit.size = kCrwLimit;
    return true;
}
