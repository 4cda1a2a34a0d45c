#include "sqlite_recovery/engine/RecordCarving.h"

#include <algorithm>
#include <cstring>

#include "sqlite_recovery/engine/EngineState.h"
#include "sqlite_recovery/engine/SQLiteFormat.h"

using sqlite_format::kChildPointerSize;
using sqlite_format::kFreeblockHeaderSize;

namespace {


void SetBits(std::vector<uint64_t>& bits, uint64_t from, uint64_t to) {
    if (from >= to) return;
    const uint64_t first = from >> 6, last = (to - 1) >> 6;
    const uint64_t head = ~uint64_t(0) << (from & 63);
    const uint64_t tail = ~uint64_t(0) >> (63 - ((to - 1) & 63));
    if (first == last) {
        bits[first] |= head & tail;
        return;
    }
    bits[first] |= head;
    for (uint64_t w = first + 1; w < last; ++w) bits[w] = ~uint64_t(0);
    bits[last] |= tail;
}

// Whether a record or a freeblock header may begin at p: a cell begins with a payload length of
// at least 2, a freeblock header has a size of at least 4 (p[2..3]). Zeroed space begins neither.
inline bool MayBeginRecord(const uint8_t* p) { return p[0] >= 2 || (p[2] | (p[3] & 0xFC)) != 0; }

// The first position at or after x, with 4 bytes before to, that no record holds and where one may
// begin; to when there is none. Used bytes are skipped a word of the map at a time, runs of zero
// bytes 8 at a time.
uint32_t NextCandidate(const CarveContext& c, uint32_t x, uint32_t to) {
    const std::vector<uint64_t>& used = c.scratch->usedBits;
    while (x + kFreeblockHeaderSize <= to) {
        const uint64_t free = ~used[x >> 6] >> (x & 63);
        if (free == 0) {
            x = (x | 63) + 1;
            continue;
        }
        x += static_cast<uint32_t>(__builtin_ctzll(free));
        if (x + kFreeblockHeaderSize > to) break;
        const uint8_t* p = c.page + x;
        if (MayBeginRecord(p)) return x;
        if (x + 8 <= to) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            if (word == 0) {
                // No position before the 3 bytes ahead of the next non-zero byte may begin one.
                uint32_t y = x + 8;
                while (y + 8 <= to) {
                    std::memcpy(&word, c.page + y, 8);
                    if (word) break;
                    y += 8;
                }
                while (y < to && c.page[y] == 0) ++y;
                x = y - 3;
                continue;
            }
        }
        ++x;
    }
    return to;
}

// Bytes a listed table-leaf cell takes (its length and rowid varints, the local payload and the
// overflow pointer); 0 when its varints run off the page.
uint32_t ListedCellSize(const CarveContext& c, uint32_t o) {
    const uint32_t usable = c.Usable();
    const uint8_t* end = c.page + usable;
    uint64_t payload, rowid;
    const int n = ReadVarint(c.page + o, end, &payload);
    if (!n) return 0;
    const int m = ReadVarint(c.page + o + n, end, &rowid);
    if (!m || static_cast<int64_t>(payload) < 0) return 0;
    const int64_t local = sqlite_format::LocalPayloadSize(static_cast<int64_t>(payload), usable);
    const int64_t overflowPointer = local < static_cast<int64_t>(payload) ? 4 : 0;
    const int64_t size = n + m + local + overflowPointer;
    return static_cast<uint32_t>(std::min<int64_t>(std::max<int64_t>(size, kFreeblockHeaderSize), usable - o));
}

// Every position of [from, to) that no record holds, upwards, each record found skipped whole;
// only records whose end is confirmed. Positions whose candidate lacked that go to retry. The
// number of records found.
int CarveRange(CarveContext& c, uint32_t from, uint32_t to, std::vector<uint32_t>& retry) {
    to = std::min(to, c.Usable());
    int found = 0;
    uint32_t clockBlock = ~uint32_t(0);
    for (uint32_t x = NextCandidate(c, from, to); x + kFreeblockHeaderSize <= to; x = NextCandidate(c, x, to)) {
        // The clock is asked about once in each 256 bytes tried.
        if ((x >> 8) != clockBlock) {
            clockBlock = x >> 8;
            if (c.TimeUp()) break;
        }
        bool unconfirmed = false;
        const uint32_t n = CarveAt(c, x, true, &unconfirmed);
        if (unconfirmed) retry.push_back(x);
        found += n != 0;
        x += n ? n : 1;
    }
    return found;
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

void CarveContext::MarkUsed(uint32_t from, uint32_t to) {
    ForgetFreeRun();
    SetBits(scratch->usedBits, from, std::min(to, pageSize));
}

uint32_t CarveContext::NextUsed(uint32_t offset) const {
    if (freeRunFrom <= offset && offset <= freeRunTo) return freeRunTo;
    const uint32_t end = Usable();
    uint32_t at = offset;
    while (at < end) {
        const uint64_t word = scratch->usedBits[at >> 6] >> (at & 63);
        if (word) {
            at = std::min(end, at + static_cast<uint32_t>(__builtin_ctzll(word)));
            break;
        }
        at = (at | 63) + 1;
    }
    at = std::min(at, end);
    if (offset <= at) freeRunFrom = offset, freeRunTo = at;
    return at;
}

void CarveContext::UseTable(TableSchema* t, bool ownTree) {
    constexpr int kMaxMissingColumns = 3;
    table = t;
    columns = t ? t->columnCount : 0;
    minColumns = ownTree ? std::max(1, columns - kMaxMissingColumns) : columns;
    requireEnd = !ownTree;
    rowidColumn = t ? t->rowidColumn : -1;
    affinity = t && static_cast<int>(t->affinity.size()) == columns ? t->affinity.data() : nullptr;
}

void MarkListedCells(CarveContext& c, const std::vector<uint32_t>& liveOffsets, uint32_t from, bool interior) {
    std::vector<uint64_t>& bits = c.scratch->usedBits;
    std::fill(bits.begin(), bits.begin() + (c.pageSize >> 6) + 1, 0);
    c.ForgetFreeRun();
    // The page header and the live cell-pointer array hold no cell.
    c.MarkUsed(0, from);
    for (uint32_t o : liveOffsets) {
        if (o < from || o >= c.Usable()) continue;
        // An interior cell: child page number (4 bytes) and key (varint).
        uint64_t key;
        const uint32_t size = interior ? kChildPointerSize + ReadVarint(c.page + o + kChildPointerSize,
                                                                        c.page + c.Usable(), &key)
                                       : ListedCellSize(c, o);
        c.MarkUsed(o, o + std::max<uint32_t>(size, kFreeblockHeaderSize));
    }
}

void StoreRecovered(TableSchema* table, uint32_t page, const CellLayout& cell) {
    RecordRef ref;
    ref.page = page;
    ref.offset = static_cast<int32_t>(cell.start);
    ref.cellLength = static_cast<int32_t>(cell.length);
    ref.rowid = cell.rowid;
    ref.rowidSize = static_cast<int8_t>(cell.rowidSize);
    ref.lengthSize = static_cast<int8_t>(cell.lengthSize);
    ref.intact = cell.intact;
    ref.exact = cell.evidence;
    ref.partial = cell.partial;
    ref.typesAt = static_cast<uint8_t>(cell.typesAt);
    ref.typeCount = static_cast<uint16_t>(cell.typeCount);
    ref.lostType = cell.lostType < 0 ? RecordRef::kNoLostType : static_cast<uint32_t>(cell.lostType);
    // Repeats and live records are dropped when the walk finishes its maps.
    table->recoveredRecords.Add(ref);
}

uint32_t CarveAt(CarveContext& c, uint32_t x, bool confirmedOnly, bool* unconfirmed) {
    const uint8_t* p = c.page + x;
    if (x + kFreeblockHeaderSize > c.Usable() || c.Used(x)) return 0;
    // Most free bytes start neither a cell nor a freeblock: zeroed space above all.
    if (!MayBeginRecord(p)) return 0;
    const uint32_t end = c.NextUsed(x);
    CellLayout cell;
    if (!CheckIntactCell(c, x, end, &cell) && !CheckFreedCell(c, x, end, &cell)) {
        // A freed cell whose end a record found later confirms may be had then.
        if (unconfirmed && FreeblockHeaderAt(c, x)) *unconfirmed = true;
        return 0;
    }
    if (confirmedOnly && !cell.evidence) {
        if (unconfirmed) *unconfirmed = true;
        return 0;
    }
    StoreRecovered(c.table, c.pageNumber, cell);
    c.MarkUsed(x, x + cell.length);
    return cell.length;
}

bool CarveListedCells(CarveContext& c, const std::vector<uint32_t>& listed) {
    std::vector<CellLayout>& cells = c.scratch->cells;
    cells.clear();
    for (uint32_t o : listed) {
        CellLayout cell;
        if (o + kFreeblockHeaderSize <= c.Usable() && CheckIntactCell(c, o, c.Usable(), &cell)) cells.push_back(cell);
    }
    if (cells.size() * 2 < listed.size()) return false;
    for (const CellLayout& cell : cells) StoreRecovered(c.table, c.pageNumber, cell);
    return true;
}

void CarveFreeSpace(CarveContext& c, uint32_t from) {
    constexpr int kConfirmRounds = 4;
    if (c.columns <= 0 || c.pageSize < 512 || !c.table || c.TimeUp()) return;
    std::vector<uint32_t>& retry = c.scratch->retry;
    retry.clear();
    int found = CarveRange(c, from, c.Usable(), retry);
    // A record found confirms the end of the freed cell below it: go again while that helps.
    for (int round = 1; round < kConfirmRounds && found > 0 && !retry.empty(); ++round) {
        found = 0;
        size_t kept = 0;
        for (uint32_t x : retry) {
            bool unconfirmed = false;
            found += CarveAt(c, x, true, &unconfirmed) != 0;
            if (unconfirmed) retry[kept++] = x;
        }
        retry.resize(kept);
    }
    if (c.requireEnd) return;
    for (uint32_t x : retry) CarveAt(c, x, false);
}
