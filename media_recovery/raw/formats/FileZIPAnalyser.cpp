#include "media_recovery/raw/formats/FileZIPAnalyser.h"

#include <algorithm>
#include <cstring>

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

namespace {

bool NameIs(const uint8_t* name, uint16_t length, const char* text) {
    size_t n = std::strlen(text);
    return length == n && std::memcmp(name, text, n) == 0;
}

uint32_t OfficeType(const uint8_t* name, uint16_t length) {
    if (NameIs(name, length, "word/_rels/document.xml.rels")) return RAW_TYPE_DOCX;
    if (NameIs(name, length, "xl/_rels/workbook.xml.rels")) return RAW_TYPE_XLSX;
    if (NameIs(name, length, "ppt/_rels/presentation.xml.rels")) return RAW_TYPE_PPTX;
    return 0;
}

// Where the record behind an entry whose sizes follow its data (in a data descriptor) starts: the
// descriptor's own signature with a matching compressed size, or else the next header signature.
// 0 when none lies within the largest carve.
uint64_t SkipStreamedData(CandidateReader& r, uint64_t dataStart) {
    uint64_t offset = dataStart;
    while (offset <= kRawMaxFileSize) {
        uint64_t avail = 0;
        const uint8_t* p = ReadCandidateBytes(r, offset, &avail);
        if (!p) return 0;
        for (uint64_t i = 0; i < avail; ++i) {
            if (p[i] != 'P') {
                const void* next = std::memchr(p + i, 'P', avail - i);
                if (!next) break;
                i = static_cast<const uint8_t*>(next) - p;
            }
            const uint8_t* q = p + i;  // the window keeps a sector behind q
            if (q[1] != 'K') continue;
            uint64_t at = offset + i;
            if (q[2] == 7 && q[3] == 8) {
                if (LoadLE32(q + 8) == at - dataStart) return at + 16;
            } else if ((q[2] == 3 && q[3] == 4) || (q[2] == 1 && q[3] == 2)) {
                return at;
            }
        }
        offset += avail;
    }
    return 0;
}

}  // namespace

bool FileZIPAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "PK\x03\x04", 4)) return false;
    hit.fileTypeId = RAW_TYPE_ZIP;
    return true;
}

bool FileZIPAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    officePackage_ = drawingPackage_ = false;
    CandidateReader r(device, hit.startSector);
    // The package's type by its main relationship part; told only for packages, which have a
    // "[Content_Types].xml" entry (first in Office's files, anywhere in other writers').
    uint32_t officeType = 0;
    bool contentTypes = false;
    uint64_t offset = 0;
    bool first = true, closed = false;
    uint64_t directory = UINT64_MAX, listed = 0;  // where the central directory began, its entries
    while (offset <= kRawMaxFileSize) {
        const uint8_t* p = ReadCandidateSpan(r, offset, 4);
        if (p) p = ReadCandidateBytes(r, offset);  // a sector behind: the fixed part and short names
        if (!p || p[0] != 'P' || p[1] != 'K') break;
        uint64_t next;
        if (p[2] == 3 && p[3] == 4) {
            uint16_t method = LoadLE16(p + 8), nameLength = LoadLE16(p + 26), extra = LoadLE16(p + 28);
            if (method >= 11 || nameLength >= 0x411) break;
            if (first) {
                officePackage_ = NameIs(p + 30, nameLength, "[Content_Types].xml");
                drawingPackage_ = NameIs(p + 30, nameLength, "content/riffData.cdr");
            }
            if (NameIs(p + 30, nameLength, "[Content_Types].xml")) contentTypes = true;
            if (uint32_t t = OfficeType(p + 30, nameLength)) officeType = t;
            uint32_t packed = LoadLE32(p + 18);
            uint64_t data = offset + 30 + nameLength + extra;
            if ((LoadLE16(p + 6) & 8) && packed == 0) {
                next = SkipStreamedData(r, data);
                if (next == 0) break;
            } else {
                next = data + packed;
            }
        } else if (p[2] == 1 && p[3] == 2) {
            uint16_t nameLength = LoadLE16(p + 28);
            directory = std::min(directory, offset);
            ++listed;
            if (NameIs(p + 46, nameLength, "[Content_Types].xml")) contentTypes = true;
            if (uint32_t t = OfficeType(p + 46, nameLength)) officeType = t;
            next = offset + 46 + nameLength + LoadLE16(p + 30) + LoadLE16(p + 32);
        } else if (p[2] == 6 && p[3] == 6) {
            // The 64-bit end record (its length behind the first 12 bytes), then its locator.
            next = offset + 12 + LoadLE64(p + 4);
        } else if (p[2] == 6 && p[3] == 7) {
            next = offset + 20;
        } else if (p[2] == 5 && p[3] == 6) {
            // The end record closes the archive; its comment belongs to it. It says where the
            // central directory began and how many entries it has.
            // Fields a 64-bit end record holds read all ones.
            closed = LoadLE16(p + 10) == 0xFFFF || LoadLE32(p + 16) == 0xFFFFFFFF ||
                     (LoadLE16(p + 10) == (listed & 0xFFFF) && (listed == 0 || LoadLE32(p + 16) == directory));
            if (!closed)
                hit.partReason = "its central directory is not the one its end record gives (" +
                                 std::to_string(LoadLE16(p + 10)) + " entries at byte " +
                                 std::to_string(LoadLE32(p + 16)) + ")";
            offset += 22 + static_cast<uint64_t>(LoadLE16(p + 20));
            first = false;
            closed = true;
            break;
        } else {
            break;
        }
        first = false;
        offset = next;
    }
    if (first) return false;
    if (!closed)
        hit.partReason = (offset < r.deviceBytes ? "its records break off at byte " + std::to_string(offset)
                                                 : "the device ends at byte " + std::to_string(offset) + " of it") +
                         ", before its central directory ends";
    uint32_t type = (contentTypes && officeType) ? officeType : RAW_TYPE_ZIP;
    hit.fileTypeId = (drawingPackage_ && !officePackage_) ? RAW_TYPE_CDR : type;
    hit.size = offset;
    return offset != 0;
}
