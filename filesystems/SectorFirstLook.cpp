#include "filesystems/SectorFirstLook.h"

#include <array>
#include <cstring>
#include <new>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "filesystems/exfat/ExFatLayout.h"
#include "filesystems/exfat/ExFatSectorRecognizer.h"
#include "filesystems/fat/FatBootSector.h"
#include "sqlite_recovery/framework/ByteOrder.h"

namespace first_look {

namespace {

constexpr uint8_t kExFatJump = 0xEB;  // an exFAT boot sector's first byte
constexpr uint64_t kUpcaseStartWord = LoadLE64(exfat::kUpcaseTableStart);

// What the first byte alone tells each finder. An exFAT boot sector begins with the jump that the
// FAT finder notes: the name after it is read on by the exFAT finder too.
struct FirstByteMarks {
    std::array<uint8_t, 256> marks;
    FirstByteMarks() {
        for (unsigned b = 0; b < 256; ++b) {
            const uint8_t first = static_cast<uint8_t>(b);
            const bool exFat = ExFatSectorRecognizer::FirstTypeMayCount(&first) || first == exfat::kFatStartByte ||
                               first == kExFatJump;
            marks[b] = static_cast<uint8_t>((FatNotes(first) ? kFat : 0) | (exFat ? kExFat : 0));
        }
    }
};

// For each set of eight marks, the places of those marked, in order, and their number.
struct MarkedPlaces {
    alignas(8) uint8_t places[256][8] = {};
    uint8_t count[256] = {};
    MarkedPlaces() {
        for (unsigned m = 0; m < 256; ++m)
            for (uint8_t b = 0; b < 8; ++b)
                if (m >> b & 1) places[m][count[m]++] = b;
    }
};

// The marks of one sector. Every FAT boot sector taken has two FATs; an up-case table begins with a 0.
inline __attribute__((always_inline)) uint8_t MarkOf(const uint8_t* p, const FirstByteMarks& first) {
    return static_cast<uint8_t>(first.marks[p[0]] | uint8_t{p[kFatBootNumberOfFats] == 2} * kFat |
                                uint8_t{LoadLE64(p) == kUpcaseStartWord} * kExFat);
}

// Sectors lie a sector apart, too far for the processor to fetch them ahead by itself: each one's
// first line is asked for 16 sectors early. No branch on the bytes, which are mostly other data.
// Four sectors a step, a known size apart: their bytes are read at fixed offsets.
template <size_t kSize>
void MarkSectorsOf(const uint8_t* sectors, size_t count, uint8_t* marks, const FirstByteMarks& first) {
    constexpr size_t kAhead = 16;
    size_t i = 0;
    for (; i + kAhead + 4 <= count; i += 4, sectors += 4 * kSize) {
        __builtin_prefetch(sectors + kAhead * kSize);
        __builtin_prefetch(sectors + (kAhead + 1) * kSize);
        __builtin_prefetch(sectors + (kAhead + 2) * kSize);
        __builtin_prefetch(sectors + (kAhead + 3) * kSize);
        marks[i] = MarkOf(sectors, first);
        marks[i + 1] = MarkOf(sectors + kSize, first);
        marks[i + 2] = MarkOf(sectors + 2 * kSize, first);
        marks[i + 3] = MarkOf(sectors + 3 * kSize, first);
    }
    for (; i < count; ++i, sectors += kSize) marks[i] = MarkOf(sectors, first);
}

}  // namespace

void MarkSectors(const uint8_t* sectors, size_t count, uint32_t sectorSize, uint8_t* marks) {
    static const FirstByteMarks first;  // made on first use, once the recognizer's tables are
    switch (sectorSize) {
        case 512: return MarkSectorsOf<512>(sectors, count, marks, first);
        case 1024: return MarkSectorsOf<1024>(sectors, count, marks, first);
        case 2048: return MarkSectorsOf<2048>(sectors, count, marks, first);
        case 4096: return MarkSectorsOf<4096>(sectors, count, marks, first);
        default:
            for (size_t i = 0; i < count; ++i) marks[i] = MarkOf(sectors + i * sectorSize, first);
    }
}

const uint8_t* MarksOf(ISectorLender* lender, uint64_t first, const uint8_t* sectors, size_t count,
                       uint32_t sectorSize, std::vector<uint8_t>& own) {
    if (lender)
        if (const uint8_t* lent = lender->LendMarks(first, count, MarkSectors)) return lent;
    try {
        if (own.size() < count) own.resize(count);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    MarkSectors(sectors, count, sectorSize, own.data());
    return own.data();
}

size_t ListMarked(const uint8_t* marks, size_t count, uint8_t mask, uint16_t* out) {
    if (count > kMostListed) count = kMostListed;
    size_t listed = 0, i = 0;
#ifdef __SSE2__
    static const MarkedPlaces table;
    const __m128i bits = _mm_set1_epi8(static_cast<char>(mask)), zero = _mm_setzero_si128(), step = _mm_set1_epi16(8);
    __m128i base = zero;  // i in each lane
    for (; i + 16 <= count; i += 16) {
        const __m128i sixteen = _mm_loadu_si128(reinterpret_cast<const __m128i*>(marks + i));
        const unsigned hits = ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(sixteen, bits), zero)));
        // Each eight: the places of those marked, widened, offset and stored whole.
        const unsigned low = hits & 0xFFu, high = hits >> 8 & 0xFFu;
        const __m128i lowPlaces = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(table.places[low]));
        const __m128i highPlaces = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(table.places[high]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + listed), _mm_add_epi16(_mm_unpacklo_epi8(lowPlaces, zero), base));
        base = _mm_add_epi16(base, step);
        listed += table.count[low];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + listed), _mm_add_epi16(_mm_unpacklo_epi8(highPlaces, zero), base));
        base = _mm_add_epi16(base, step);
        listed += table.count[high];
    }
#endif
    for (; i < count; ++i) {
        out[listed] = static_cast<uint16_t>(i);
        listed += (marks[i] & mask) != 0;
    }
    return listed;
}

}  // namespace first_look
