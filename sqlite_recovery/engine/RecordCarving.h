#pragma once
// Carving of deleted records out of one page held in the reader's page buffer: behind stale cell
// pointers, in freeblocks (merged ones too), in the unallocated gap and in any other byte that no
// listed cell holds. Every record start there is tried, and a candidate is kept only when it is
// self-consistent (RecordCheck.h). The page is only read.
#include <cstdint>
#include <vector>

#include "sqlite_recovery/engine/RecordCheck.h"
#include "sqlite_recovery/engine/TableSchema.h"

class CSQLiteReader;

// Buffers reused from page to page.
struct CarveScratch {
    // Bytes of the page that a listed cell or a record already found holds.
    std::vector<uint64_t> usedBits = std::vector<uint64_t>(1025, 0);
    std::vector<uint64_t> types;        // serial types of the candidate being checked
    std::vector<uint64_t> neighbourTypes;  // those of a neighbour that confirms where it ends
    std::vector<uint32_t> ends;         // where a freed cell may end
    std::vector<CellLayout> cells;      // listed cells of a page no tree owns
    std::vector<uint32_t> retry;        // starts of records whose end was not confirmed yet
};

struct CarveContext {
    uint8_t* page = nullptr;
    uint32_t pageSize = 0;      // U
    uint32_t usableSize = 0;    // U less the bytes reserved at the page's end; 0: U
    uint32_t pageNumber = 0;
    TableSchema* table = nullptr;
    int columns = 0;
    // Fewest serial types a record may have: rows written before ALTER TABLE ADD COLUMN have
    // fewer than the table. On pages no tree owns, whose table is not known, exactly the columns.
    int minColumns = 1;
    bool requireEnd = false;    // freed cells only where their end is confirmed
    int rowidColumn = -1;       // the column that aliases the rowid (stored as NULL)
    const uint8_t* affinity = nullptr;  // one ColumnAffinity per column; null: not checked
    int encoding = 1;           // 1 UTF-8, 2 UTF-16le, 3 UTF-16be
    bool zeroOneConstants = true;  // schema format 4: 0 and 1 are stored as serial types 8 and 9
    CarveScratch* scratch = nullptr;
    CSQLiteReader* reader = nullptr;  // follows overflow chains; null: records that overflow are refused
    bool* timeUp = nullptr;     // set when the walk clock ran out
    mutable uint32_t questions = 0;
    // No byte of [freeRunFrom, freeRunTo) is used, and freeRunTo is (or is Usable()): the
    // candidates of a free stretch, tried upwards, ask for its end one after the other.
    mutable uint32_t freeRunFrom = 1, freeRunTo = 0;

    bool TimeUp() const;
    uint32_t Usable() const { return usableSize ? usableSize : pageSize; }
    bool Used(uint32_t offset) const {
        return (scratch->usedBits[offset >> 6] >> (offset & 63)) & 1;
    }
    void MarkUsed(uint32_t from, uint32_t to);
    // The first byte at or after offset that is used (Usable() when none).
    uint32_t NextUsed(uint32_t offset) const;
    // Forgets the free run NextUsed found last (the used bytes changed).
    void ForgetFreeRun() const { freeRunFrom = 1, freeRunTo = 0; }
    // Takes the context's table rules (column count, rowid alias, affinities) from its table;
    // ownTree false: the page is not of the table's tree.
    void UseTable(TableSchema* t, bool ownTree = true);
};

// Forgets what the previous page used, then marks the bytes that the listed cells of a table page
// occupy (cells at or after from, the end of the cell-pointer array; interior: interior cells).
void MarkListedCells(CarveContext& c, const std::vector<uint32_t>& liveOffsets, uint32_t from, bool interior = false);
// A candidate at x: an intact cell, else a freed one (confirmedOnly: only one whose end is
// confirmed; *unconfirmed tells of one that was not). Stores it and returns its length, or 0.
uint32_t CarveAt(CarveContext& c, uint32_t x, bool confirmedOnly, bool* unconfirmed = nullptr);
// Enters a record found on the page into the table's recovered records.
void StoreRecovered(TableSchema* table, uint32_t page, const CellLayout& cell);

// The cells that the header of a page no tree owns lists (an older version of a leaf, a freed
// leaf): records of the table when they check as intact cells. False when fewer than half of
// them do: the page was another table's, and nothing on it is carved.
bool CarveListedCells(CarveContext& c, const std::vector<uint32_t>& listed);
// Every position from the end of the cell-pointer array to the page's end that no listed cell or
// record found holds: the unallocated gap, freeblocks (merged ones, and those no chain reaches)
// and fragments. Stale cell pointers and the freeblock chain point into these bytes; every start
// is tried rather than trusting them. First the records whose end is confirmed (again while
// records found confirm more); then, unless the context requires a confirmed end, the others.
void CarveFreeSpace(CarveContext& c, uint32_t from);
