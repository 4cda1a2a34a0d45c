#include "media_recovery/raw/formats/FilePSDAnalyser.h"

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

bool FilePSDAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "8BPS", 4)) return false;
    hit.fileTypeId = RAW_TYPE_PSD;
    return true;
}

namespace {

bool ReadBE32(CandidateReader& r, uint64_t offset, uint64_t* out) {
    if (offset > kRawMaxFileSize) return false;
    const uint8_t* p = ReadCandidateSpan(r, offset, 4);
    if (!p) return false;
    *out = LoadBE32(p);
    return true;
}

}  // namespace

// Header, colour-mode data, image resources, layer and mask information, then the merged image
// data, raw or run-length coded with a table of row lengths in front.
bool FilePSDAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    CandidateReader r(device, hit.startSector);
    const uint8_t* h = ReadCandidateSpan(r, 0, 30);
    if (!h || LoadBE16(h + 4) != 1) return false;
    for (int i = 6; i < 12; ++i)
        if (h[i] != 0) return false;
    uint64_t channels = LoadBE16(h + 12), height = LoadBE32(h + 14), width = LoadBE32(h + 18), depth = LoadBE16(h + 22);
    uint64_t offset = 30 + static_cast<uint64_t>(LoadBE32(h + 26));
    for (int section = 0; section < 2; ++section) {
        uint64_t length = 0;
        if (!ReadBE32(r, offset, &length)) return false;
        offset += 4 + length;
    }
    if (offset > kRawMaxFileSize) return false;
    const uint8_t* c = ReadCandidateSpan(r, offset, 2);
    if (!c) return false;
    uint16_t compression = LoadBE16(c);
    if (compression > 1) return false;
    offset += 2;
    if (channels < 1 || channels > 56 || height < 1 || height > 300000 || width < 1 || width > 300000 ||
        (depth != 1 && depth != 8 && depth != 16 && depth != 32))
        return false;
    uint64_t rows = channels * height;
    if (compression == 0) {
        uint64_t rowBytes = (width * depth + 7) / 8;
        if (rowBytes > kRawMaxFileSize / rows) return false;
        offset += rows * rowBytes;
    } else {
        uint64_t data = 0;
        uint64_t table = offset;
        offset += rows * 2;
        if (offset > kRawMaxFileSize) return false;
        for (uint64_t i = 0; i < rows; ++i) {
            const uint8_t* p = ReadCandidateSpan(r, table + i * 2, 2);
            if (!p) return false;
            data += LoadBE16(p);
        }
        offset += data;
    }
    if (offset > kRawMaxFileSize) return false;
    hit.size = offset;
    return true;
}
