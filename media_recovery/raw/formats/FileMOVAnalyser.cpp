#include "media_recovery/raw/formats/FileMOVAnalyser.h"

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

bool FileMOVAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s + 4, "ftyp", 4)) return false;
    hit.fileTypeId = RAW_TYPE_MOV;
    return true;
}

// Top-level atoms of the kinds a movie file holds; a 64-bit atom length (length field 1) is taken
// from the 8 bytes behind the type, so that large movies are not cut at their media data.
bool FileMOVAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    static const char* const kTypes[] = {"free", "mdat", "pnot", "moov", "wide", "ftyp"};
    CandidateReader r(device, hit.startSector);
    uint64_t offset = 0;
    while (offset <= kRawMaxFileSize) {
        const uint8_t* p = ReadCandidateSpan(r, offset, 16);
        if (!p) p = ReadCandidateSpan(r, offset, 8);
        if (!p) break;
        uint64_t length = LoadBE32(p);
        if (length == 1) {
            if (!ReadCandidateSpan(r, offset, 16)) break;
            length = (static_cast<uint64_t>(LoadBE32(p + 8)) << 32) | LoadBE32(p + 12);
            if (length < 16) break;
        } else if (length < 8) {
            break;
        }
        bool known = false;
        for (const char* t : kTypes)
            if (Equals(p + 4, t, 4)) known = true;
        if (!known) break;
        if (length > kRawMaxFileSize + 1 - offset) {  // beyond the largest carve: stop past it
            offset = kRawMaxFileSize + 1;
            break;
        }
        offset += length;
    }
    hit.size = offset;
    return true;
}
