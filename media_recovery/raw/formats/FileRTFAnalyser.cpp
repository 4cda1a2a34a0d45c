#include "media_recovery/raw/formats/FileRTFAnalyser.h"

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

bool FileRTFAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "{\\rtf", 5)) return false;
    hit.fileTypeId = RAW_TYPE_RTF;
    return true;
}

// Brace depth from the opening brace; "\{", "\}" and "\\" are text, not groups.
bool FileRTFAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    CandidateReader r(device, hit.startSector);
    uint64_t depth = 1;
    uint64_t offset = 6;
    bool escaped = false;
    while (offset <= kRawMaxFileSize) {
        uint64_t avail = 0;
        const uint8_t* p = ReadCandidateBytes(r, offset, &avail);
        if (!p) return false;
        for (uint64_t i = 0; i < avail; ++i) {
            uint8_t c = p[i];
            if (escaped) {
                escaped = false;
                if (c == 0) return false;
                continue;
            }
            switch (c) {
                case 0: return false;
                case '\\': escaped = true; break;
                case '{': ++depth; break;
                case '}':
                    if (--depth == 0) {
                        hit.size = offset + i + 1;
                        return true;
                    }
                    break;
                default: break;
            }
        }
        offset += avail;
    }
    hit.size = kRawMaxFileSize + 1;
    return true;
}
