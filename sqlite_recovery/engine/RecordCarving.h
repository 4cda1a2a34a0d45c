#pragma once
// Carving of deleted records out of one page held in the reader's page buffer: behind stale cell
// pointers, in the unallocated gap, in freeblocks and wherever a record-like run of bytes lies.
// A candidate belongs to the table when its column count is the table's. Bytes zeroed for a
// check are always put back.
#include <cstdint>
#include <vector>

#include "sqlite_recovery/engine/TableSchema.h"

// The offsets on one page where a cell or freeblock may start: every cell pointer read (live and
// stale), the header's first freeblock and the freeblocks the chain pass visits. Filled in any
// order; RunCarvingPasses sorts it and drops repeats.
using PageOffsetSet = std::vector<uint32_t>;

// Buffers reused from page to page.
struct CarveScratch {
    std::vector<uint32_t> stamp = std::vector<uint32_t>(65537, 0);
    uint32_t generation = 0;
    std::vector<uint64_t> markerBits = std::vector<uint64_t>(1024, 0);
    std::vector<uint8_t> markerFirst = std::vector<uint8_t>(256, 0);
    std::vector<uint16_t> markers;
    std::vector<uint32_t> zeroPairs;  // x where 00 00 is followed by a non-zero 16-bit value
    std::vector<uint32_t> work;
    std::vector<uint32_t> starts;
    // Offsets strictly inside a cell that the page's own header lists: no other record can
    // start there.
    std::vector<uint64_t> insideBits = std::vector<uint64_t>(1025, 0);
};

struct CarveContext {
    uint8_t* page = nullptr;
    uint32_t pageSize = 0;     // U
    uint32_t pageNumber = 0;
    TableSchema* table = nullptr;
    int columns = 0;
    uint32_t arrayStart = 0;   // A0
    uint32_t firstFreeblock = 0;
    CarveScratch* scratch = nullptr;
    bool* timeUp = nullptr;    // set when the walk clock ran out
    mutable uint32_t questions = 0;

    const uint64_t* inside = nullptr;  // null: the page lists no cells worth trusting

    bool TimeUp() const;
    bool Inside(uint64_t offset) const { return inside && ((inside[offset >> 6] >> (offset & 63)) & 1); }
};

// Marks in c.scratch->insideBits the bytes that the listed cells of a table-leaf page occupy,
// and points c.inside at them.
void MarkListedCells(CarveContext& c, const std::vector<uint32_t>& liveOffsets, uint32_t usableSize);

struct CheckResult {
    int64_t rowid = 0;
    int lengthSize = 0;
    int rowidSize = 0;
};

// Intact cell [start, endBound): 0 when its serial types account for its payload exactly and
// number the table's columns; negative otherwise.
int CheckRecord(const CarveContext& c, uint32_t start, uint32_t endBound, CheckResult* out);
// Cell whose first bytes the caller zeroed, taken to be blockLength long, rowid varint of r bytes.
// exact (may be null): the serial types number the columns exactly and end where the block, or a
// merged neighbour's header, does; recordLength then receives the record's own length.
// lengthSize 0: the length varint is taken to be as long as blockLength's.
int CheckOverwrittenRecord(const CarveContext& c, uint32_t start, int64_t blockLength, uint32_t endBound,
                           int r, int64_t* rowid, bool* exact = nullptr, int lengthSize = 0,
                           int64_t* recordLength = nullptr);
// Block [q, e): 0 when a record was accepted and stored. Rowid varints of 1 to 4 bytes are tried.
int CarveBlock(CarveContext& c, int64_t q, int64_t e, bool intactTest);
void StoreRecovered(TableSchema* table, uint32_t page, uint32_t offset, int cellLength, int rowidSize,
                    int64_t rowid, bool intact, int lengthSize, bool exact = true);

void CarveAtCellPointers(CarveContext& c, const PageOffsetSet& offsets);
void CarveUnallocated(CarveContext& c);
void CarveFreeblockChain(CarveContext& c, PageOffsetSet& offsets);
void CarveMarkedBlocks(CarveContext& c, const PageOffsetSet& offsets);
void CarveAfterFFRuns(CarveContext& c);
void CarveFreeblocks(CarveContext& c);
void CarveZeroedHeaders(CarveContext& c);
// The seven passes in their order over the page's offset set.
void RunCarvingPasses(CarveContext& c, PageOffsetSet& offsets);
