#include "media_recovery/raw/RawReaders.h"

#include <algorithm>
#include <cstring>

#include "media_recovery/raw/RawBytes.h"

alignas(64) uint8_t g_rawWindow[kRawWindowBytes];
int g_rawBigEndian = 0;

CandidateReader::CandidateReader(IStorageDevice* dev, uint64_t start) : device(dev), startSector(start) {
    if (device) {
        uint32_t ss = device->GetSectorSize();
        sectorSize = ss ? ss : 512;
    }
    // The window holds one sector more than it advances, so a read of one sector never crosses it.
    uint64_t fit = kRawWindowBytes / sectorSize;
    if (fit >= 2) {
        windowSectors = static_cast<uint32_t>(std::min<uint64_t>(128, fit - 1));
        windowBytes = static_cast<uint64_t>(windowSectors) * sectorSize;
    }
    if (device) {
        uint64_t count = device->GetSectorCount();
        if (count > start) {
            uint64_t sectors = count - start;
            deviceBytes = sectors > UINT64_MAX / sectorSize ? UINT64_MAX : sectors * sectorSize;
        }
    }
}

namespace {

// Bytes at the start of g_rawWindow that may hold something other than zeros.
size_t g_rawWindowWritten = kRawWindowBytes;

// Reads window index into g_rawWindow; false on a read error (nothing held then, since the failed
// read may have written part of the buffer).
bool ReadWindow(CandidateReader& r, uint64_t index) {
    uint64_t first = r.startSector + index * r.windowSectors;  // no overflow: the window starts on the device
    uint64_t count = r.device->GetSectorCount();
    r.heldWindow = -1;
    if (first >= count) return false;
    uint64_t n = std::min<uint64_t>(r.windowSectors + 1, count - first);
    size_t got = static_cast<size_t>(n * r.sectorSize);
    if (!r.device->ReadSectors(g_rawWindow, first, n)) {
        g_rawWindowWritten = std::max(g_rawWindowWritten, got);
        return false;
    }
    // Nothing stale from an earlier window may show behind a short read; only what an earlier read
    // wrote there needs clearing.
    if (g_rawWindowWritten > got) std::memset(g_rawWindow + got, 0, g_rawWindowWritten - got);
    g_rawWindowWritten = got;
    r.heldWindow = static_cast<int64_t>(index);
    r.heldStart = index * r.windowBytes;
    r.heldBytes = got;
    return true;
}

}  // namespace

const uint8_t* ReadCandidateBytes(CandidateReader& r, uint64_t offset, uint64_t* available) {
    if (!r.device || r.windowSectors == 0 || offset >= r.deviceBytes) return nullptr;
    uint64_t within = offset - r.heldStart;
    // Most reads fall into the window held: no division for them.
    if (r.heldWindow < 0 || offset < r.heldStart || within >= r.windowBytes) {
        uint64_t index = offset / r.windowBytes;
        if (!ReadWindow(r, index)) return nullptr;
        within = offset - r.heldStart;
    }
    if (within >= r.heldBytes) return nullptr;
    if (available) *available = std::min(r.windowBytes, r.heldBytes) - within;
    return g_rawWindow + within;
}

const uint8_t* ReadCandidateBytes(CandidateReader& reader, uint64_t offset) {
    return ReadCandidateBytes(reader, offset, nullptr);
}

const uint8_t* ReadCandidateSpan(CandidateReader& r, uint64_t offset, size_t length) {
    if (length > r.sectorSize || offset > UINT64_MAX - length || offset + length > r.deviceBytes) return nullptr;
    return ReadCandidateBytes(r, offset, nullptr);
}

FooterPattern::FooterPattern(const void* bytes, uint32_t len, uint64_t scanLimit) : limit(scanLimit) {
    length = std::min<uint32_t>(len, sizeof(pattern));
    std::memcpy(pattern, bytes, length);
}

namespace {

inline uint8_t Fold(uint8_t c) { return (c >= 'a' && c <= 'z') ? static_cast<uint8_t>(c - 32) : c; }

}  // namespace

bool ScanForFooter(IStorageDevice* device, RawHit& hit, const FooterPattern& pattern) {
    uint64_t limit = pattern.limit ? pattern.limit : kRawMaxFileSize;
    if (pattern.length == 0) {
        hit.size = 0;
        return true;
    }
    CandidateReader reader(device, hit.startSector);
    uint8_t lead = Fold(pattern.pattern[0]);
    uint64_t offset = 0;
    while (offset <= limit) {
        uint64_t avail = 0;
        const uint8_t* p = ReadCandidateBytes(reader, offset, &avail);
        if (!p) return false;
        uint64_t n = std::min<uint64_t>(avail, limit - offset + 1);
        for (uint64_t i = 0; i < n; ++i) {
            if (Fold(p[i]) != lead) continue;
            // The window holds a further sector behind every position, so the compare stays inside.
            if (rawbytes::EqualsNoCase(p + i, reinterpret_cast<const char*>(pattern.pattern), pattern.length)) {
                hit.size = offset + i + pattern.length;
                return true;
            }
        }
        offset += n;
    }
    hit.size = limit + 1;
    return true;
}

namespace {

bool IsKnownAtom(const uint8_t* p) {
    static const char* const kAtoms[] = {"mdat", "moov", "free", "moof", "mfra"};
    for (const char* a : kAtoms)
        if (rawbytes::EqualsNoCase(p, a, 4)) return true;
    return false;
}

}  // namespace

bool WalkAtoms(IStorageDevice* device, RawHit& hit) {
    CandidateReader reader(device, hit.startSector);
    const uint8_t* p = ReadCandidateSpan(reader, 0, 4);
    if (!p) return false;
    int32_t first = static_cast<int32_t>(LoadBE32(p));
    if (first <= 0) return false;
    uint64_t offset = static_cast<uint32_t>(first);
    // A movie is whole with its movie box and its media (in one data box or in fragments).
    bool movie = false, media = false;
    for (int i = 0; i < 500 && offset <= kRawMaxFileSize; ++i) {
        const uint8_t* a = ReadCandidateSpan(reader, offset, 16);
        if (!a) break;
        int32_t len = static_cast<int32_t>(LoadBE32(a));
        if (len <= 0) break;
        if (!IsKnownAtom(a + 4) && !IsKnownAtom(a + 12)) break;
        movie = movie || rawbytes::EqualsNoCase(a + 4, "moov", 4);
        media = media || rawbytes::EqualsNoCase(a + 4, "mdat", 4) || rawbytes::EqualsNoCase(a + 4, "moof", 4);
        offset += static_cast<uint32_t>(len);
    }
    hit.size = offset;
    if (offset != 0 && !(movie && media))
        hit.partReason = (offset < reader.deviceBytes ? "its boxes break off at byte " + std::to_string(offset)
                                                      : "the device ends at byte " + std::to_string(offset) + " of it") +
                         ", before its " + (movie ? "media data" : "movie box");
    return offset != 0;
}

uint16_t ReadOrderedU16(const uint8_t* p) { return g_rawBigEndian ? LoadBE16(p) : LoadLE16(p); }
uint32_t ReadOrderedU32(const uint8_t* p) { return g_rawBigEndian ? LoadBE32(p) : LoadLE32(p); }
