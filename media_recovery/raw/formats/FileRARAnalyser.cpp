#include "media_recovery/raw/formats/FileRARAnalyser.h"

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

namespace {

// Length of the block whose header is at p (at least 16 bytes readable), or 0 when it is no block.
uint64_t BlockLength(const uint8_t* p) {
    uint8_t type = p[2];
    uint16_t headerSize = LoadLE16(p + 5);
    if (headerSize <= 6) return 0;
    switch (type) {
        case 0x73:  // archive header
            return headerSize > 9 ? headerSize : 0;
        case 0x74:  // file
            if (LoadLE32(p + 7) > LoadLE32(p + 11) || p[15] >= 5) return 0;
            return static_cast<uint64_t>(headerSize) + LoadLE32(p + 7);
        case 0x77:
            if (p[13] != 0) return 0;
            return static_cast<uint64_t>(headerSize) + LoadLE32(p + 7);
        case 0x75:
            return static_cast<uint64_t>(headerSize) + LoadLE16(p + 7);
        case 0x76:
            return headerSize;
        case 0x78:
        case 0x7A:
        case 0x7B:
            return headerSize > 9 ? static_cast<uint64_t>(headerSize) + LoadLE32(p + 7) : 0;
        default:
            return 0;
    }
}

}  // namespace

bool FileRARAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "Rar!\x1A\x07\x00", 7)) return false;
    hit.fileTypeId = RAW_TYPE_RAR;
    return true;
}

bool FileRARAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    CandidateReader r(device, hit.startSector);
    uint64_t offset = 7;
    bool first = true;
    while (offset <= kRawMaxFileSize) {
        const uint8_t* p = ReadCandidateBytes(r, offset);  // a further sector lies behind it
        if (!p) {
            if (offset >= r.deviceBytes && !first) break;  // the device ends behind the last block
            return false;
        }
        uint64_t length = BlockLength(p);
        if (length == 0) {
            if (first) return false;
            break;
        }
        first = false;
        offset += length;
    }
    if (offset <= kRawMaxFileSize) {
        const uint8_t* p = ReadCandidateBytes(r, offset);
        if (p && Equals(p, "\xC4\x3D\x7B\x00\x40\x07\x00", 7)) offset += 7;
    }
    hit.size = offset;
    return true;
}
