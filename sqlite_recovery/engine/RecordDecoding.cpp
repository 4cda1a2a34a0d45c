#include "sqlite_recovery/engine/RecordDecoding.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "sqlite_recovery/engine/CSQLiteReader.h"
#include "sqlite_recovery/engine/EngineState.h"
#include "sqlite_recovery/engine/SQLiteFormat.h"

using sqlite_format::SerialTypeLength;

namespace {

constexpr int kMaxSerialTypes = 100;
constexpr int kUnknownCountValues = 81;  // values decoded when a table's column count is 0

}  // namespace

int DecodeSerialType(uint64_t type, ColumnValue* value, uint32_t cap) {
    ColumnValue& v = *value;
    v.serialType = type;
    v.data = nullptr;
    if (type == 10 || type == 11) return -1;
    if (type >= 12) {
        const uint64_t len = (type - 12) >> 1;
        v.storedLength = len;
        v.kind = type & 1 ? kColumnText : kColumnBlob;
        v.length = static_cast<uint32_t>(std::min<uint64_t>(len, cap));
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
            nextPage = LoadBE32(buffer + sqlite_format::kOverflowNext);
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

}  // namespace

namespace {

// Where a record's payload lies: its header at payload offset 0, the first local bytes on the
// page, the rest on the overflow chain.
struct RecordPlace {
    int64_t rowid = 0;
    const uint8_t* payload = nullptr;  // payload offset 0 on the page
    const uint8_t* bound = nullptr;    // end of the cell's bytes on the page
    int64_t length = -1;               // P, -1 when the header must tell
    int64_t local = 0;                 // payload bytes on the page
    uint32_t firstOverflow = 0;

    // The local bytes of a payload of the known length, and where its overflow chain starts. 0;
    // -5 when they run past end. A partial record's payload ends with the cell's bytes at end.
    int SetLocal(int64_t usable, const uint8_t* end, bool partial) {
        local = sqlite_format::LocalPayloadSize(length, usable);
        if (partial) {
            local = std::min<int64_t>(local, end - payload);
            return local > 0 ? 0 : -5;
        }
        if (payload + local > end) return -5;
        if (local < length) {
            if (payload + local + 4 > end) return -5;
            firstOverflow = LoadBE32(payload + local);
        }
        return 0;
    }
};

// The record's cell on the page in pg: its rowid, payload bounds and overflow chain. Freed cells
// also give their serial types, into types.
int LocateRecord(uint8_t* pg, int64_t U, int64_t usable, TableSchema* table, const RecordRef& ref, bool live,
                 RecordPlace* place, std::vector<uint64_t>& types) {
    uint8_t* p = pg + ref.offset;
    const uint8_t* end = pg + usable;
    if (!live && ref.cellLength > 0) end = std::min<const uint8_t*>(end, p + ref.cellLength);
    if (!live) {
        // A carved cell never reaches into the next live cell of the page.
        const size_t next = table->liveRecords.UpperBound(RecordMap::Key(ref.page, ref.offset));
        if (next < table->liveRecords.size() && table->liveRecords.at(next).page == ref.page)
            end = std::min<const uint8_t*>(end, pg + table->liveRecords.at(next).offset);
    }
    place->bound = end;
    if (live || ref.intact) {
        uint64_t p0, r;
        const int e = ReadVarint(p, end, &p0);
        if (!e || p + e >= end || p0 == 0 || static_cast<int64_t>(p0) < 0) return -1;
        const int m = ReadVarint(p + e, end, &r);
        if (!m) return -1;
        place->rowid = static_cast<int64_t>(r);
        place->payload = p + e + m;
        place->length = static_cast<int64_t>(p0);
        return place->SetLocal(usable, end, !live && ref.partial);
    }
    // A freed cell, as the carving worked it out: where its serial types start, and the first
    // column's type when a freeblock header overwrote it.
    if (ref.offset + int64_t(ref.cellLength) > U || ref.typesAt < 3 || ref.lengthSize < 1 || ref.rowidSize < 1)
        return -3;
    place->rowid = ref.rowid;
    place->payload = p + ref.lengthSize + ref.rowidSize;
    if (ref.lostType != RecordRef::kNoLostType) types.push_back(ref.lostType);
    const uint8_t* t = p + ref.typesAt;
    for (int i = 0; i < ref.typeCount; ++i) {
        uint64_t type;
        const int n = ReadVarint(t, end, &type);
        if (!n || type == 10 || type == 11) return -4;
        types.push_back(type);
        t += n;
    }
    const int64_t header = t - place->payload;
    int64_t sum = 0;
    for (uint64_t type : types) sum += std::min<int64_t>(SerialTypeLength(type), int64_t(1) << 40);
    place->length = header + sum;
    return place->SetLocal(usable, end, ref.partial);
}

// Decodes the values of a located record, copying those that continue on overflow pages into the
// overflow buffer (grown once for the record, up to its cap).
int DeliverValues(TableSchema* table, const std::vector<uint64_t>& types, int64_t bodyOffset, const RecordPlace& place,
                  Payload& payload, int64_t rowid, bool live, uint32_t textCap, std::vector<ColumnValue>& values,
                  std::vector<ValueCut>* cuts) {
    const int c = table->columnCount;
    const int deliver = c > 0 ? c : std::min<int>(static_cast<int>(types.size()), kUnknownCountValues);
    auto lengthOf = [](uint64_t t) { return std::min<int64_t>(SerialTypeLength(t), int64_t(1) << 40); };
    // The bytes the values take beyond the page, so that the overflow buffer grows once (a partial
    // record's end on the page is its end).
    int64_t beyond = 0, s = bodyOffset;
    for (int i = 0; i < deliver && i < static_cast<int>(types.size()); ++i) {
        const int64_t len = std::min<int64_t>(lengthOf(types[i]), textCap);
        if (place.firstOverflow && s + len > place.local) beyond += len + 8;
        s += lengthOf(types[i]);
    }
    const size_t room = beyond > 0 ? engine_state::ReserveOverflowBuffer(static_cast<size_t>(
                                         std::min<int64_t>(beyond, engine_state::kMaxOverflowBufferSize)))
                                   : 0;
    uint8_t* overflow = engine_state::OverflowBuffer();
    size_t fill = 0;
    values.resize(static_cast<size_t>(deliver));
    s = bodyOffset;
    for (int i = 0; i < deliver && i < static_cast<int>(types.size()); ++i) {
        ColumnValue& v = values[i];
        DecodeSerialType(types[i], &v, textCap);
        const int64_t len = lengthOf(types[i]);
        const int64_t start = s;
        s += len;
        if (v.kind == kColumnNull) continue;
        if (v.kind == kColumnConst) {
            const int64_t one = types[i] == 9 ? 1 : 0;
            std::memcpy(v.inlineValue, &one, sizeof one);
            v.length = 1;
            v.data = one ? v.inlineValue : nullptr;
            continue;
        }
        int64_t end = start + v.length;
        if (end > place.local && !place.firstOverflow) end = std::min(end, place.local);
        if (end <= start) {
            v.length = 0;
            continue;
        }
        const uint8_t* bytes = nullptr;
        int64_t got = 0;
        if (end <= place.local) {
            bytes = place.payload + start;
            got = end - start;
        } else {
            end = std::min<int64_t>(end, start + static_cast<int64_t>(room - std::min(room, fill)));
            got = end > start ? payload.Copy(start, end, overflow + fill) : 0;
            bytes = overflow + fill;
            fill += static_cast<size_t>(got);
            // Whole as far as the caps let it be, and yet shorter than stored: the caps cut it (a
            // chain that breaks off is damage, told of nowhere else either).
            if (cuts && got == end - start && got < len)
                cuts->push_back({rowid, i, static_cast<uint64_t>(len), static_cast<uint64_t>(got)});
        }
        if (v.kind == kColumnInt || v.kind == kColumnInt64) {
            if (got != len) {
                v.length = 0;
                continue;
            }
            int64_t x = 0;
            if (len == 1 || len == 2 || len == 4) {
                uint64_t u = 0;
                for (int64_t k = 0; k < len; ++k) u = (u << 8) | bytes[k];
                if (bytes[0] & 0x80) u |= ~uint64_t(0) << (8 * len);
                x = static_cast<int64_t>(u);
                std::memcpy(v.inlineValue, &x, sizeof x);
            } else {
                std::memset(v.inlineValue, 0, sizeof v.inlineValue);
                std::memcpy(v.inlineValue, bytes, static_cast<size_t>(len));
            }
            v.data = v.inlineValue;
            continue;
        }
        v.data = got > 0 ? bytes : nullptr;
        v.length = static_cast<uint32_t>(got);
    }
    // The column declared INTEGER PRIMARY KEY is stored as NULL: it reads as the rowid.
    const int alias = table->rowidColumn;
    if (alias >= 0 && alias < deliver && values[alias].serialType == 0 && (live || rowid != 0)) {
        ColumnValue& v = values[alias];
        v.kind = kColumnInt;
        v.length = 4;
        std::memcpy(v.inlineValue, &rowid, sizeof rowid);
        v.data = v.inlineValue;
    }
    return 0;
}

}  // namespace

int CSQLiteReader::DecodeRecord(TableSchema* table, const RecordRef& ref, bool live, uint32_t textCap,
                                std::vector<ColumnValue>& values, std::vector<ValueCut>* cuts) {
    values.clear();
    if (cuts) cuts->clear();
    engine_state::NextDecodeGeneration();
    if (!table) return -1;
    if (ReadPage(ref.page, pageBuffer_) != 0) return -2;
    const int64_t U = pageSize_, usable = usableSize_;
    if (ref.offset <= 0 || ref.offset >= U) return -1;
    const int c = table->columnCount;
    std::vector<uint64_t>& types = decodeTypes_;
    types.clear();
    RecordPlace place;
    const bool freed = !live && !ref.intact;
    if (const int rc = LocateRecord(pageBuffer_, U, usable, table, ref, live, &place, types)) return rc;
    const uint8_t* hs = place.payload;
    uint8_t* overflow = engine_state::OverflowBuffer();
    if (++chainGeneration_ == 0) {
        std::fill(chainStamp_.begin(), chainStamp_.end(), 0);
        chainGeneration_ = 1;
    }
    Payload payload{this, hs, place.local, usable - 4, place.firstOverflow, 0, false, &chainStamp_, chainGeneration_};
    // Lengths past any page count are all the same here, and their sums must not overflow.
    auto lengthOf = [](uint64_t t) { return std::min<int64_t>(SerialTypeLength(t), int64_t(1) << 40); };
    int64_t bodyOffset = 0;  // payload offset of the first value
    if (freed) {
        bodyOffset = place.length;
        for (uint64_t t : types) bodyOffset -= lengthOf(t);
    } else {
        uint64_t headerSize;
        const int hsz = ReadVarint(hs, place.bound, &headerSize);
        if (!hsz || headerSize < static_cast<uint64_t>(hsz) || headerSize > static_cast<uint64_t>(U) * 4) return -5;
        const uint8_t* header = hs;
        if (static_cast<int64_t>(headerSize) > place.local) {
            // A header longer than the local bytes continues on the overflow pages.
            if (!place.firstOverflow) return -5;
            if (payload.Copy(0, static_cast<int64_t>(headerSize), overflow) != static_cast<int64_t>(headerSize))
                return -5;
            header = overflow;
        }
        const int want = live ? (c > 0 ? c : kUnknownCountValues) : kMaxSerialTypes;
        const uint8_t* pos = header + hsz;
        const uint8_t* hend = header + headerSize;
        while (pos < hend && static_cast<int>(types.size()) < want) {
            uint64_t t;
            const int n = ReadVarint(pos, hend, &t);
            if (!n || t == 10 || t == 11) break;  // decoding stops at a reserved type
            types.push_back(t);
            pos += n;
        }
        bodyOffset = static_cast<int64_t>(headerSize);
        if (!live && c > 0 && static_cast<int>(types.size()) > c) return -4;
    }
    if (bodyOffset > place.local && !place.firstOverflow) return -5;
    return DeliverValues(table, types, bodyOffset, place, payload, live || place.rowid != 0 ? place.rowid : 0,
                         live, textCap, values, cuts);
}

