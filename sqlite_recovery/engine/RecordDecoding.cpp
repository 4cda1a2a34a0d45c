#include "sqlite_recovery/engine/RecordDecoding.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "sqlite_recovery/engine/CSQLiteReader.h"
#include "sqlite_recovery/engine/EngineState.h"
#include "sqlite_recovery/engine/SQLiteFormat.h"

using sqlite_format::Load32;
using sqlite_format::SerialTypeLength;
using sqlite_format::VarintSize;

int DecodeSerialType(uint64_t type, ColumnValue* value, uint32_t textCap) {
    ColumnValue& v = *value;
    v.serialType = type;
    v.data = nullptr;
    if (type == 10 || type == 11) return -1;
    if (type >= 12) {
        const uint64_t len = (type - 12) >> 1;
        v.storedLength = len;
        if (type & 1) {
            v.kind = kColumnText;
            v.length = static_cast<uint32_t>(std::min<uint64_t>(len, textCap));
        } else {
            v.kind = kColumnBlob;
            v.length = static_cast<uint32_t>(std::min<uint64_t>(len, UINT32_MAX));
        }
        return 0;
    }
    switch (type) {
        case 0: v.kind = kColumnNull; v.length = 0; break;
        case 1: case 2: case 3: case 4: v.kind = kColumnInt; v.length = static_cast<uint32_t>(type); break;
        case 5: v.kind = kColumnInt64; v.length = 6; break;
        case 6: case 7: v.kind = kColumnInt64; v.length = 8; break;
        default: v.kind = kColumnConst; v.length = 0; break;  // 8 and 9
    }
    v.storedLength = static_cast<uint64_t>(SerialTypeLength(type));
    return 0;
}

namespace {

constexpr int kMaxSerialTypes = 100;
constexpr int kMaxRecoveredRetypes = 50;
constexpr int kUnknownCountValues = 81;  // values decoded when a table's column count is 0
constexpr uint32_t kOverflowPagesPerValue = 19;

// Restores bytes of the page buffer that a decode zeroed, on every path out.
struct ZeroedBytes {
    uint8_t* at;
    size_t count;
    uint8_t saved[4];
    ZeroedBytes(uint8_t* p, size_t n) : at(p), count(n) {
        std::memcpy(saved, at, count);
        std::memset(at, 0, count);
    }
    ~ZeroedBytes() { std::memcpy(at, saved, count); }
};

// The payload of one record: local bytes in the page, then a chain of overflow pages, each
// holding usable size - 4 bytes. Walked forward only.
struct Payload {
    CSQLiteReader* reader;
    const uint8_t* local;
    int64_t localLength;
    int64_t chunk;
    uint32_t nextPage;      // first overflow page, 0 when the record does not overflow
    int64_t pageIndex;      // overflow page held in the overflow page buffer (0: none yet)
    bool broken;
    std::vector<uint32_t>* stamp;
    uint32_t generation;

    bool Advance(int64_t index) {
        uint8_t* buffer = engine_state::OverflowPageBuffer();
        while (pageIndex < index) {
            if (broken) return false;
            const uint32_t page = nextPage;
            if (page == 0 || page >= stamp->size() || (*stamp)[page] == generation ||
                reader->ReadPage(page, buffer) != 0) {
                broken = true;
                return false;
            }
            (*stamp)[page] = generation;
            nextPage = Load32(buffer + sqlite_format::kOverflowNext);
            ++pageIndex;
        }
        return pageIndex == index;
    }

    // Copies payload bytes [s, e) to dest; the bytes copied (fewer when the chain breaks).
    int64_t Copy(int64_t s, int64_t e, uint8_t* dest) {
        int64_t done = 0;
        if (s < localLength) {
            const int64_t n = std::min(e, localLength) - s;
            std::memcpy(dest, local + s, static_cast<size_t>(n));
            done += n;
            s += n;
        }
        while (s < e) {
            const int64_t index = 1 + (s - localLength) / chunk;
            if (!Advance(index)) break;
            const int64_t inPage = (s - localLength) % chunk;
            const int64_t n = std::min(e - s, chunk - inPage);
            std::memcpy(dest + done, engine_state::OverflowPageBuffer() + sqlite_format::kOverflowData + inPage,
                        static_cast<size_t>(n));
            done += n;
            s += n;
        }
        return done;
    }
};

// Lengths past any page count are all the same here, and their sums must not overflow.
int64_t CappedLength(uint64_t type) { return std::min<int64_t>(SerialTypeLength(type), int64_t(1) << 40); }

// The record's page in the reader's page buffer.
struct RecordPage {
    uint8_t* bytes;
    const uint8_t* end;  // bytes + page size
    int64_t usable;
};

// Where a record's header begins and how far its bytes may reach.
struct CellStart {
    int64_t rowid = 0;
    const uint8_t* header = nullptr;  // the header-size varint
    const uint8_t* bound = nullptr;
    int64_t payloadLength = -1;       // known for live and intact records
};

// A recovered record reaches at most to the next live record of its table on the same page.
const uint8_t* BeforeNextLiveRecord(const TableSchema& table, const RecordRef& ref, const uint8_t* page,
                                    const uint8_t* bound) {
    const size_t next = table.liveRecords.UpperBound(RecordMap::Key(ref.page, ref.offset));
    if (next < table.liveRecords.size() && table.liveRecords.at(next).page == ref.page)
        return std::min<const uint8_t*>(bound, page + table.liveRecords.at(next).offset);
    return bound;
}

// The payload-length and rowid varints of a live or intact cell are read as they stand; those of a
// cell whose first bytes a freeblock header overwrote are read as zeros (zeroed puts them back).
int LocateCell(const RecordPage& pg, const TableSchema& table, const RecordRef& ref, bool live,
               std::unique_ptr<ZeroedBytes>& zeroed, CellStart* cell) {
    uint8_t* p = pg.bytes + ref.offset;
    if (live || ref.intact) {
        const uint8_t* bound = live ? pg.bytes + pg.usable : pg.end;
        if (!live)
            bound = BeforeNextLiveRecord(table, ref, pg.bytes, std::min<const uint8_t*>(bound, p + ref.cellLength));
        uint64_t p0, r;
        const int e = ReadVarint(p, bound, &p0);
        if (!e || p + e >= bound || p0 == 0 || static_cast<int64_t>(p0) < 0) return -1;
        const int m = ReadVarint(p + e, bound, &r);
        if (!m) return -1;
        cell->rowid = static_cast<int64_t>(r);
        cell->header = p + e + m;
        cell->bound = bound;
        cell->payloadLength = static_cast<int64_t>(p0);
        return 0;
    }
    const int64_t L = ref.cellLength;
    if (L < 0 || L >= (int64_t(1) << 21)) return -3;
    const int g = ref.lengthSize ? ref.lengthSize : (L ? VarintSize(static_cast<uint64_t>(L)) : 1);
    // The freeblock header overwrote the first bytes: read them as zeros.
    zeroed.reset(new ZeroedBytes(p, static_cast<size_t>(std::min<int64_t>(4, pg.end - p))));
    const uint8_t* q = p + ref.rowidSize + g - 1;
    if (q >= pg.end) return -1;
    uint64_t r;
    const int n = ReadVarint(q, pg.end, &r);
    if (!n) return -1;
    cell->rowid = ref.rowid ? ref.rowid : static_cast<int64_t>(r);
    cell->header = q + n;
    if (L - (ref.rowidSize + g) <= 0) return -1;
    cell->bound = BeforeNextLiveRecord(table, ref, pg.bytes, std::min<const uint8_t*>(pg.end, p + L));
    return 0;
}

// What is known of a record's bytes once its header size has been read.
struct RecordBytes {
    const uint8_t* header;   // the header-size varint
    const uint8_t* bound;
    int headerSizeBytes;     // bytes of that varint
    uint64_t headerSize;
    int64_t localLength;     // payload bytes on the page
    uint32_t firstOverflow;  // 0: none known
    int64_t payloadLength;   // -1 when unknown
};

// The serial types of a record and where its values start.
struct RecordLayout {
    std::vector<uint64_t> types;
    int64_t bodyOffset = 0;  // payload offset of the first value
    int64_t sumLengths = 0;

    void Append(uint64_t type) {
        types.push_back(type);
        sumLengths += CappedLength(type);
    }
    int Count() const { return static_cast<int>(types.size()); }
};

// Serial types read up to the header size, at most want of them; decoding stops at a reserved
// type. A header longer than the local bytes is gathered from the overflow pages first.
int ReadStoredHeader(const RecordBytes& r, Payload& payload, int want, int64_t pageSize, RecordLayout* layout) {
    const int hsz = r.headerSizeBytes;
    if (r.headerSize < static_cast<uint64_t>(hsz) || r.headerSize > static_cast<uint64_t>(pageSize) * 4) return -5;
    const uint8_t* header = r.header;
    if (static_cast<int64_t>(r.headerSize) > r.localLength) {
        // A header longer than the local bytes continues on the overflow pages; the values are
        // gathered over this copy later, after the types are read.
        uint8_t* overflow = engine_state::OverflowBuffer();
        if (!r.firstOverflow || r.headerSize > engine_state::kOverflowBufferSize) return -5;
        const int64_t headerBytes = static_cast<int64_t>(r.headerSize);
        if (payload.Copy(0, headerBytes, overflow) != headerBytes) return -5;
        header = overflow;
    }
    const uint8_t* pos = header + hsz;
    const uint8_t* hend = header + r.headerSize;
    while (pos < hend && layout->Count() < want) {
        uint64_t t;
        const int n = ReadVarint(pos, hend, &t);
        if (!n || t == 10 || t == 11) break;  // decoding stops at a reserved type
        layout->Append(t);
        pos += n;
    }
    layout->bodyOffset = static_cast<int64_t>(r.headerSize);
    return 0;
}

// The header size was overwritten: the types run until they account for the cell, and at most to
// the table's column count (several deleted cells merged into one freeblock end after their
// columns). -4 when the count cannot be the table's.
int ReadOverwrittenHeader(const RecordBytes& r, int columns, RecordLayout* layout) {
    const int hsz = r.headerSizeBytes;
    int64_t left = static_cast<int64_t>(r.bound - r.header) - hsz;
    const uint8_t* pos = r.header + hsz;
    const int limit = columns > 0 ? columns : kMaxSerialTypes;
    while (layout->Count() < limit && left > 0) {
        uint64_t t;
        const int n = ReadVarint(pos, r.bound, &t);
        if (!n || t == 10 || t == 11) break;
        left -= n + CappedLength(t);
        layout->Append(t);
        pos += n;
    }
    layout->bodyOffset = pos - r.header;
    const int n = layout->Count();
    if (columns > 0 && n != columns) {
        if (left == 0) {
            if (n < columns - 3 || n > columns + 3) return -4;
        } else {
            if (r.headerSize == 0) return -8;
            if (columns > n + 2 && n < kMaxRecoveredRetypes) return -4;
        }
    }
    return 0;
}

// Where the values are read from: the local bytes, then the overflow chain into the overflow
// buffer, at most 19 overflow pages a value.
struct ValueSource {
    const uint8_t* local;
    int64_t localLength;
    uint32_t firstOverflow;
    int64_t chunk;  // payload bytes an overflow page holds
    Payload* payload;
    uint8_t* overflow;
    size_t fill = 0;  // overflow buffer bytes used so far
};

// The bytes of the value at payload offset start, want of them at most: null with got 0 when
// there is nothing to deliver.
const uint8_t* ValueBytes(ValueSource& src, int64_t start, int64_t want, int64_t* got) {
    *got = 0;
    int64_t end = start + want;
    if (end > src.localLength) {
        if (!src.firstOverflow) {
            end = std::min(end, src.localLength);
        } else {
            const int64_t firstPage = start < src.localLength ? 1 : 1 + (start - src.localLength) / src.chunk;
            end = std::min(end, src.localLength + (firstPage - 1 + kOverflowPagesPerValue) * src.chunk);
        }
    }
    if (end <= start) return nullptr;
    if (end <= src.localLength) {
        *got = end - start;
        return src.local + start;
    }
    const int64_t room = static_cast<int64_t>(engine_state::kOverflowBufferSize - src.fill);
    if (room <= 0) return nullptr;
    end = std::min(end, start + room);
    *got = src.payload->Copy(start, end, src.overflow + src.fill);
    const uint8_t* bytes = src.overflow + src.fill;
    src.fill += static_cast<size_t>(*got);
    return bytes;
}

// An integer of 1, 2 or 4 bytes is kept converted and sign-extended; other lengths as stored.
void StoreInteger(ColumnValue& v, const uint8_t* bytes, int64_t len) {
    if (len == 1 || len == 2 || len == 4) {
        uint64_t u = 0;
        for (int64_t k = 0; k < len; ++k) u = (u << 8) | bytes[k];
        if (bytes[0] & 0x80) u |= ~uint64_t(0) << (8 * len);
        const int64_t x = static_cast<int64_t>(u);
        std::memcpy(v.inlineValue, &x, sizeof x);
    } else {
        std::memset(v.inlineValue, 0, sizeof v.inlineValue);
        std::memcpy(v.inlineValue, bytes, static_cast<size_t>(len));
    }
    v.data = v.inlineValue;
}

// The first deliver values of the layout into values (which has that many).
void DeliverValues(const RecordLayout& layout, ValueSource& src, uint32_t textCap, std::vector<ColumnValue>& values) {
    int64_t s = layout.bodyOffset;
    const int deliver = static_cast<int>(values.size());
    for (int i = 0; i < deliver && i < layout.Count(); ++i) {
        ColumnValue& v = values[i];
        DecodeSerialType(layout.types[i], &v, textCap);
        const int64_t len = CappedLength(layout.types[i]);
        const int64_t start = s;
        s += len;
        if (v.kind == kColumnNull) continue;
        if (v.kind == kColumnConst) {
            const int64_t one = layout.types[i] == 9 ? 1 : 0;
            std::memcpy(v.inlineValue, &one, sizeof one);
            v.length = 1;
            v.data = one ? v.inlineValue : nullptr;
            continue;
        }
        // Bytes delivered: TEXT capped, a value reaching into the overflow at most 19 pages.
        int64_t got = 0;
        const uint8_t* bytes = ValueBytes(src, start, v.length, &got);
        if (v.kind == kColumnInt || v.kind == kColumnInt64) {
            if (got != len) {
                v.length = 0;
                continue;
            }
            StoreInteger(v, bytes, len);
            continue;
        }
        v.data = got > 0 ? bytes : nullptr;
        v.length = static_cast<uint32_t>(got);
    }
}

}  // namespace

int CSQLiteReader::DecodeRecord(TableSchema* table, const RecordRef& ref, bool live, uint32_t textCap,
                                std::vector<ColumnValue>& values) {
    values.clear();
    engine_state::NextDecodeGeneration();
    if (!table) return -1;
    if (ReadPage(ref.page, pageBuffer_) != 0) return -2;
    const int64_t U = pageSize_, usable = usableSize_;
    if (ref.offset <= 0 || ref.offset >= U) return -1;
    const RecordPage pg{pageBuffer_, pageBuffer_ + U, usable};
    const int c = table->columnCount;

    CellStart cell;
    std::unique_ptr<ZeroedBytes> zeroed;
    int rc = LocateCell(pg, *table, ref, live, zeroed, &cell);
    if (rc != 0) return rc;
    const uint8_t* hs = cell.header;
    if (hs >= cell.bound) return -1;

    // Local bytes and the overflow chain.
    int64_t localLength = cell.bound - hs;
    uint32_t firstOverflow = 0;
    if (live) {
        const int64_t x = sqlite_format::LocalPayloadSize(cell.payloadLength, usable);
        if (x > localLength) return -5;
        localLength = x;
        if (x < cell.payloadLength) {
            if (hs + x + 4 > cell.bound) return -5;
            firstOverflow = Load32(hs + x);
        }
    }

    // Header: its size, then the serial types.
    uint64_t headerSize;
    const int hsz = ReadVarint(hs, cell.bound, &headerSize);
    if (!hsz) return -1;
    if (++chainGeneration_ == 0) {
        std::fill(chainStamp_.begin(), chainStamp_.end(), 0);
        chainGeneration_ = 1;
    }
    Payload payload{this, hs, localLength, usable - 4, firstOverflow, 0, false, &chainStamp_, chainGeneration_};
    const RecordBytes bytes{hs, cell.bound, hsz, headerSize, localLength, firstOverflow, cell.payloadLength};

    const bool headerKnown =
        live || ref.intact ||
        (headerSize > static_cast<uint64_t>(hsz) && static_cast<int64_t>(headerSize) <= localLength);
    RecordLayout layout;
    layout.types.reserve(static_cast<size_t>(std::max(c, 8)));
    const int want = live ? (c > 0 ? c : kUnknownCountValues) : kMaxSerialTypes;
    rc = headerKnown ? ReadStoredHeader(bytes, payload, want, U, &layout) : ReadOverwrittenHeader(bytes, c, &layout);
    if (rc != 0) return rc;
    if (!live && c > 0 && headerKnown && layout.Count() != c) {
        const int n = layout.Count();
        const bool consistent = cell.payloadLength < 0 ||
                                cell.payloadLength == static_cast<int64_t>(headerSize) + layout.sumLengths;
        if (!consistent || n < c - 3 || n > c + 3) return -4;
    }
    if (layout.bodyOffset > localLength && !firstOverflow) return -5;

    // A recovered record whose values run past its local bytes may continue on overflow pages.
    if (!live && !firstOverflow) {
        const int64_t total = layout.bodyOffset + layout.sumLengths;
        if (total > localLength) {
            const int64_t x = sqlite_format::LocalPayloadSize(total, usable);
            if (x >= layout.bodyOffset && x + 4 <= localLength) {
                firstOverflow = Load32(hs + x);
                payload.localLength = localLength = x;
                payload.nextPage = firstOverflow;
            }
        }
    }

    const int deliver = c > 0 ? c : std::min<int>(layout.Count(), kUnknownCountValues);
    values.resize(static_cast<size_t>(deliver));
    ValueSource source{hs, localLength, firstOverflow, usable - 4, &payload, engine_state::OverflowBuffer()};
    DeliverValues(layout, source, textCap, values);

    // The column declared INTEGER PRIMARY KEY is stored as NULL: it reads as the rowid.
    const int alias = table->rowidColumn;
    if (alias >= 0 && alias < deliver && values[alias].serialType == 0 && (live || cell.rowid != 0)) {
        ColumnValue& v = values[alias];
        v.kind = kColumnInt;
        v.length = 4;
        std::memcpy(v.inlineValue, &cell.rowid, sizeof cell.rowid);
        v.data = v.inlineValue;
    }
    return 0;
}
