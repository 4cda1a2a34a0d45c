#include "media_recovery/raw/formats/FileTIFAnalyser.h"

#include <algorithm>

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

namespace {

constexpr uint32_t kMaxEntries = 512;

uint64_t FieldTypeSize(uint16_t type) {
    static const uint8_t kSizes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    return type < 13 ? kSizes[type] : 0;
}

}  // namespace

bool FileTIFAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "MM\0*", 4) && !Equals(s, "II*\0", 4)) return false;
    hit.fileTypeId = RAW_TYPE_TIF;
    return true;
}

bool FileTIFAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    ClearTexts();
    stripOffset_ = largestEnd_ = stripBytes_ = 0;
    CandidateReader r(device, hit.startSector);
    const uint8_t* h = ReadCandidateSpan(r, 0, 8);
    if (!h) return false;
    bigEndian_ = Equals(h, "MM\0*", 4);
    auto u16 = [this](const uint8_t* p) { return bigEndian_ ? LoadBE16(p) : LoadLE16(p); };
    auto u32 = [this](const uint8_t* p) { return bigEndian_ ? LoadBE32(p) : LoadLE32(p); };

    uint64_t ifd = u32(h + 4);
    if (ifd > kRawMaxFileSize) return false;
    const uint8_t* c = ReadCandidateSpan(r, ifd, 2);
    if (!c) return false;
    uint32_t count = u16(c);
    if (count > kMaxEntries) return false;

    std::string model;
    uint64_t directoryBytes = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = ReadCandidateSpan(r, ifd + 2 + 12 * i, 12);
        if (!e) return false;
        uint16_t tag = u16(e), type = u16(e + 2);
        uint64_t n = u32(e + 4), value = u32(e + 8);
        directoryBytes += 12 + n * FieldTypeSize(type);
        switch (tag) {
            case 0x111: stripOffset_ = value; break;
            case 0x117:
                stripBytes_ = value;
                largestEnd_ = std::max(largestEnd_, value + stripOffset_);
                break;
            case 0x110: {
                // At most 63 characters, up to the text's own terminator.
                const uint8_t* t = ReadCandidateSpan(r, value, 64);
                if (!t) return false;
                size_t len = 0;
                while (len < 63 && t[len] != 0) ++len;
                model.assign(reinterpret_cast<const char*>(t), len);
                break;
            }
            case 0x10F:
                if (!ReadCandidateSpan(r, value, 1)) return false;
                break;
            case 0x14A: {
                if (n != 2) break;
                const uint8_t* v = ReadCandidateSpan(r, value, 8);
                if (!v) return false;
                uint64_t sub = u32(v + 4);  // in the file's own byte order
                const uint8_t* sc = ReadCandidateSpan(r, sub, 2);
                if (!sc) return false;
                uint32_t subCount = u16(sc);
                if (subCount > kMaxEntries) return false;
                uint64_t subStrip = 0, subBytes = 0;
                for (uint32_t k = 0; k < subCount; ++k) {
                    const uint8_t* se = ReadCandidateSpan(r, sub + 2 + 12 * k, 12);
                    if (!se) return false;
                    uint16_t st = u16(se);
                    if (st == 0x111) subStrip = u32(se + 8);
                    if (st == 0x117) subBytes = u32(se + 8);
                }
                largestEnd_ = std::max(largestEnd_, subStrip + subBytes);
                break;
            }
            default: break;
        }
    }
    if (model.compare(0, 5, "NIKON") == 0) {
        hit.fileTypeId = RAW_TYPE_NEF;
        NameHit(hit, model, std::string());
    }
    if (!model.empty()) {
        hit.size = largestEnd_;
    } else {
        uint64_t total = ifd + 2 + directoryBytes;
        if (total <= 18) return false;
        hit.size = total - 18;
    }
    return hit.size != 0;
}
