#include "media_recovery/raw/formats/FileJPGAnalyser.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

namespace {

constexpr uint64_t kPlainWalkLimit = 0x2000000;
constexpr int kMaxMarkers = 100000;

enum class Walk { Jfif, Exif, Plain };

// The texts of an EXIF block that name a carved picture.
struct ExifPictureInfo {
    char make[32] = {};
    char model[40] = {};
    char dateTime[20] = {};
};

// Reads the APP1 EXIF block that starts at file offset `base` (its "Exif" mark) with `length` bytes.
class ExifBlockReader {
public:
    ExifBlockReader(CandidateReader& r, uint64_t base, uint64_t length) : r_(r), base_(base), length_(length) {}

    bool Read(ExifPictureInfo& info) {
        const uint8_t* p = Span(0, 14);
        if (!p || !Equals(p, "Exif\0\0", 6)) return false;
        if (p[6] == 'I' && p[7] == 'I')
            g_rawBigEndian = 0;
        else if (p[6] == 'M' && p[7] == 'M')
            g_rawBigEndian = 1;
        else
            return false;
        if (ReadOrderedU16(p + 8) != 42) return false;
        uint32_t first = ReadOrderedU32(p + 10);
        if (first < 8 || first > 16) return false;
        WalkDirectory(first, info, 0);
        return true;
    }

private:
    // tiff is an offset from the TIFF header (6 bytes after the "Exif" mark).
    const uint8_t* Span(uint64_t at, size_t n) {
        if (at > length_ || n > length_ - at) return nullptr;
        return ReadCandidateSpan(r_, base_ + at, n);
    }
    const uint8_t* Tiff(uint64_t at, size_t n) { return Span(at + 6, n); }

    void CopyText(uint32_t count, const uint8_t* entry, char* out, size_t capacity) {
        if (count == 0) return;
        size_t n = std::min<size_t>(count, capacity - 1);
        const uint8_t* src = count <= 4 ? entry + 8 : Tiff(ReadOrderedU32(entry + 8), n);
        if (!src) return;
        size_t i = 0;
        for (; i < n && src[i] != 0; ++i) out[i] = static_cast<char>(src[i]);
        out[i] = 0;
    }

    void WalkDirectory(uint32_t at, ExifPictureInfo& info, int depth) {
        // Directories link to each other: a visited set and a depth bound stop loops.
        for (int chain = 0; at != 0 && chain < 8 && depth < 4; ++chain) {
            if (!visited_.insert(at).second || visited_.size() > 32) return;
            const uint8_t* c = Tiff(at, 2);
            if (!c) return;
            uint16_t count = ReadOrderedU16(c);
            if (count > 512) return;
            for (uint16_t i = 0; i < count; ++i) {
                const uint8_t* e = Tiff(static_cast<uint64_t>(at) + 2 + 12 * i, 12);
                if (!e) return;
                uint16_t tag = ReadOrderedU16(e);
                uint32_t n = ReadOrderedU32(e + 4);
                switch (tag) {
                    case 0x10F: CopyText(n, e, info.make, sizeof(info.make)); break;
                    case 0x110: CopyText(n, e, info.model, sizeof(info.model)); break;
                    case 0x9003: CopyText(n, e, info.dateTime, sizeof(info.dateTime)); break;
                    case 0x8769:
                    case 0xA005: {
                        uint32_t sub = ReadOrderedU32(e + 8);
                        WalkDirectory(sub, info, depth + 1);
                        break;
                    }
                    default: break;
                }
            }
            const uint8_t* next = Tiff(static_cast<uint64_t>(at) + 2 + 12 * count, 4);
            if (!next) return;
            at = ReadOrderedU32(next);
        }
    }

    CandidateReader& r_;
    uint64_t base_;
    uint64_t length_;
    std::set<uint32_t> visited_;
};

}  // namespace

bool FileJPGAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (s[0] != 0xFF || s[1] != 0xD8 || s[2] != 0xFF) return false;
    if (s[3] != 0xE0 && s[3] != 0xE1 && s[3] != 0xDB) return false;
    if (s[3] != 0xDB && !EqualsNoCase(s + 6, "JFIF", 4) && !EqualsNoCase(s + 6, "Exif", 4)) return false;
    hit.fileTypeId = RAW_TYPE_JPG;
    return true;
}

bool FileJPGAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    ClearTexts();
    CandidateReader r(device, hit.startSector);
    const uint8_t* head = ReadCandidateSpan(r, 0, 12);
    if (!head) return false;
    Walk walk = Walk::Plain;
    if (EqualsNoCase(head + 6, "JFIF", 4))
        walk = Walk::Jfif;
    else if (EqualsNoCase(head + 6, "Exif", 4))
        walk = Walk::Exif;

    if (walk == Walk::Exif) {
        ExifPictureInfo info;
        uint64_t segment = LoadBE16(head + 4);
        ExifBlockReader exif(r, 6, segment >= 2 ? segment - 2 : 0);
        if (exif.Read(info)) {
            NameHit(hit, std::strchr(info.model, '<') ? info.make : info.model, info.dateTime);
        }
    }

    uint64_t offset = 2;
    uint64_t width = 0, height = 0;
    bool frame = false;
    bool done = false;
    for (int markers = 0; !done; ++markers) {
        if (markers > kMaxMarkers || offset > kRawMaxFileSize) return false;
        if (walk == Walk::Plain && offset >= kPlainWalkLimit) {
            hit.size = offset;
            return true;
        }
        const uint8_t* m = ReadCandidateSpan(r, offset, 4);
        if (!m) return false;
        if (m[0] != 0xFF && (walk == Walk::Plain || offset == 2)) return false;
        uint8_t code = m[1];
        if (code == 0xFF) {
            offset += 1;  // fill byte in front of a marker
            continue;
        }
        uint64_t length = LoadBE16(m + 2);
        bool sof0 = code == 0xC0;
        // A progressive frame gives the dimensions unless a baseline one did (camera files too).
        bool sof2 = code == 0xC2 && walk != Walk::Plain && width == 0 && height == 0;
        if (sof0 || sof2) {
            const uint8_t* d = ReadCandidateSpan(r, offset + 4, 6);
            if (!d || d[0] != 8) return false;
            if (walk == Walk::Plain && d[5] != 3) return false;
            height = LoadBE16(d + 1);
            width = LoadBE16(d + 3);
            frame = true;
        } else if (code == 0xDA) {
            if (!frame) return false;
            const uint8_t* d = ReadCandidateSpan(r, offset + 4, 1);
            if (!d) return false;
            if (walk == Walk::Plain && d[0] != 3) return false;
            done = true;
        }
        offset += 2 + length;
    }

    // Entropy-coded data up to the end-of-image marker, searched for at most w x h x 3 bytes. In it
    // FF is followed only by a stuffed 00, a restart or fill byte, or (a progressive picture's
    // further scans) a marker segment between scans; anything else is where the data breaks off.
    uint64_t span = std::min<uint64_t>(width * height * 3, kRawMaxFileSize);
    uint64_t pos = offset;
    uint64_t end = offset + span;
    while (pos < end) {
        uint64_t avail = 0;
        const uint8_t* p = ReadCandidateBytes(r, pos, &avail);
        if (!p) {
            hit.CutInPart(pos, pos < r.deviceBytes ? "its bytes from " + std::to_string(pos) + " on cannot be read"
                                                   : "the device ends at byte " + std::to_string(pos) +
                                                         " of it, before its end-of-image marker");
            return true;
        }
        uint64_t n = std::min<uint64_t>(avail, end - pos);
        uint64_t next = pos + n;
        for (const uint8_t* q = p; q < p + n;) {
            q = static_cast<const uint8_t*>(std::memchr(q, 0xFF, (p + n) - q));
            if (!q) break;
            const uint8_t c = q[1];  // one more sector lies behind every window position
            const uint64_t at = pos + static_cast<uint64_t>(q - p);
            if (c == 0xD9) {
                hit.size = at + 2;
                return true;
            }
            if (c == 0x00 || c == 0xFF || (c >= 0xD0 && c <= 0xD7)) {
                ++q;
                continue;
            }
            if (c == 0xC4 || c == 0xCC || c == 0xDA || c == 0xDB || c == 0xDD || c == 0xFE || (c >= 0xE0 && c <= 0xEF)) {
                next = at + 2 + LoadBE16(q + 2);  // over the segment; a scan's data follows it
                break;
            }
            char pair[8];
            std::snprintf(pair, sizeof pair, "FF %02X", c);
            hit.CutInPart(at, "its JPEG data breaks off at byte " + std::to_string(at) + " (" + pair +
                                  ", which no JPEG data holds)");
            return true;
        }
        pos = next;
    }
    hit.CutInPart(pos, "no end-of-image marker lies within the " + std::to_string(span) +
                           " bytes its picture's size allows");
    return true;
}
