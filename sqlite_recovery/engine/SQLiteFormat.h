#pragma once
// Byte-level rules of the SQLite 3 file format, every read bounded by the caller's end pointer.
// Every multi-byte field is big-endian.
#include <cstdint>

#include "sqlite_recovery/framework/ByteOrder.h"

namespace sqlite_format {

// The database header: the first 100 bytes of page 1.
//   offset  size  meaning
//      0     16   "SQLite format 3" and a zero byte
//     16      2   page size in bytes; 1 stands for 65536
//     18      1   file format write version: 1 rollback journal, 2 write-ahead log
//     19      1   file format read version: 1 rollback journal, 2 write-ahead log (0: unreadable)
//     20      1   bytes reserved at the end of every page
//     21      3   payload fractions: 64, 32, 32
//     24      4   file change counter
//     28      4   database size in pages
//     32      4   first freelist trunk page
//     36      4   freelist page count
//     40      4   schema cookie
//     44      4   schema format number: 1 to 4
//     48      4   default page cache size
//     52      4   largest root page (auto-vacuum), else 0
//     56      4   text encoding: 1 UTF-8, 2 UTF-16le, 3 UTF-16be
//     60      4   user version
//     64      4   incremental vacuum, else 0
//     68      4   application id
//     72     20   reserved, zero
//     92      4   version-valid-for number
//     96      4   version of the library that last wrote the file
constexpr uint32_t kHeaderMagic = 0;
constexpr uint32_t kHeaderMagicSize = 16;
constexpr uint32_t kHeaderPageSize = 16;
constexpr uint32_t kHeaderWriteVersion = 18;
constexpr uint32_t kHeaderReadVersion = 19;
constexpr uint32_t kHeaderReservedBytes = 20;
constexpr uint32_t kHeaderPageCount = 28;
constexpr uint32_t kHeaderFreelistTrunk = 32;
constexpr uint32_t kHeaderSchemaFormat = 44;
constexpr uint32_t kHeaderTextEncoding = 56;
constexpr uint32_t kDatabaseHeaderSize = 100;
constexpr char kHeaderMagicText[kHeaderMagicSize] = "SQLite format 3";  // with its zero byte
// Write and read version of a database in write-ahead-log mode.
constexpr uint8_t kWalModeVersion = 2;

// The b-tree page header, at offset 100 of page 1 and at 0 of every other page.
//   offset  size  meaning
//      0      1   page type: 2 interior index, 5 interior table, 10 leaf index, 13 leaf table
//      1      2   first freeblock, 0 when none
//      3      2   number of cells
//      5      2   start of the cell content area; 0 stands for 65536
//      7      1   fragmented free bytes in the cell content area
//      8      4   right-most child page (interior pages only)
// The cell-pointer array follows the header: 2-byte offsets of the cells, in key order.
//
// Cells:   table leaf      payload length (varint), rowid (varint), payload, first overflow page (4)
//          table interior  left child page (4), rowid key (varint)
//          index interior  left child page (4), payload length (varint), payload, ...
// A freeblock: next freeblock (2, 0 ends the chain), size of this block (2), free bytes.
// An overflow page: next overflow page (4, 0 ends the chain), usable size - 4 payload bytes.
constexpr uint32_t kPageType = 0;
constexpr uint32_t kFirstFreeblock = 1;
constexpr uint32_t kCellCount = 3;
constexpr uint32_t kContentStart = 5;
constexpr uint32_t kFragmentedBytes = 7;
constexpr uint32_t kRightChild = 8;
constexpr uint32_t kLeafHeaderSize = 8;
constexpr uint32_t kInteriorHeaderSize = 12;
constexpr uint32_t kFreeblockNext = 0;
constexpr uint32_t kFreeblockSize = 2;
constexpr uint32_t kFreeblockHeaderSize = 4;  // also the smallest cell: a freed cell loses these bytes
constexpr uint32_t kChildPointerSize = 4;
constexpr uint32_t kOverflowNext = 0;
constexpr uint32_t kOverflowData = 4;

// A free-list trunk page (the first from the database header, each naming the next).
//   offset  size  meaning
//      0      4   next trunk page, 0 for the last
//      4      4   number of leaf pages listed here
//      8    4 x n leaf page numbers
// A free-list leaf page keeps whatever bytes it held.
constexpr uint32_t kTrunkNext = 0;
constexpr uint32_t kTrunkLeafCount = 4;
constexpr uint32_t kTrunkLeaves = 8;
enum : uint8_t { kInteriorIndexPage = 2, kInteriorTablePage = 5, kLeafIndexPage = 10, kLeafTablePage = 13 };

// Where the b-tree page header of a page starts: after the database header on page 1.
inline uint32_t BtreeHeaderOffset(uint64_t page) { return page == 1 ? kDatabaseHeaderSize : 0; }

// The page size a database header gives (1 stands for 65536).
inline uint32_t HeaderPageSize(const uint8_t* header) {
    const uint32_t raw = LoadBE16(header + kHeaderPageSize);
    return raw == 1 ? 65536u : raw;
}

// Bytes a value takes as a varint: 1 below 128, 2 below 16384, ... 9 for the largest.
inline int VarintSize(uint64_t v) {
    int n = 1;
    while (n < 9 && v >= (uint64_t(1) << (7 * n))) ++n;
    return n;
}

// Value length in bytes of a serial type; -1 for the reserved types 10 and 11. Lengths of huge
// TEXT/BLOB types are returned whole (the caller compares them with what is left).
inline int64_t SerialTypeLength(uint64_t type) {
    static const int8_t kFixed[12] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, -1, -1};
    if (type < 12) return kFixed[type];
    return static_cast<int64_t>((type - 12) >> 1);
}

// Local payload bytes of a table-leaf cell with payload P on pages of the given usable size:
// the file format's own rule (P itself up to U-35, else M + (P-M) mod (U-4) while that stays
// within U-35, else M).
inline int64_t LocalPayloadSize(int64_t payload, int64_t usable) {
    const int64_t maxLocal = usable - 35;
    if (payload <= maxLocal) return payload;
    const int64_t minLocal = ((usable - 12) * 32 / 255) - 23;
    const int64_t k = minLocal + (payload - minLocal) % (usable - 4);
    return k <= maxLocal ? k : minLocal;
}

}  // namespace sqlite_format

// The published SQLite varint at p, never reading at or past end: returns the bytes used (1 to 9),
// or 0 when the varint would run past end.
int ReadVarint(const uint8_t* p, const uint8_t* end, uint64_t* value);
