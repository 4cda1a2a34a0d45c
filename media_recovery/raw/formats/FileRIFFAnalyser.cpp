#include "media_recovery/raw/formats/FileRIFFAnalyser.h"

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

bool FileRIFFAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "RIFF", 4)) return false;
    const uint8_t* form = s + 8;
    const uint8_t* chunk = s + 12;
    uint32_t type = RAW_TYPE_RIFF;
    if (EqualsNoCase(form, "WAVE", 4) && EqualsNoCase(chunk, "fmt ", 4)) {
        type = RAW_TYPE_WAV;
    } else if (EqualsNoCase(form, "AVI ", 4) && EqualsNoCase(chunk, "LIST", 4)) {
        type = RAW_TYPE_AVI;
    } else if (EqualsNoCase(form, "ACON", 4) && (EqualsNoCase(chunk, "LIST", 4) || EqualsNoCase(chunk, "anih", 4))) {
        type = RAW_TYPE_ANI;
    } else if (Equals(form, "CMX1", 4) && Equals(s + 20, "{Corel Binary Meta File}", 24)) {
        type = RAW_TYPE_CMX;
    } else if (EqualsNoCase(form, "CARC", 4) && EqualsNoCase(chunk, "vrsn", 4)) {
        type = RAW_TYPE_CLK;
    } else if (EqualsNoCase(form, "CSL2", 4) && EqualsNoCase(chunk, "vrsn", 4)) {
        type = RAW_TYPE_CSL;
    } else if (EqualsNoCase(form, "CDR", 3) && EqualsNoCase(chunk, "vrsn", 4)) {
        uint8_t v = form[3];
        if (v >= 'a' && v <= 'z') v = static_cast<uint8_t>(v - 32);
        if ((v >= '7' && v <= '9') || (v >= 'A' && v <= 'C')) type = RAW_TYPE_CDR;
    }
    hit.fileTypeId = type;
    // In 64 bits: a length field near 4 GiB must not wrap to a few bytes. The media forms are
    // sized by their chunks.
    hit.size = type == RAW_TYPE_WAV || type == RAW_TYPE_AVI ? 0 : static_cast<uint64_t>(LoadLE32(s + 4)) + 8;
    return true;
}

namespace {

// A chunk: +0 four-character id, +4 length (LE32) of the data behind these 8 bytes, padded to an
// even length; a "LIST" chunk's data is a four-character type and chunks again.
constexpr int kMostChunks = 1 << 20;

bool IsFourCC(const uint8_t* p) {
    for (int i = 0; i < 4; ++i)
        if (p[i] < 0x20 || p[i] > 0x7E) return false;
    return true;
}

}  // namespace

bool FileRIFFAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    CandidateReader r(device, hit.startSector);
    const uint8_t* head = ReadCandidateSpan(r, 0, 12);
    if (!head) return false;
    const uint64_t end = static_cast<uint64_t>(LoadLE32(head + 4)) + 8;
    // Where each open list ends, innermost last; the file itself is the outermost.
    uint64_t ends[8] = {end};
    int depth = 1;
    uint64_t at = 12;
    for (int n = 0; n < kMostChunks && at < end && at <= kRawMaxFileSize; ++n) {
        while (depth > 1 && at >= ends[depth - 1]) --depth;
        if (at >= r.deviceBytes) {
            hit.CutInPart(at, "the device ends at byte " + std::to_string(at) + " of it, inside its RIFF chunks");
            return true;
        }
        const uint8_t* c = ReadCandidateSpan(r, at, 12);
        if (!c) return false;
        const uint64_t length = LoadLE32(c + 4);
        if (!IsFourCC(c) || at + 8 + length > ends[depth - 1]) {
            hit.CutInPart(at, "its RIFF chunks break off at byte " + std::to_string(at));
            return true;
        }
        if (Equals(c, "LIST", 4) && length >= 4 && depth < 8) {
            ends[depth++] = at + 8 + length;
            at += 12;
        } else {
            at += 8 + length + (length & 1);
        }
    }
    hit.size = end;
    return true;
}
