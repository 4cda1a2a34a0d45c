#include "media_recovery/raw/formats/FileUnicodeHTMAnalyser.h"

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

namespace {

constexpr uint64_t kLimit = 0x100000;

uint16_t Fold(uint16_t c) { return (c >= 'a' && c <= 'z') ? static_cast<uint16_t>(c - 32) : c; }

// Whether the UTF-16LE text at p equals the ASCII text, ignoring case.
bool EqualsWide(const uint8_t* p, const char* text) {
    for (size_t i = 0; text[i]; ++i)
        if (Fold(LoadLE16(p + 2 * i)) != Fold(static_cast<uint8_t>(text[i]))) return false;
    return true;
}

}  // namespace

bool FileUnicodeHTMAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "\xFF\xFE\x3C\x00", 4)) return false;
    hit.fileTypeId = RAW_TYPE_HTM;
    return true;
}

bool FileUnicodeHTMAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    CandidateReader r(device, hit.startSector);
    const uint8_t* s = ReadCandidateSpan(r, 0, 512);
    if (!s) return false;
    if (!EqualsWide(s + 2, "<HTML>") && LoadLE16(s + 4) != '!') return false;
    bool found = false;
    for (size_t at = 2; at < 500 && !found; at += 2) found = EqualsWide(s + at, "<HTML>");
    if (!found) return false;
    uint64_t offset = 14;
    while (offset <= kLimit) {
        const uint8_t* p = ReadCandidateBytes(r, offset);  // a further sector lies behind it
        if (!p) return false;
        uint16_t c = LoadLE16(p);
        if (c == '<' && EqualsWide(p, "</HTML>")) {
            hit.size = offset + 16;
            return true;
        }
        if (c == 0xFFFF || c == 0xFEFF || c == 0) {
            hit.size = offset;
            return true;
        }
        offset += 2;
    }
    hit.size = offset;
    return true;
}
