#include "sqlite_recovery/engine/RecordCarving.h"

#include <algorithm>
#include <cstring>

#include "sqlite_recovery/engine/EngineState.h"
#include "sqlite_recovery/engine/SQLiteFormat.h"

using sqlite_format::kFreeblockNext;
using sqlite_format::kFreeblockSize;
using sqlite_format::Load16;
using sqlite_format::Load32;
using sqlite_format::SerialTypeLength;

namespace {

constexpr int kMaxRowidGuess = 4;

void SortUnique(std::vector<uint32_t>& v) {
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
}

uint32_t NextStamp(CarveScratch& s) {
    if (++s.generation == 0) {
        std::fill(s.stamp.begin(), s.stamp.end(), 0);
        s.generation = 1;
    }
    return s.generation;
}

// Positions x (below U - 3) where two zero bytes are followed by a non-zero 16-bit value: the
// ends of zero runs. Inside a longer run the following value is zero, which no pass acts on.
void BuildZeroPairs(const CarveContext& c) {
    std::vector<uint32_t>& out = c.scratch->zeroPairs;
    out.clear();
    const uint8_t* pg = c.page;
    const uint32_t U = c.pageSize;
    uint32_t x = 0;
    while (x < U) {
        if (pg[x] != 0) {
            ++x;
            continue;
        }
        const uint32_t a = x;
        while (x < U && pg[x] == 0) ++x;
        const uint32_t b = x;  // first non-zero byte after the run, or U
        if (b >= U || b - a < 2) continue;
        if (b >= a + 3 && b - 3 + 3 < U) out.push_back(b - 3);
        if (b - 2 + 3 < U) out.push_back(b - 2);
    }
}

struct Markers {
    CarveScratch& s;
    bool Has(uint16_t v) const { return (s.markerBits[v >> 6] >> (v & 63)) & 1; }
    // The two bytes at p are a marker; most bytes start none, which one table look-up tells.
    bool At(const uint8_t* p) const { return s.markerFirst[p[0]] && Has(Load16(p)); }
    void Add(uint16_t v) {
        if (Has(v)) return;
        s.markerBits[v >> 6] |= uint64_t(1) << (v & 63);
        s.markerFirst[v >> 8] = 1;
        s.markers.push_back(v);
    }
    void Clear() {
        for (uint16_t v : s.markers) {
            s.markerBits[v >> 6] = 0;
            s.markerFirst[v >> 8] = 0;
        }
        s.markers.clear();
    }
};

// The freeblock-like header {next 0, size T} at p: walk back from p + T - 4 to p, carving each
// block that starts with two zero bytes and whose size the bytes after them give.
void CarveBackwards(CarveContext& c, uint32_t p, uint32_t T) {
    uint8_t* pg = c.page;
    const uint32_t U = c.pageSize;
    if (T < 4 || p + 4 > U) return;
    uint8_t saved[4];
    std::memcpy(saved, pg + p, 4);
    std::memset(pg + p, 0, 4);
    int64_t curT = T, consumed = 0;
    auto tryAt = [&](uint32_t x) {
        const int64_t t = (x == p) ? curT : int64_t(Load16(pg + x + kFreeblockSize)) - consumed;
        if (t != 0 && t <= curT && CarveBlock(c, x, int64_t(x) + t, true) == 0) {
            curT -= t;
            consumed += t;
        }
    };
    const uint32_t top = std::min<uint32_t>(p + T - 4, U - 4);
    const std::vector<uint32_t>& zp = c.scratch->zeroPairs;
    // Above p + 3 the page is as the zero-pair list saw it.
    auto it = std::upper_bound(zp.begin(), zp.end(), top);
    while (it != zp.begin()) {
        --it;
        if (*it <= p + 3) break;
        tryAt(*it);
    }
    for (int64_t x = std::min<int64_t>(top, p + 3); x >= p; --x) {
        if (pg[x] == 0 && pg[x + 1] == 0) tryAt(static_cast<uint32_t>(x));
    }
    std::memcpy(pg + p, saved, 4);
}

}  // namespace

bool CarveContext::TimeUp() const {
    if (timeUp && *timeUp) return true;
    // The clock is read on every 64th question only.
    if ((++questions & 63) != 0) return false;
    if (engine_state::WalkTimeUp()) {
        if (timeUp) *timeUp = true;
        return true;
    }
    return false;
}

namespace {

void SetBits(std::vector<uint64_t>& bits, uint64_t from, uint64_t to) {
    while (from < to && (from & 63)) {
        bits[from >> 6] |= uint64_t(1) << (from & 63);
        ++from;
    }
    while (from + 64 <= to) {
        bits[from >> 6] = ~uint64_t(0);
        from += 64;
    }
    while (from < to) {
        bits[from >> 6] |= uint64_t(1) << (from & 63);
        ++from;
    }
}

}  // namespace

void MarkListedCells(CarveContext& c, const std::vector<uint32_t>& liveOffsets, uint32_t usableSize) {
    std::vector<uint64_t>& bits = c.scratch->insideBits;
    std::fill(bits.begin(), bits.begin() + (c.pageSize >> 6) + 1, 0);
    const uint8_t* pg = c.page;
    const uint8_t* end = pg + usableSize;
    const int64_t usable = usableSize;
    for (uint32_t o : liveOffsets) {
        if (o < c.arrayStart || o >= usableSize) continue;
        uint64_t payload, rowid;
        const int n = ReadVarint(pg + o, end, &payload);
        if (!n) continue;
        const int m = ReadVarint(pg + o + n, end, &rowid);
        if (!m || static_cast<int64_t>(payload) < 0) continue;
        const int64_t local = sqlite_format::LocalPayloadSize(static_cast<int64_t>(payload), usable);
        const int64_t size = n + m + local + (local < static_cast<int64_t>(payload) ? 4 : 0);
        const uint64_t last = static_cast<uint64_t>(std::min<int64_t>(int64_t(o) + size, c.pageSize));
        SetBits(bits, o + 1, last);
    }
    c.inside = bits.data();
}

void StoreRecovered(TableSchema* table, uint32_t page, uint32_t offset, int cellLength, int rowidSize,
                    int64_t rowid, bool intact, int lengthSize, bool exact) {
    RecordRef ref;
    ref.rowidSize = static_cast<int8_t>(rowidSize);
    ref.page = page;
    ref.offset = static_cast<int>(offset);
    ref.cellLength = cellLength;
    ref.rowid = rowid;
    ref.intact = intact;
    ref.lengthSize = static_cast<int8_t>(lengthSize);
    ref.exact = exact;
    // Repeats and live records are dropped when the walk finishes its maps: the first exact store
    // of a key wins, else the first.
    table->recoveredRecords.Add(ref);
}

int CheckRecord(const CarveContext& c, uint32_t start, uint32_t endBound, CheckResult* out) {
    if (endBound > c.pageSize) endBound = c.pageSize;
    const uint8_t* end = c.page + endBound;
    const uint8_t* p = c.page + start;
    if (p >= end) return -1;
    uint64_t L;
    int n = ReadVarint(p, end, &L);
    if (!n || p + n >= end || static_cast<int64_t>(L) <= 0) return -1;
    p += n;
    uint64_t rowid;
    int m = ReadVarint(p, end, &rowid);
    if (!m || p + m >= end) return -2;
    p += m;
    uint64_t headerSize;
    int s = ReadVarint(p, end, &headerSize);
    if (!s || p + s >= end) return -3;
    p += s;
    int64_t A = static_cast<int64_t>(L) - s;
    if (A <= 0) return -3;
    int count = 0;
    const int64_t U = c.pageSize;
    while (A > 0 && A < U) {
        uint64_t t;
        int f = ReadVarint(p, end, &t);
        if (!f || p + f >= end || A - f < 0) return -1;
        const int64_t len = SerialTypeLength(t);
        if (len < 0) return -1;
        A -= f;
        if (len > A) return -3;
        A -= len;
        p += f;
        // More columns than the table has can never be accepted.
        if (++count > c.columns) return -4;
    }
    if (count != c.columns) return -4;
    out->rowid = static_cast<int64_t>(rowid);
    out->lengthSize = n;
    out->rowidSize = m;
    return 0;
}

int CheckOverwrittenRecord(const CarveContext& c, uint32_t start, int64_t B, uint32_t endBound, int r,
                           int64_t* rowid, bool* exact, int lengthSize, int64_t* recordLength) {
    if (exact) *exact = false;
    if (endBound > c.pageSize) endBound = c.pageSize;
    const uint8_t* pg = c.page;
    const uint8_t* end = pg + endBound;
    if (B < 0) return -1;
    const int d = lengthSize ? lengthSize : sqlite_format::VarintSize(static_cast<uint64_t>(B));
    if (d > 3) return -1;
    const uint8_t* p = pg + start + d;
    if (p >= end || B - d < 0) return -1;
    uint64_t v;
    const int f = ReadVarint(p, end, &v);
    if (!f) return -1;
    if (v) *rowid = static_cast<int64_t>(v);
    p = pg + start + d + f + r - 1;
    if (p >= end) return -1;
    int64_t G = B - d - f - r + 1;
    if (G < 0) return -1;
    uint64_t H;
    const int h = ReadVarint(p, end, &H);
    if (!h || p + h >= end || G - h < 0) return -1;
    p += h;
    G -= h;
    int count = 0;
    const int cap = c.columns + 10;
    int64_t afterColumns = -1;  // bytes of the block left after the table's columns
    while (G > 0 && count < cap) {
        uint64_t t;
        const int o = ReadVarint(p, end, &t);
        if (!o || p + o > end || G - o < 0) break;
        const int64_t len = SerialTypeLength(t);
        if (len < 0) break;
        G -= o;
        p += o;
        if (len > G) break;
        G -= len;
        if (++count == c.columns) afterColumns = G;
    }
    if (count >= c.columns) {
        // Exact: the columns end where the block ends, or where the header of a neighbour that
        // was freed before it and merged into this block starts (two zero bytes).
        if (exact && afterColumns >= 0) {
            const int64_t recordEnd = int64_t(start) + B - afterColumns;
            *exact = afterColumns == 0 ||
                     (afterColumns >= 4 && recordEnd + 2 <= endBound && pg[recordEnd] == 0 && pg[recordEnd + 1] == 0);
            if (recordLength) *recordLength = B - afterColumns;
        }
        return 0;
    }
    if (H > 0) {
        uint64_t left = H;
        int again = 0;
        for (;;) {
            uint64_t t;
            const int o = ReadVarint(p, end, &t);
            if (!o || p + o > end || static_cast<uint64_t>(o) > left) break;
            ++again;
            left -= o;
            p += o;
            if (left == 0) break;
        }
        if (c.columns == again || c.columns == again + 1 || c.columns == again + 2) return 0;
    }
    return -4;
}

int CarveBlock(CarveContext& c, int64_t q, int64_t e, bool intactTest) {
    const int64_t U = c.pageSize;
    if (e <= 0 || q <= 0 || q >= e || e - q >= U || q >= U) return -1;
    if (c.Inside(static_cast<uint64_t>(q))) return -1;
    if (e > U) e = U;
    uint8_t* at = c.page + q;
    const size_t keep = static_cast<size_t>(std::min<int64_t>(8, U - q));
    uint8_t saved[8];
    std::memcpy(saved, at, keep);
    const uint32_t start = static_cast<uint32_t>(q), bound = static_cast<uint32_t>(e);
    int rc = -1;
    if (intactTest) {
        CheckResult r;
        rc = CheckRecord(c, start, bound, &r);
        if (rc == 0) {
            StoreRecovered(c.table, c.pageNumber, start, static_cast<int>(e - q), r.rowidSize, r.rowid, true,
                           r.lengthSize);
            return 0;
        }
    }
    // Each rowid size in turn, with 4, 5, 6 and 7 bytes zeroed (4-byte rowids reach 2^28), the
    // length varint sized from the block. The first fit whose serial types number the columns
    // exactly and end where the block or a merged neighbour's header does wins; else the first
    // that merely reaches the count (it may shift every column). A block that several deleted
    // cells merged into is larger than its first cell, so the smaller length sizes are tried for
    // an exact fit too.
    const int blockSize = sqlite_format::VarintSize(static_cast<uint64_t>(e - q));
    int chosen = 0, chosenLength = 0;
    int64_t chosenRowid = 0, chosenCell = e - q;
    bool chosenExact = false;
    for (int pass = 0; pass < 3 && !chosenExact; ++pass) {
        const int d = pass == 0 ? blockSize : (pass < blockSize ? pass : 0);
        if (d == 0 || d > 3) continue;
        std::memcpy(at, saved, keep);
        for (int r = 1; r <= kMaxRowidGuess; ++r) {
            std::memset(at, 0, std::min<size_t>(3 + r, keep));
            int64_t rowid = 0, length = e - q;
            bool exact = false;
            const int result = CheckOverwrittenRecord(c, start, e - q, bound, r, &rowid, &exact, d, &length);
            if (result != 0) {
                if (!chosen) rc = result;
                continue;
            }
            if (exact || (!chosen && pass == 0)) {
                chosen = r;
                chosenRowid = rowid;
                chosenExact = exact;
                chosenLength = exact ? d : 0;
                chosenCell = exact ? length : e - q;
            }
            if (exact) break;
        }
    }
    std::memcpy(at, saved, keep);
    if (!chosen) return rc;
    StoreRecovered(c.table, c.pageNumber, start, static_cast<int>(chosenCell), chosen, chosenRowid, false,
                   chosenLength, chosenExact);
    return 0;
}

void CarveAtCellPointers(CarveContext& c, const PageOffsetSet& offsets) {
    CarveScratch& s = *c.scratch;
    const uint32_t gen = NextStamp(s);
    const uint8_t* pg = c.page;
    const uint64_t U = c.pageSize;
    for (uint32_t o : offsets) {
        if (o == 0 || o > U) continue;
        if (c.TimeUp()) return;
        uint64_t p = o;
        bool merged = false;
        while (p < U) {
            // A hop that lands where an earlier one went ends where that one ended: done already.
            if (s.stamp[p] == gen) {
                merged = true;
                break;
            }
            s.stamp[p] = gen;
            uint64_t L, rowid;
            const int h = ReadVarint(pg + p, pg + U, &L);
            if (!h || L == 0 || static_cast<int64_t>(L) < 0) break;
            const int m = ReadVarint(pg + p + h, pg + U, &rowid);
            if (!m) break;
            p += h + L + m;
        }
        if (merged || p + 4 > U) continue;
        const uint32_t T = Load32(pg + p);
        if (T <= U && pg[p] < 0x80) CarveBackwards(c, static_cast<uint32_t>(p), T);
    }
}

void CarveUnallocated(CarveContext& c) {
    const uint8_t* pg = c.page;
    const uint32_t U = c.pageSize;
    uint32_t x = c.arrayStart;
    while (x + 4 < U) {
        if ((x & 1023) == 0 && c.TimeUp()) return;
        if (pg[x] == 0 || c.Inside(x)) {
            ++x;
            continue;
        }
        uint64_t L;
        const int d = ReadVarint(pg + x, pg + U, &L);
        if (d && L <= U) {
            CheckResult r;
            const uint32_t bound = static_cast<uint32_t>(std::min<uint64_t>(uint64_t(x) + L, U));
            if (CheckRecord(c, x, bound, &r) == 0) {
                if (x >= 32768) return;
                const int64_t cell = static_cast<int64_t>(L) + r.rowidSize + d;
                StoreRecovered(c.table, c.pageNumber, x, static_cast<int>(cell), r.rowidSize, r.rowid, true, d);
                x = static_cast<uint32_t>(std::min<int64_t>(x + cell, U));
                continue;
            }
        }
        ++x;
    }
}

void CarveFreeblockChain(CarveContext& c, PageOffsetSet& offsets) {
    const uint32_t U = c.pageSize;
    uint32_t f = c.firstFreeblock;
    uint32_t previous = 1;
    // Each step moves at least four bytes up the page, so the chain ends.
    for (uint32_t steps = 0; f < U && f >= previous + 4 && f + 4 <= U && steps < U / 4; ++steps) {
        if (c.TimeUp()) break;
        const uint32_t size = Load16(c.page + f + kFreeblockSize);
        CarveBlock(c, f, int64_t(f) + size, false);
        offsets.push_back(f);
        previous = f;
        f = Load16(c.page + f + kFreeblockNext);
    }
    SortUnique(offsets);
}

void CarveMarkedBlocks(CarveContext& c, const PageOffsetSet& offsets) {
    CarveScratch& s = *c.scratch;
    const uint8_t* pg = c.page;
    const uint32_t U = c.pageSize;
    Markers K{s};
    std::vector<uint32_t>& s2 = s.work;
    s2 = offsets;
    for (uint32_t o : offsets) {
        if (o + 2 <= U && o < U) {
            const uint16_t m = Load16(pg + o);
            if (m != 0) K.Add(m);
        }
    }
    for (uint16_t m : s.markers) s2.push_back(m);
    SortUnique(s2);
    auto carveSized = [&](uint32_t o) {
        if (o + 4 > U) return false;
        const uint32_t end = o + Load16(pg + o + kFreeblockSize);
        if (CarveBlock(c, o, end, true) != 0) return false;
        if (end + 2 <= U) K.Add(Load16(pg + end));
        return true;
    };
    for (uint32_t o : s2) {
        if (o >= U) continue;
        if (c.TimeUp()) break;
        carveSized(o);
    }
    // The next position at or after x (before U - 3) whose two bytes are a marker. The tables
    // have fixed sizes, so their addresses hold while markers are added.
    const uint8_t* first = s.markerFirst.data();
    auto nextMarker = [&](uint32_t x) {
        while (x + 4 <= U) {
            if (first[pg[x]] && K.Has(Load16(pg + x))) return x;
            ++x;
        }
        return U;
    };
    int64_t pending = -1;
    for (uint32_t x = nextMarker(c.arrayStart); x + 4 <= U; x = nextMarker(x + 1)) {
        if (c.TimeUp()) return K.Clear();
        if (pending >= 0) {
            if (CarveBlock(c, pending, x, true) == 0) pending = x;
            else pending = -1;
        }
        if (pending < 0) {
            pending = x;
            if (carveSized(x)) pending = -1;
        }
    }
    for (uint32_t x = nextMarker(c.arrayStart); x + 4 <= U; x = nextMarker(x + 1)) {
        if (c.TimeUp()) break;
        if (Load16(pg + x) == 0) continue;
        if (pending >= 0) {
            CarveBlock(c, pending, x, true);
            pending = -1;
        } else {
            pending = x;
        }
    }
    K.Clear();
}

void CarveAfterFFRuns(CarveContext& c) {
    const uint8_t* pg = c.page;
    const uint32_t U = c.pageSize;
    if (U < 4) return;
    const uint32_t limit = U - 4;
    uint32_t x = c.arrayStart;
    while (x < limit) {
        if (pg[x] == 0) {
            ++x;
            continue;
        }
        if (c.TimeUp()) return;
        // The next FF FF at or after x.
        uint32_t y = x;
        bool found = false;
        while (y + 1 < limit) {
            const void* hit = std::memchr(pg + y, 0xFF, limit - y);
            if (!hit) break;
            y = static_cast<uint32_t>(static_cast<const uint8_t*>(hit) - pg);
            if (y + 1 < limit && pg[y + 1] == 0xFF) {
                found = true;
                break;
            }
            ++y;
        }
        if (!found) return;
        uint32_t end = y + 2;
        if (end + 2 <= U && pg[end] == 0xFF && pg[end + 1] == 0xFF) end += 2;
        CarveBlock(c, x, end, true);
        x = end;
    }
}

void CarveFreeblocks(CarveContext& c) {
    if (c.firstFreeblock == 0) return;
    const uint32_t U = c.pageSize;
    uint32_t pos = c.firstFreeblock;
    for (uint32_t steps = 0; steps + 1 < U / 2 && pos + 4 < U; ++steps) {
        if (c.TimeUp()) return;
        const uint32_t next = Load16(c.page + pos + kFreeblockNext), size = Load16(c.page + pos + kFreeblockSize);
        if (size > U / 2) return;
        if (next == 0 || next > U / 2) return;
        CarveBlock(c, pos, int64_t(pos) + size, false);
        pos = next;
    }
}

void CarveZeroedHeaders(CarveContext& c) {
    std::vector<uint32_t>& starts = c.scratch->starts;
    starts.clear();
    for (uint32_t x : c.scratch->zeroPairs)
        if (x >= c.arrayStart && x + 4 <= c.pageSize) starts.push_back(x);
    CarveAtCellPointers(c, starts);
}

void RunCarvingPasses(CarveContext& c, PageOffsetSet& offsets) {
    if (c.columns <= 0 || c.pageSize < 512) return;
    SortUnique(offsets);
    BuildZeroPairs(c);
    if (c.TimeUp()) return;
    CarveAtCellPointers(c, offsets);
    CarveUnallocated(c);
    CarveFreeblockChain(c, offsets);
    CarveMarkedBlocks(c, offsets);
    CarveAfterFFRuns(c);
    CarveFreeblocks(c);
    CarveZeroedHeaders(c);
}
