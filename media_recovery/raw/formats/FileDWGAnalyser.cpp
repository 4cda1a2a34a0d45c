#include "media_recovery/raw/formats/FileDWGAnalyser.h"

#include <cstring>

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

namespace {

const char* const kVersions[] = {"AC1018", "AC1015", "AC1014", "AC1013", "AC1009", "AC1012", "AC1021"};

const uint8_t kPreviewSentinel[16] = {0x1F, 0x25, 0x6D, 0x07, 0xD4, 0x36, 0x28, 0x28,
                                      0x9D, 0x57, 0xCA, 0x3F, 0x9D, 0x44, 0x10, 0x2B};
const uint8_t kR18Sentinel[16] = {0x68, 0x40, 0xF8, 0xF7, 0x92, 0x2A, 0xB5, 0xEF,
                                  0x18, 0xDD, 0x0B, 0xF1, 0xF1, 0xBB, 0xE9, 0xEB};

// Searches the 16 bytes of needle from 0x90 on; the size is the find + extra.
bool SearchTrailer(CandidateReader& r, RawHit& hit, const uint8_t* needle, uint64_t extra) {
    uint64_t offset = 0x90;
    while (offset <= kRawMaxFileSize) {
        uint64_t avail = 0;
        const uint8_t* p = ReadCandidateBytes(r, offset, &avail);
        if (!p) {
            if (offset <= 0x200) return false;
            hit.size = offset;
            return true;
        }
        for (uint64_t i = 0; i < avail && offset + i <= kRawMaxFileSize; ++i) {
            // The window keeps one sector behind every position.
            if (p[i] == needle[0] && std::memcmp(p + i, needle, 16) == 0) {
                hit.size = offset + i + extra;
                return true;
            }
        }
        offset += avail;
    }
    hit.size = offset;
    return true;
}

}  // namespace

bool FileDWGAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    for (const char* v : kVersions) {
        if (Equals(s, v, 6) && s[6] == 0 && s[7] == 0) {
            hit.fileTypeId = RAW_TYPE_DWG;
            return true;
        }
    }
    return false;
}

bool FileDWGAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    CandidateReader r(device, hit.startSector);
    const uint8_t* h = ReadCandidateSpan(r, 0, 0x90);
    if (!h) return false;
    char version[7] = {};
    std::memcpy(version, h, 6);
    if (!std::strcmp(version, "AC1012") || !std::strcmp(version, "AC1013") || !std::strcmp(version, "AC1014") ||
        !std::strcmp(version, "AC1015")) {
        uint32_t preview = LoadLE32(h + 0x0D);
        uint32_t count = LoadLE32(h + 0x15);
        if (preview == 0 || count < 1 || count > 100) return false;
        // The locators (9 bytes each, up to 0x19 + 900) are read before the next window read.
        const uint8_t* loc = ReadCandidateBytes(r, 0);
        if (!loc) return false;
        uint64_t bestAddress = 0, bestSize = 0;
        bool any = false;
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* e = loc + 0x19 + 9 * i;
            uint32_t address = LoadLE32(e + 1), size = LoadLE32(e + 5);
            if (!any || address > bestAddress) {
                bestAddress = address;
                bestSize = size;
                any = true;
            }
        }
        const uint8_t* sentinel = ReadCandidateSpan(r, preview, 16);
        if (!sentinel || !Equals(sentinel, reinterpret_cast<const char*>(kPreviewSentinel), 16)) return false;
        if (bestAddress == 0 || bestSize == 0) return false;
        hit.size = bestAddress + bestSize;
        return true;
    }
    if (!std::strcmp(version, "AC1018")) {
        if (!Equals(h + 0x80, reinterpret_cast<const char*>(kR18Sentinel), 16)) return false;
        return SearchTrailer(r, hit, kR18Sentinel, 0x6C);
    }
    if (!std::strcmp(version, "AC1021")) {
        uint8_t needle[16];
        std::memcpy(needle, h + 0x80, 16);
        return SearchTrailer(r, hit, needle, 0x400);
    }
    return false;  // AC1009 and anything else: no size
}
