#include "media_recovery/raw/formats/FilePDFAnalyser.h"

#include <algorithm>
#include <cstring>

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

namespace {

bool IsTextByte(uint8_t c) { return (c >= 0x20 && c < 0x7F) || c == '\r' || c == '\n'; }

// Whether what follows an end-of-file marker (at p, behind "%%EOF") continues the document: an
// incremental update starts with an object, a cross-reference section or a comment.
bool ContinuesAfterEof(const uint8_t* p, uint64_t available) {
    size_t i = 5;
    while (i < available && i < 64 && (p[i] == '\r' || p[i] == '\n' || p[i] == ' ' || p[i] == '\t')) ++i;
    if (i >= available || i >= 64) return false;
    uint8_t c = p[i];
    return (c >= '0' && c <= '9') || c == 'x' || (c == '%' && p[i + 1] != 'P');
}

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }
bool IsSpace(uint8_t c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t'; }

// The number at p (at most 10 digits), and the bytes it took; 0 taken when p holds none.
size_t ReadNumber(const uint8_t* p, size_t n, uint64_t* value) {
    size_t i = 0;
    *value = 0;
    for (; i < n && i < 10 && IsDigit(p[i]); ++i) *value = *value * 10 + (p[i] - '0');
    return i;
}

// Whether "N G obj" begins at offset.
bool ObjectAt(CandidateReader& r, uint64_t offset) {
    const uint8_t* p = ReadCandidateSpan(r, offset, 32);
    if (!p) return false;
    uint64_t v;
    size_t i = ReadNumber(p, 32, &v);
    if (i == 0 || p[i] != ' ') return false;
    size_t j = ReadNumber(p + i + 1, 20, &v);
    return j != 0 && i + 1 + j + 4 <= 32 && IsSpace(p[i + 1 + j]) && Equals(p + i + 2 + j, "obj", 3);
}

constexpr uint64_t kMostEntries = 100000;

// The cross-reference table that the end at `end` (behind "%%EOF") names, against the document:
// a table where its end says, and each object it gives in use where it says. Why not, and where
// the document breaks off (*cut; end when that is not known); empty when it holds.
std::string CheckCrossReferences(CandidateReader& r, uint64_t end, uint64_t* cut) {
    *cut = end;
    const uint64_t from = end > 64 ? end - 64 : 0;
    const uint8_t* tail = ReadCandidateSpan(r, from, static_cast<size_t>(end - from));
    if (!tail) return std::string();
    uint64_t table = UINT64_MAX;
    for (size_t i = 0; i + 9 < end - from; ++i)
        if (Equals(tail + i, "startxref", 9)) {
            size_t k = i + 9;
            while (k < end - from && IsSpace(tail[k])) ++k;
            uint64_t v;
            if (ReadNumber(tail + k, end - from - k, &v)) table = v;
        }
    if (table == UINT64_MAX) return std::string();  // no table named: nothing to hold it to
    const std::string named = "the cross-reference table its end names at byte " + std::to_string(table);
    const uint8_t* t = table < end ? ReadCandidateSpan(r, table, 8) : nullptr;
    if (!t) return named + " lies outside it";
    if (IsDigit(t[0])) return ObjectAt(r, table) ? std::string() : named + " is not there";  // a table stream
    if (!Equals(t, "xref", 4)) return named + " is not there";
    uint64_t at = table + 4, checked = 0;
    uint64_t broken = UINT64_MAX, brokenObject = 0;
    for (;;) {
        const uint8_t* h = ReadCandidateSpan(r, at, 40);
        if (!h) break;
        size_t i = 0;
        while (i < 40 && IsSpace(h[i])) ++i;
        uint64_t firstObject, count;
        size_t a = ReadNumber(h + i, 40 - i, &firstObject);
        if (a == 0 || h[i + a] != ' ') break;  // "trailer": the section ends
        size_t b = ReadNumber(h + i + a + 1, 40 - i - a - 1, &count);
        if (b == 0) break;
        at += i + a + 1 + b;
        const uint8_t* eol = ReadCandidateSpan(r, at, 2);
        while (eol && IsSpace(eol[0]) && eol[0] != '\n') eol = ReadCandidateSpan(r, ++at, 2);
        if (!eol || eol[0] != '\n') break;
        ++at;
        for (uint64_t k = 0; k < count && checked < kMostEntries; ++k, ++checked, at += 20) {
            const uint8_t* e = ReadCandidateSpan(r, at, 20);
            if (!e) return named + " ends early";
            uint64_t object;
            if (ReadNumber(e, 10, &object) != 10 || e[17] != 'n' || object == 0) continue;
            if (object < broken && (object >= end || !ObjectAt(r, object))) {
                broken = object;
                brokenObject = firstObject + k;
            }
        }
    }
    if (broken == UINT64_MAX) return std::string();
    *cut = std::min(broken, end);
    return "its object " + std::to_string(brokenObject) + " is not at byte " + std::to_string(broken) +
           ", where its cross-reference table puts it";
}

}  // namespace

bool FilePDFAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "%PDF-", 5)) return false;
    hit.fileTypeId = RAW_TYPE_PDF;
    return true;
}

// A document ends at its last "%%EOF": incremental updates append objects and a further "%%EOF"
// behind the first. The scan stops at the next "%PDF-" (a following document), at an end marker
// that nothing of the document follows, or at the size limit.
bool FilePDFAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    hit.fileTypeId = RAW_TYPE_PDF;
    CandidateReader r(device, hit.startSector);
    uint64_t offset = 4;
    uint64_t lastEnd = 0;
    while (offset <= kRawMaxFileSize) {
        uint64_t avail = 0;
        const uint8_t* base = ReadCandidateBytes(r, offset, &avail);
        if (!base) {
            if (lastEnd) break;  // the device ends behind a complete document
            if (offset < r.deviceBytes) return false;
            hit.CutInPart(offset, "the device ends at byte " + std::to_string(offset) + " of it, before its end");
            return true;
        }
        uint64_t n = std::min<uint64_t>(avail, kRawMaxFileSize - offset + 1);
        uint64_t i = 0;
        while (i < n) {
            const void* pct = std::memchr(base + i, '%', n - i);
            if (!pct) {
                i = n;
                break;
            }
            i = static_cast<const uint8_t*>(pct) - base;
            const uint8_t* p = base + i;  // the window holds a further sector behind p
            uint64_t at = offset + i;
            if (Equals(p, "%!PS-Adobe", 10)) {
                hit.fileTypeId = RAW_TYPE_AI;
            } else if (Equals(p, "%%EOF", 5)) {
                if (hit.fileTypeId == RAW_TYPE_AI) {
                    lastEnd = at + 7;
                    if (!IsTextByte(p[5]) || !IsTextByte(p[6]) || !IsTextByte(p[7])) {
                        hit.size = lastEnd;
                        return true;
                    }
                } else {
                    lastEnd = at + 6;
                    if (!ContinuesAfterEof(p, avail - i + r.sectorSize)) return Ended(r, hit, lastEnd);
                }
            } else if (Equals(p, "%PDF-", 5)) {
                if (lastEnd) return Ended(r, hit, lastEnd);
                hit.CutInPart(at, "another document begins at byte " + std::to_string(at) + ", before its end");
                return true;
            }
            ++i;
        }
        offset += n;
    }
    if (lastEnd) return Ended(r, hit, lastEnd);
    hit.CutInPart(offset, "no end lies within the " + std::to_string(kRawMaxFileSize) + " bytes a carved file may have");
    return true;
}

// A document that ends at end: whole when its cross-reference table holds (AI files are not held
// to one), else cut where it breaks.
bool FilePDFAnalyser::Ended(CandidateReader& r, RawHit& hit, uint64_t end) {
    hit.size = end;
    if (hit.fileTypeId != RAW_TYPE_PDF) return true;
    uint64_t cut = end;
    std::string why = CheckCrossReferences(r, end, &cut);
    if (!why.empty()) hit.CutInPart(cut, why);
    return true;
}
