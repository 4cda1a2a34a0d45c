#include "sqlite_recovery/engine/RecordCheck.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "sqlite_recovery/engine/CSQLiteReader.h"
#include "sqlite_recovery/engine/RecordCarving.h"
#include "sqlite_recovery/engine/SQLiteFormat.h"
#include "sqlite_recovery/framework/TextUtils.h"

using sqlite_format::kFreeblockHeaderSize;
using sqlite_format::kFreeblockNext;
using sqlite_format::kFreeblockSize;
using sqlite_format::SerialTypeLength;
using sqlite_format::VarintSize;

namespace {

constexpr int kMaxLengthVarint = 4;        // intact cells: payloads below 2^28 bytes
constexpr int kMaxFreedLengthVarint = 3;   // freed cells: the block size bounds the payload
constexpr uint32_t kMaxFreedHeaderStart = 3 + 9;  // payload-length and rowid varints of a freed cell
constexpr int64_t kMax6ByteInt = (int64_t(1) << 47) - 1;
constexpr double kInt64Limit = 9223372036854775807.0;
constexpr size_t kMaxNumericText = 64;
constexpr int64_t kMinZeroRun = 2;
// Fewest bytes of the text at which a partial record ends: fewer tell too little to be a record's.
constexpr int64_t kMinCutText = 16;

// A varint as SQLite writes it: never with a leading empty group of bits. 0 when bad or past end.
int ReadMinimalVarint(const uint8_t* p, const uint8_t* end, uint64_t* v) {
    if (p >= end || *p == 0x80) return 0;
    return ReadVarint(p, end, v);
}

int64_t BigEndianInt(const uint8_t* p, int64_t n) {
    uint64_t u = 0;
    for (int64_t i = 0; i < n; ++i) u = (u << 8) | p[i];
    if (n < 8 && (p[0] & 0x80)) u |= ~uint64_t(0) << (8 * n);
    return static_cast<int64_t>(u);
}

double BigEndianDouble(const uint8_t* p) {
    const uint64_t bits = static_cast<uint64_t>(BigEndianInt(p, 8));
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// The serial type SQLite gives an integer: the smallest that holds it.
uint64_t IntegerType(int64_t v, bool zeroOne) {
    const uint64_t u = v < 0 ? ~static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    if (u <= 127) return (zeroOne && (v == 0 || v == 1)) ? 8 + static_cast<uint64_t>(v) : 1;
    if (u <= 32767) return 2;
    if (u <= 8388607) return 3;
    if (u <= 2147483647) return 4;
    if (u <= static_cast<uint64_t>(kMax6ByteInt)) return 5;
    return 6;
}

bool IsNumericAffinity(uint8_t a) { return a == kAffinityNumeric || a == kAffinityInteger || a == kAffinityReal; }

// A REAL that the column's affinity would have stored as an integer.
bool RealStoredAsInteger(double d, uint8_t affinity) {
    if (!IsNumericAffinity(affinity) || std::floor(d) != d) return false;
    // REAL columns keep whole values beyond six bytes as REAL; the others as integers up to 2^63.
    return std::fabs(d) < (affinity == kAffinityReal ? static_cast<double>(kMax6ByteInt) + 1 : kInt64Limit);
}

bool OverflowFits(const CarveContext& c, const uint8_t* pointer, int64_t bytes) {
    return c.reader && c.reader->OverflowChainIsFree(LoadBE32(pointer), bytes);
}

// Whether a record whose body has only its first bodyBytes left ends inside a text, and keeps
// enough of it: the values before are whole, and a record cut in a number or a blob, whose
// bytes nothing checks, is no record one can tell.
bool EndsInText(const uint64_t* types, int n, int64_t bodyBytes) {
    int64_t at = 0;
    for (int i = 0; i < n; ++i) {
        const int64_t length = SerialTypeLength(types[i]);
        if (at + length > bodyBytes) return types[i] >= 13 && (types[i] & 1) && bodyBytes - at >= kMinCutText;
        at += length;
    }
    return false;
}

// Reads serial types from at: exactly want of them (want > 0), or up to headerEnd (want 0).
// Appends to types and adds their value lengths to sum; the end of the last type in *after.
bool ReadTypes(const CarveContext& c, const uint8_t* at, const uint8_t* headerEnd, const uint8_t* limit, int want,
               std::vector<uint64_t>& types, int64_t& sum, const uint8_t** after) {
    const uint8_t* p = at;
    const uint8_t* end = want ? limit : headerEnd;
    const size_t cap = want ? types.size() + static_cast<size_t>(want) : static_cast<size_t>(c.columns);
    while (want ? types.size() < cap : p < end) {
        uint64_t t;
        const int n = ReadMinimalVarint(p, end, &t);
        if (!n || t == 10 || t == 11 || types.size() >= cap) return false;
        types.push_back(t);
        sum += std::min<int64_t>(SerialTypeLength(t), int64_t(1) << 40);
        p += n;
    }
    *after = p;
    return true;
}

int64_t TypeBytes(const uint64_t* types, size_t n) {
    int64_t bytes = 0;
    for (size_t i = 0; i < n; ++i) bytes += VarintSize(types[i]);
    return bytes;
}

// The first column's serial type, whose byte a freeblock header overwrote, for a body of l bytes
// at p; -1 when no type of the column fits.
int64_t LostFirstType(const CarveContext& c, const uint8_t* p, int64_t l) {
    if (c.rowidColumn == 0) return l == 0 ? 0 : -1;  // the rowid alias is stored as NULL
    if (l == 0) return 0;  // NULL, or the constants 0 and 1: which one is not to be known
    const uint8_t affinity = c.affinity ? c.affinity[0] : uint8_t(kAffinityBlob);
    const bool intLength = l <= 4 || l == 6 || l == 8;
    if (affinity != kAffinityText && intLength) {
        const uint64_t type = l <= 4 ? static_cast<uint64_t>(l) : (l == 6 ? 5 : 6);
        const bool minimal = IntegerType(BigEndianInt(p, l), c.zeroOneConstants) == type;
        if (l == 8) {
            const double d = BigEndianDouble(p);
            const bool real = !std::isnan(d) && !RealStoredAsInteger(d, affinity) && std::fpclassify(d) != FP_SUBNORMAL;
            if (real && (affinity == kAffinityReal || !minimal)) return 7;
            if (minimal && affinity != kAffinityReal) return 6;
        } else if (minimal) {
            return static_cast<int64_t>(type);
        }
    }
    if (ValidText(c.encoding, p, static_cast<size_t>(l), false) &&
        !(IsNumericAffinity(affinity) && LooksNumeric(p, static_cast<size_t>(l))))
        return 13 + 2 * l;
    // A BLOB only where the column declares none: elsewhere the guess is too free.
    return affinity == kAffinityBlob ? 12 + 2 * l : -1;
}

bool IntactCell(const CarveContext& c, uint32_t x, uint32_t end, std::vector<uint64_t>& types, CellLayout* out);

struct FreedBlock {
    uint32_t start;
    uint32_t end;  // start + the size in its header
};

// Whether a freed cell at the block's start ends at y where the block does, where a live cell or
// a record already found begins (what was left of the block when a new cell took its end), or
// where the header of a cell freed with it (same block end) or an intact cell begins.
bool EndConfirmed(const CarveContext& c, const FreedBlock& b, uint32_t y) {
    if (y == b.end || (y < b.end && c.Used(y))) return true;
    if (y + kFreeblockHeaderSize > b.end) return false;
    if (FreeblockHeaderAt(c, y) && y + LoadBE16(c.page + y + kFreeblockSize) == b.end) return true;
    CellLayout next;
    return IntactCell(c, y, b.end, c.scratch->neighbourTypes, &next);
}

bool Finish(const CarveContext& c, const FreedBlock& b, uint32_t limit, uint32_t headerAt, int64_t H,
            const std::vector<uint64_t>& types, int64_t sum, CellLayout* out) {
    const uint32_t x = b.start;
    const int64_t P = H + sum;
    const int d = VarintSize(static_cast<uint64_t>(P));
    const int r = static_cast<int>(headerAt - x) - d;
    if (d > kMaxFreedLengthVarint || r < 1 || r > 9) return false;
    // Rowid bytes past the overwritten four: all but the last say that the varint goes on.
    for (uint32_t at = x + kFreeblockHeaderSize; at < headerAt; ++at)
        if ((at + 1 == headerAt) != (c.page[at] < 0x80)) return false;
    const uint32_t usable = c.Usable();
    const int64_t local = sqlite_format::LocalPayloadSize(P, usable);
    if (H > local) return false;
    const int64_t length = d + r + local + (local < P ? 4 : 0);
    const int n = static_cast<int>(types.size());
    const uint32_t bodyAt = headerAt + static_cast<uint32_t>(H);
    if (x + length > limit) {
        // A later cell took the end of the freed block. The record is had up to there when the
        // block is this very cell.
        if (x + length != b.end || limit <= bodyAt) return false;
        if (!ValuesFit(c, types.data(), n, bodyAt, limit - bodyAt) || !EndsInText(types.data(), n, limit - bodyAt))
            return false;
        out->length = limit - x;
        out->partial = true;
        out->evidence = true;
    } else {
        if (!ValuesFit(c, types.data(), n, bodyAt, local - H)) return false;
        out->length = static_cast<uint32_t>(length);
        out->partial = local < P && !OverflowFits(c, c.page + x + d + r + local, P - local);
        // Its overflow pages were taken since: it is had for what its page holds.
        if (out->partial && !EndsInText(types.data(), n, local - H)) return false;
        out->evidence = EndConfirmed(c, b, x + static_cast<uint32_t>(length));
    }
    out->start = x;
    out->lengthSize = d;
    out->rowidSize = r;
    out->rowid = 0;
    out->intact = false;
    return true;
}

// The payload-length and rowid varints take two bytes: the header size and the first column's
// type were overwritten too. The type follows from where the cell ends.
bool LostTypeLayout(const CarveContext& c, const FreedBlock& b, uint32_t limit, CellLayout* out) {
    const uint8_t* pg = c.page;
    const uint32_t x = b.start;
    std::vector<uint64_t>& types = c.scratch->types;
    for (int k = 1; k <= 2; ++k) {  // bytes of the lost type's varint; the second would be at x + 4
        if (k == 2 && pg[x + 4] >= 0x80) continue;
        types.assign(1, 0);
        int64_t sum = 0;
        const uint8_t* after = nullptr;
        if (!ReadTypes(c, pg + x + 3 + k, nullptr, pg + limit, c.columns - 1, types, sum, &after)) continue;
        const int64_t H = 1 + k + TypeBytes(types.data() + 1, types.size() - 1);
        if (H >= 128) continue;
        const uint32_t body = x + 2 + static_cast<uint32_t>(H);
        const int64_t base = 2 + H + sum;
        // Ends to try: the block's, a freed neighbour's header, an intact neighbour.
        std::vector<uint32_t>& ends = c.scratch->ends;
        ends.clear();
        if (c.rowidColumn == 0) {
            ends.push_back(x + static_cast<uint32_t>(base));
        } else {
            for (uint32_t y = x + static_cast<uint32_t>(base); y <= limit && y - x - base + H + sum < 128; ++y)
                if (EndConfirmed(c, b, y)) ends.push_back(y);
        }
        for (uint32_t y : ends) {
            const int64_t l = y - x - base;
            if (l < 0 || y > limit) continue;
            const int64_t type = LostFirstType(c, pg + body, l);
            if (type < 0 || VarintSize(static_cast<uint64_t>(type)) != k) continue;
            if (k == 2 && (type & 0x7F) != pg[x + 4]) continue;
            types[0] = static_cast<uint64_t>(type);
            if (!Finish(c, b, limit, x + 2, H, types, sum + l, out)) continue;
            if (out->length != y - x) continue;
            out->typesAt = 3 + k;
            out->typeCount = c.columns - 1;
            out->lostType = type;
            return true;
        }
    }
    return false;
}

// The header starts j bytes into the freed cell (j >= 4): its size is read.
bool VisibleHeaderLayout(const CarveContext& c, const FreedBlock& b, uint32_t limit, uint32_t j, CellLayout* out) {
    const uint8_t* pg = c.page;
    const uint32_t hs = b.start + j;
    std::vector<uint64_t>& types = c.scratch->types;
    types.clear();
    int64_t sum = 0;
    const uint8_t* after = nullptr;
    uint64_t H;
    const int n = ReadMinimalVarint(pg + hs, pg + limit, &H);
    if (!n || H <= static_cast<uint64_t>(n) || H > limit - hs) return false;
    if (!ReadTypes(c, pg + hs + n, pg + hs + H, pg + limit, 0, types, sum, &after)) return false;
    if (static_cast<int>(types.size()) < c.minColumns) return false;
    if (!Finish(c, b, limit, hs, static_cast<int64_t>(H), types, sum, out)) return false;
    out->typesAt = j + n;
    out->typeCount = static_cast<int>(types.size());
    out->lostType = -1;
    return true;
}

// The payload-length and rowid varints take three bytes: the header size's first byte was
// overwritten. One byte (a header below 128 bytes), or two whose second is at x + 4; the size
// follows from the types. Prefers the one whose end is confirmed.
bool LostSizeLayout(const CarveContext& c, const FreedBlock& b, uint32_t limit, CellLayout* out) {
    const uint8_t* pg = c.page;
    const uint32_t x = b.start;
    std::vector<uint64_t>& types = c.scratch->types;
    bool found = false;
    for (int h = 1; h <= 2 && !(found && out->evidence); ++h) {
        if (h == 2 && pg[x + 4] >= 0x80) continue;
        types.clear();
        int64_t sum = 0;
        const uint8_t* after = nullptr;
        if (!ReadTypes(c, pg + x + 3 + h, nullptr, pg + limit, c.columns, types, sum, &after)) continue;
        const int64_t H = h + TypeBytes(types.data(), types.size());
        if (h == 1 ? H >= 128 : (H < 128 || H >= 16384 || (H & 0x7F) != pg[x + 4])) continue;
        CellLayout cell;
        if (!Finish(c, b, limit, x + 3, H, types, sum, &cell)) continue;
        if (found && !cell.evidence) continue;
        cell.typesAt = 3 + h;
        cell.typeCount = static_cast<int>(types.size());
        cell.lostType = -1;
        *out = cell;
        found = true;
    }
    return found;
}

}  // namespace

bool ValidText(int encoding, const uint8_t* bytes, size_t length, bool cut) {
    if (encoding == 2 || encoding == 3) {
        if (!cut && (length & 1)) return false;
        const size_t units = length / 2;
        for (size_t i = 0; i < units; ++i) {
            const uint8_t* u = bytes + 2 * i;
            const unsigned v = encoding == 2 ? (u[0] | (u[1] << 8)) : ((u[0] << 8) | u[1]);
            if (v < 0xD800 || v > 0xDFFF) continue;
            if (v >= 0xDC00) return false;  // a low surrogate without its high one
            if (i + 1 == units) return cut;
            const uint8_t* w = u + 2;
            const unsigned low = encoding == 2 ? (w[0] | (w[1] << 8)) : ((w[0] << 8) | w[1]);
            if (low < 0xDC00 || low > 0xDFFF) return false;
            ++i;
        }
        return true;
    }
    const size_t good = SkipValidUtf8(reinterpret_cast<const char*>(bytes), length);
    return good == length || (cut && length - good < 4);
}

bool LooksNumeric(const uint8_t* p, size_t n) {
    if (n == 0 || n > kMaxNumericText) return false;
    size_t i = 0;
    auto space = [&](size_t k) { return k < n && std::isspace(p[k]); };
    auto digit = [&](size_t k) { return k < n && p[k] >= '0' && p[k] <= '9'; };
    while (space(i)) ++i;
    if (i < n && (p[i] == '+' || p[i] == '-')) ++i;
    size_t digits = 0;
    while (digit(i)) ++i, ++digits;
    if (i < n && p[i] == '.') {
        ++i;
        while (digit(i)) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < n && (p[i] == 'e' || p[i] == 'E')) {
        size_t k = i + 1;
        if (k < n && (p[k] == '+' || p[k] == '-')) ++k;
        if (!digit(k)) return false;
        while (digit(k)) ++k;
        i = k;
    }
    while (space(i)) ++i;
    return i == n;
}

bool ValuesFit(const CarveContext& c, const uint64_t* types, int n, uint32_t bodyAt, int64_t localBody) {
    const uint8_t* body = c.page + bodyAt;
    int64_t at = 0;
    // A record of NULLs alone tells nothing, and free space is full of them.
    if (std::all_of(types, types + n, [](uint64_t t) { return t == 0; })) return false;
    for (int i = 0; i < n; ++i) {
        const uint64_t t = types[i];
        const int64_t length = SerialTypeLength(t);
        const int64_t here = std::max<int64_t>(0, std::min(length, localBody - at));  // bytes on the page
        const uint8_t* p = body + at;
        const uint8_t affinity = c.affinity && i < c.columns ? c.affinity[i] : uint8_t(kAffinityBlob);
        at += length;
        if (i == c.rowidColumn && t != 0) return false;
        if (t == 0) continue;
        if (t <= 9) {
            if (affinity == kAffinityText) return false;  // numbers are stored there as text
            if (t >= 8) {
                if (!c.zeroOneConstants) return false;
                continue;
            }
            if (here < length) continue;  // the value lies beyond the page: nothing to test
            if (t == 7) {
                const double d = BigEndianDouble(p);
                if (std::isnan(d) || RealStoredAsInteger(d, affinity)) return false;
            } else {
                if (affinity == kAffinityReal && t == 6) return false;  // would be kept as REAL
                if (IntegerType(BigEndianInt(p, length), c.zeroOneConstants) != t) return false;
            }
            continue;
        }
        // Zeroed free space reads as BLOBs and texts of zero bytes: no value has them.
        if (here >= kMinZeroRun && std::all_of(p, p + here, [](uint8_t b) { return b == 0; })) return false;
        if ((t & 1) == 0) {
            // SQLite keeps a BLOB in any column; in a column declared for numbers no program puts
            // one, and carving free space finds byte runs that read as BLOBs everywhere.
            if (IsNumericAffinity(affinity)) return false;
            continue;
        }
        if (!ValidText(c.encoding, p, static_cast<size_t>(here), here < length)) return false;
        if (IsNumericAffinity(affinity) && here == length && c.encoding == 1 &&
            LooksNumeric(p, static_cast<size_t>(length)))
            return false;
    }
    return true;
}

bool CheckIntactCell(const CarveContext& c, uint32_t x, uint32_t end, CellLayout* out) {
    return IntactCell(c, x, end, c.scratch->types, out);
}

namespace {

bool IntactCell(const CarveContext& c, uint32_t x, uint32_t end, std::vector<uint64_t>& types, CellLayout* out) {
    const uint32_t usable = c.Usable();
    end = std::min(end, usable);
    if (x + kFreeblockHeaderSize > end) return false;  // no cell is shorter
    const uint8_t* pg = c.page;
    const uint8_t* e = pg + end;
    uint64_t P, rowid, H;
    const int d = ReadMinimalVarint(pg + x, e, &P);
    if (!d || d > kMaxLengthVarint || P < 2) return false;
    const int r = ReadMinimalVarint(pg + x + d, e, &rowid);
    if (!r) return false;
    const uint32_t hs = x + d + r;
    const int h = ReadMinimalVarint(pg + hs, e, &H);
    if (!h || H <= static_cast<uint64_t>(h) || H > P) return false;
    const int64_t payload = static_cast<int64_t>(P);
    const int64_t local = sqlite_format::LocalPayloadSize(payload, usable);
    if (static_cast<int64_t>(H) > local || hs + H > end) return false;
    types.clear();
    int64_t sum = 0;
    const uint8_t* after = nullptr;
    if (!ReadTypes(c, pg + hs + h, pg + hs + H, e, 0, types, sum, &after)) return false;
    if (static_cast<int>(types.size()) < c.minColumns) return false;
    if (static_cast<int64_t>(H) + sum != payload) return false;
    const int64_t length = d + r + local + (local < payload ? 4 : 0);
    if (x + length > end) return false;
    if (!ValuesFit(c, types.data(), static_cast<int>(types.size()), hs + static_cast<uint32_t>(H),
                   local - static_cast<int64_t>(H)))
        return false;
    // Its overflow pages were taken since: it is had for what its page holds.
    out->partial = local < payload && !OverflowFits(c, pg + x + d + r + local, payload - local);
    if (out->partial &&
        !EndsInText(types.data(), static_cast<int>(types.size()), local - static_cast<int64_t>(H)))
        return false;
    out->start = x;
    out->length = static_cast<uint32_t>(length);
    out->lengthSize = d;
    out->rowidSize = r;
    out->rowid = static_cast<int64_t>(rowid);
    out->typesAt = 0;
    out->typeCount = static_cast<int>(types.size());
    out->lostType = -1;
    out->intact = true;
    out->evidence = true;
    return true;
}

}  // namespace

bool FreeblockHeaderAt(const CarveContext& c, uint32_t x) {
    const uint32_t usable = c.Usable();
    if (x + kFreeblockHeaderSize + 1 > usable) return false;
    const uint32_t size = LoadBE16(c.page + x + kFreeblockSize), next = LoadBE16(c.page + x + kFreeblockNext);
    // A chain runs up the page, and blocks less than four bytes apart are merged.
    return size >= kFreeblockHeaderSize && x + size <= usable &&
           (next == 0 || (next >= x + size + kFreeblockHeaderSize && next + kFreeblockHeaderSize <= usable));
}

bool CheckFreedCell(const CarveContext& c, uint32_t x, uint32_t end, CellLayout* out) {
    if (c.columns <= 0 || !FreeblockHeaderAt(c, x)) return false;
    const uint8_t* pg = c.page;
    const FreedBlock block{x, x + LoadBE16(pg + x + kFreeblockSize)};
    const uint32_t limit = std::min(block.end, end);
    bool found = false;
    CellLayout cell;
    for (uint32_t j = 2; j <= kMaxFreedHeaderStart && x + j + 2 <= limit; ++j) {
        const bool fits = j == 2   ? LostTypeLayout(c, block, limit, &cell)
                          : j == 3 ? LostSizeLayout(c, block, limit, &cell)
                                   : VisibleHeaderLayout(c, block, limit, j, &cell);
        if (!fits || (found && !cell.evidence) || (c.requireEnd && !cell.evidence)) continue;
        *out = cell;
        found = true;
        if (cell.evidence) break;
    }
    return found;
}
