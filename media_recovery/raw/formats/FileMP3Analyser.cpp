#include "media_recovery/raw/formats/FileMP3Analyser.h"

#include <algorithm>
#include <cstring>

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

namespace {

constexpr uint64_t kMaxGarbage = 0x10000;
constexpr size_t kMaxText = 260;
// Longest title that goes into a file name; longer ones are cut at a character boundary.
constexpr size_t kMaxPrefix = 96;

const uint16_t kBitrates[2][3][16] = {
    {// MPEG-1, layers I, II, III
     {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {// MPEG-2 and 2.5
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}};
const uint32_t kSampleRates[3] = {44100, 48000, 32000};

// Text of an ID3v2 text frame (encoding byte first): ISO-8859-1 with high bytes as '_', or
// UTF-8 checked and cut at 260 UTF-16 units; other encodings give nothing.
std::string FrameText(const uint8_t* p, size_t n) {
    std::string out;
    if (n == 0) return out;
    uint8_t enc = p[0];
    ++p;
    --n;
    if (enc == 0) {
        for (size_t i = 0; i < n && i < kMaxText && p[i]; ++i) out.push_back((p[i] & 0x80) ? '_' : char(p[i]));
        return out;
    }
    if (enc != 3) return out;
    size_t units = 0;
    size_t i = 0;
    while (i < n && p[i]) {
        uint8_t c = p[i];
        size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        if (len == 0 || i + len > n) return std::string();
        uint32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        for (size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return std::string();
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        static const uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::string();
        size_t need = cp > 0xFFFF ? 2 : 1;
        if (units + need > kMaxText) break;
        units += need;
        out.append(reinterpret_cast<const char*>(p + i), len);
        i += len;
    }
    return out;
}

// A text that can stand in a file name: no separators or control bytes, bounded length.
std::string NameSafe(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F || c == '/' || c == '\\') c = '_';
        out.push_back(static_cast<char>(c));
    }
    if (out.size() > kMaxPrefix) {
        size_t cut = kMaxPrefix;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
        out.resize(cut);
    }
    return out;
}

// What every frame of one stream shares: MPEG version, layer and sample rate (never 0).
inline uint32_t StreamKind(const uint8_t* h) { return 0x10000u | (h[1] & 0x1Eu) << 8 | (h[2] & 0x0Cu); }

// Whether a frame header or a "TAG" may start at p: the bytes the audio scan stops at, besides a
// tag at a sector start.
inline bool MayStartSomething(const uint8_t* p) {
    return (p[0] == 0xFF && (p[1] & 0xE0) == 0xE0) || (p[0] == 'T' && p[1] == 'A' && p[2] == 'G');
}

// How many of the n bytes from p (the candidate's byte pos on) start nothing the audio scan looks
// for: no frame, no trailer and no following tag ('I' at a sector start). Sixteen positions at a
// time, since after the last frame the scan may pass 64 KiB of them. A further sector is readable
// behind the n bytes.
uint64_t QuietBytes(const uint8_t* p, uint64_t n, uint64_t pos, uint64_t sectorSize) {
    typedef uint8_t Lanes __attribute__((vector_size(16)));
    uint64_t toSector = (sectorSize - pos % sectorSize) % sectorSize;
    uint64_t i = 0;
    while (i < n) {
        if (toSector == 0) {
            if (p[i] == 'I') return i;
            toSector = sectorSize;
        }
        uint64_t stop = std::min(n, i + toSector);
        toSector -= stop - i;
        for (; i + 16 <= stop; i += 16) {
            Lanes a, b, c;  // the bytes at each position and the two behind it
            std::memcpy(&a, p + i, 16);
            std::memcpy(&b, p + i + 1, 16);
            std::memcpy(&c, p + i + 2, 16);
            auto starts = ((a == 0xFF) & ((b & 0xE0) == 0xE0)) | ((a == 'T') & (b == 'A') & (c == 'G'));
            uint64_t half[2];
            std::memcpy(half, &starts, 16);
            if (half[0] | half[1]) break;
        }
        for (; i < stop; ++i)
            if (MayStartSomething(p + i)) return i;
    }
    return n;
}

std::string FixedText(const uint8_t* p, size_t n) {
    std::string out;
    for (size_t i = 0; i < n && p[i]; ++i) out.push_back((p[i] & 0x80) ? '_' : char(p[i]));
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

}  // namespace

uint32_t FileMP3Analyser::FrameLength(const uint8_t* p) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0 || (p[2] & 0xF0) == 0xF0) return 0;
    unsigned version = (p[1] >> 3) & 3;
    if (version == 1) return 0;
    unsigned layer = 3 - ((p[1] >> 1) & 3);
    if (layer == 3) return 0;
    unsigned bitrateIndex = p[2] >> 4;
    unsigned rateIndex = (p[2] >> 2) & 3;
    if (rateIndex == 3 || (p[3] & 3) == 2) return 0;
    unsigned padding = (p[2] >> 1) & 1;
    unsigned mode = p[3] >> 6;
    bool mpeg1 = version == 3;
    uint32_t bitrate = kBitrates[mpeg1 ? 0 : 1][layer][bitrateIndex] * 1000u;
    if (bitrate == 0) return 0;
    if (mpeg1 && layer == 1) {
        // Layer II allows the low rates in mono only and the high ones never in mono.
        uint32_t k = bitrate / 1000;
        bool mono = mode == 3;
        if ((k == 32 || k == 48 || k == 56 || k == 80) && !mono) return 0;
        if ((k == 224 || k == 256 || k == 320 || k == 384) && mono) return 0;
    }
    uint32_t rate = kSampleRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    uint32_t coefficient = layer == 0 ? 12 : (layer == 2 && !mpeg1) ? 72 : 144;
    uint32_t slot = layer == 0 ? 4 : 1;
    return (coefficient * bitrate / rate + padding) * slot;
}

bool FileMP3Analyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "ID3", 3) || (s[3] != 3 && s[3] != 4)) return false;
    hit.fileTypeId = RAW_TYPE_MP3;
    return true;
}

bool FileMP3Analyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    ClearTexts();
    CandidateReader r(device, hit.startSector);
    const uint8_t* h = ReadCandidateSpan(r, 0, 10);
    if (!h) return false;
    uint64_t tagSize = 0;
    for (int i = 6; i < 10; ++i) {
        if (h[i] & 0x80) return false;
        tagSize = (tagSize << 7) | h[i];
    }
    const uint64_t tagEnd = 10 + tagSize;

    // Frames of the tag: title and year.
    std::string title, year;
    for (uint64_t at = 10; at + 10 <= tagEnd;) {
        const uint8_t* f = ReadCandidateSpan(r, at, 10);
        if (!f) break;
        uint32_t size = LoadBE32(f + 4);
        if (size == 0) break;
        bool isTitle = Equals(f, "TIT2", 4), isYear = Equals(f, "TYER", 4);
        if (isTitle || isYear) {
            size_t n = size < kMaxText + 1 ? size : kMaxText + 1;
            uint64_t avail = 0;
            const uint8_t* t = ReadCandidateBytes(r, at + 10, &avail);
            if (t) {
                // The window keeps a whole sector behind t: 261 bytes fit.
                std::string text = FrameText(t, n);
                (isTitle ? title : year) = text;
            }
        }
        at += 10 + static_cast<uint64_t>(size);
    }

    // Audio frames, up to an ID3v1 trailer, a following tag or a run of bytes that are no frames.
    const uint64_t ss = r.sectorSize;
    uint64_t pos = tagEnd;
    uint64_t end = tagEnd;
    uint64_t garbage = 0;
    uint32_t stream = 0;  // the StreamKind of the first frame, 0 before it
    while (pos <= kRawMaxFileSize && garbage < kMaxGarbage) {
        uint64_t avail = 0;
        const uint8_t* p = ReadCandidateBytes(r, pos, &avail);  // a further sector lies behind p
        if (!p) break;
        // Bytes that start nothing count as stray ones all at once.
        uint64_t quiet = QuietBytes(p, std::min({avail, kMaxGarbage - garbage, kRawMaxFileSize - pos + 1}), pos, ss);
        if (quiet) {
            pos += quiet;
            garbage += quiet;
            continue;
        }
        uint32_t len = FrameLength(p);
        if (len) {
            // After stray bytes a chance header is not believed: it must go on the stream the frames
            // before it began (MPEG version, layer and sample rate), and a frame of the same kind,
            // or the trailer, must follow it.
            const uint32_t kind = StreamKind(p);
            bool accept = garbage == 0;
            if (!accept && (stream == 0 || kind == stream)) {
                const uint8_t* q = ReadCandidateBytes(r, pos + len);
                accept = q && ((FrameLength(q) && StreamKind(q) == kind) || Equals(q, "TAG", 3));
            }
            if (accept) {
                if (stream == 0) stream = kind;
                pos += len;
                end = pos;
                garbage = 0;
                continue;
            }
        } else if (Equals(p, "TAG", 3)) {
            bool trailer = pos == end && pos > tagEnd;  // right behind the last frame
            if (!trailer && (pos + 128) % ss == 0) trailer = true;
            if (!trailer) {
                uint64_t stop = (pos + 128 + ss - 1) / ss * ss;
                trailer = true;
                for (uint64_t k = pos + 128; k < stop && trailer; ++k) {
                    const uint8_t* z = ReadCandidateBytes(r, k);
                    trailer = z && *z == 0;
                }
                p = ReadCandidateBytes(r, pos);
                if (!p) break;
            }
            if (trailer) {
                if (title.empty()) title = FixedText(p + 3, 30);
                if (year.empty()) year = FixedText(p + 93, 4);
                end = pos + 128;
                break;
            }
        } else if (pos % ss == 0 && Equals(p, "ID3", 3) && (p[3] == 3 || p[3] == 4)) {
            break;
        }
        ++pos;
        ++garbage;
    }
    if (end <= tagEnd) return false;
    hit.size = end;
    NameHit(hit, NameSafe(title), NameSafe(year));
    return true;
}
