#pragma once
// Whether bytes of a page are a record of a given table: an intact cell, or a freed cell whose
// first four bytes SQLite overwrote with a freeblock header {next block, block size}. A record is
// taken only when it is self-consistent the way SQLite writes records: minimal varints, legal
// serial types, a header size and a payload length that account for the types exactly, texts
// valid in the database's encoding and values that the columns' declared affinities can hold.
//
// Table-leaf cell, as SQLite writes it (sizes in bytes):
//   offset  size   meaning
//   0       1..9   payload length P (varint)
//   +       1..9   rowid (varint)
//   +       1..9   header size H (varint, counting itself)
//   +       ...    one serial type per column (varints), up to H
//   +       ...    the values, in column order
//   local   4      first overflow page (big-endian), only when P exceeds what the page keeps
// Freeing a cell writes over its first 4 bytes:
//   0       2      next freeblock offset (big-endian; 0 ends the chain)
//   2       2      size of the freed block (big-endian)
#include <cstdint>
#include <string>
#include <vector>

#include "sqlite_recovery/engine/SchemaText.h"

struct CarveContext;

// A record found on a page, as far as its cell tells.
struct CellLayout {
    uint32_t start = 0;      // the cell's first byte, from the page start
    uint32_t length = 0;     // bytes the cell takes on the page (at least 4)
    int lengthSize = 0;      // bytes of the payload-length varint
    int rowidSize = 0;       // bytes of the rowid varint
    int64_t rowid = 0;       // 0 when its bytes were overwritten
    uint32_t typesAt = 0;    // freed cells: first serial type read from the page, from the cell start
    int typeCount = 0;       // freed cells: serial types read there
    int64_t lostType = -1;   // freed cells: the first column's type when its byte was overwritten
    bool intact = false;
    bool evidence = false;   // the cell ends where its freed block, or a freed neighbour, begins
    // Only the first length bytes are the record's: later writes took the rest of its payload
    // (the end of its freed block, or its overflow chain). The value there is a text.
    bool partial = false;
};

// Intact cell at x whose bytes lie before end. True when it is a record of the table.
bool CheckIntactCell(const CarveContext& c, uint32_t x, uint32_t end, CellLayout* out);
// Bytes at x that SQLite may have written as a freeblock header: a size of at least 4 that stays
// on the page, and a next block 0 or at least 4 bytes past this one's end.
bool FreeblockHeaderAt(const CarveContext& c, uint32_t x);
// Freed cell at x (a freeblock header there), its bytes before end. The payload-length and rowid
// sizes are worked out, and the first column's type when its byte was overwritten: from the
// cell's end, where the block ends or the next freed cell's header begins. Prefers a layout whose
// end is so confirmed.
bool CheckFreedCell(const CarveContext& c, uint32_t x, uint32_t end, CellLayout* out);
// The values of a record: types[0..n), body at bodyAt on the page, of which the first localBody
// bytes are on the page (the rest on overflow pages).
bool ValuesFit(const CarveContext& c, const uint64_t* types, int n, uint32_t bodyAt, int64_t localBody);
// Text valid in the database's encoding (1 UTF-8, 2 UTF-16le, 3 UTF-16be); a cut text may end
// inside a character.
bool ValidText(int encoding, const uint8_t* bytes, size_t length, bool cut);
// A text that SQLite would have turned into a number in a column of numeric affinity.
bool LooksNumeric(const uint8_t* bytes, size_t length);
