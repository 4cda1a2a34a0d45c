#include "media_recovery/raw/formats/FileASFAnalyser.h"

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

namespace {

const uint8_t kHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const uint8_t kDataGuid[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                               0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const uint8_t kIndexGuid[16] = {0x90, 0x08, 0x00, 0x33, 0xB1, 0xE5, 0xCF, 0x11,
                                0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB};

}  // namespace

bool FileASFAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, reinterpret_cast<const char*>(kHeaderGuid), 16)) return false;
    hit.fileTypeId = RAW_TYPE_ASF;
    return true;
}

// Header object, data object, then the optional simple index object.
bool FileASFAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    const uint8_t* const kGuids[3] = {kHeaderGuid, kDataGuid, kIndexGuid};
    CandidateReader r(device, hit.startSector);
    uint64_t offset = 0;
    for (int i = 0; i < 3; ++i) {
        const uint8_t* p = ReadCandidateSpan(r, offset, 24);
        bool match = p && Equals(p, reinterpret_cast<const char*>(kGuids[i]), 16);
        if (!match) {
            if (i < 2) return false;
            break;
        }
        uint64_t length = LoadLE64(p + 16);
        if (length < 24) {  // no object is shorter than its own header
            if (i < 2) return false;
            break;
        }
        if (length > kRawMaxFileSize + 1 - offset) {
            offset = kRawMaxFileSize + 1;
            break;
        }
        offset += length;
    }
    hit.size = offset;
    return true;
}
