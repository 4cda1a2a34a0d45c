#include "sqlite_recovery/engine/CSQLiteReader.h"

#include <algorithm>
#include <strings.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <new>

#include "platform/PageMemory.h"
#include "sqlite_recovery/engine/EngineState.h"
#include "sqlite_recovery/framework/Logger.h"
#include "sqlite_recovery/engine/RecordCarving.h"
#include "sqlite_recovery/engine/SQLiteFormat.h"

using sqlite_format::Load16;
using sqlite_format::Load32;
using sqlite_format::SerialTypeLength;
using sqlite_format::VarintSize;

namespace {

constexpr size_t kPageBufferSize = size_t(64) << 10;
constexpr int kMaxTreeDepth = 40;        // far beyond any real b-tree
constexpr int kMaxSerialTypes = 100;
constexpr int kMaxRecoveredRetypes = 50;
constexpr int kUnknownCountValues = 81;  // values decoded when a table's column count is 0
constexpr uint32_t kSchemaTextCap = 65535;
constexpr uint32_t kOverflowPagesPerValue = 19;
enum : uint8_t { kFlagRoot = 1, kFlagOwned = 2 };

bool IsBlank(char ch) { return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\f' || ch == '\v'; }
bool IsNameChar(char ch) { return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || ch == '$'; }

bool MatchWordNoCase(const std::string& text, size_t at, const char* word) {
    const size_t n = std::strlen(word);
    if (at + n > text.size()) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(text[at + i])) != word[i]) return false;
    return at + n == text.size() || !IsNameChar(text[at + n]);
}

size_t SkipBlanks(const std::string& text, size_t at) {
    while (at < text.size() && IsBlank(text[at])) ++at;
    return at;
}

// A table constraint starts here (after a comma): PRIMARY KEY, UNIQUE, CHECK, FOREIGN KEY, CONSTRAINT.
bool StartsTableConstraint(const std::string& sql, size_t at) {
    at = SkipBlanks(sql, at);
    if (MatchWordNoCase(sql, at, "PRIMARY")) return MatchWordNoCase(sql, SkipBlanks(sql, at + 7), "KEY");
    if (MatchWordNoCase(sql, at, "FOREIGN")) return MatchWordNoCase(sql, SkipBlanks(sql, at + 7), "KEY");
    return MatchWordNoCase(sql, at, "UNIQUE") || MatchWordNoCase(sql, at, "CHECK") ||
           MatchWordNoCase(sql, at, "CONSTRAINT");
}

// Start of the text of column i: after the opening parenthesis for column 0, after the i-th comma
// otherwise; npos when there is none.
size_t ColumnTextStart(const std::string& sql, int i) {
    size_t at = sql.find('(');
    if (at == std::string::npos) return at;
    ++at;
    for (int k = 0; k < i; ++k) {
        at = sql.find(',', at);
        if (at == std::string::npos) return at;
        ++at;
    }
    while (at < sql.size() && (IsBlank(sql[at]) || sql[at] == '\'' || sql[at] == '"' || sql[at] == '`' ||
                               sql[at] == '[' || sql[at] == ','))
        ++at;
    return at;
}

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

}  // namespace

// ---------------------------------------------------------------------------------------------
// Schema text helpers

int CountColumns(const std::string& sql) {
    int commas = 0;
    for (size_t i = 0; i < sql.size(); ++i) {
        if ((i & 4095) == 4095 && engine_state::WalkTimeUp()) return commas;
        if (sql[i] != ',') continue;
        if (StartsTableConstraint(sql, i + 1)) break;
        ++commas;
    }
    return commas + 1;
}

int FindColumnIndex(const TableSchema* table, const char* name) {
    if (!table || !name || !*name || table->sql.empty()) return -1;
    const std::string& sql = table->sql;
    const size_t n = std::strlen(name);
    int prefixMatch = -1;
    for (int i = 0; i < table->columnCount; ++i) {
        const size_t at = ColumnTextStart(sql, i);
        if (at == std::string::npos) break;
        if (at + n > sql.size()) continue;
        bool same = true;
        for (size_t k = 0; k < n && same; ++k)
            same = std::tolower(static_cast<unsigned char>(sql[at + k])) == std::tolower(static_cast<unsigned char>(name[k]));
        if (!same) continue;
        if (at + n == sql.size() || !IsNameChar(sql[at + n])) return i;
        if (prefixMatch < 0) prefixMatch = i;
    }
    return prefixMatch;
}

int FindRowidColumn(const std::string& sql, int columnCount) {
    for (int i = 0; i < columnCount; ++i) {
        size_t at = ColumnTextStart(sql, i);
        if (at == std::string::npos) return -1;
        const size_t end = std::min(sql.find(',', at), sql.size());
        // name, then the type INTEGER and PRIMARY KEY
        while (at < end && !IsBlank(sql[at]) && sql[at] != '\'' && sql[at] != '"' && sql[at] != '`' && sql[at] != ']')
            ++at;
        while (at < end && (sql[at] == '\'' || sql[at] == '"' || sql[at] == '`' || sql[at] == ']')) ++at;
        at = SkipBlanks(sql, at);
        if (!MatchWordNoCase(sql, at, "INTEGER")) continue;
        at = SkipBlanks(sql, at + 7);
        if (at < end && MatchWordNoCase(sql, at, "PRIMARY") && MatchWordNoCase(sql, SkipBlanks(sql, at + 7), "KEY"))
            return i;
    }
    return -1;
}

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

// ---------------------------------------------------------------------------------------------
// Reader

CSQLiteReader::CSQLiteReader() {
    // Nothing throws out of here: a reader whose buffers could not be had fails Open.
    // Page memory: page reads land in it at full speed. It reads as zeros until written.
    pageBuffer_ = static_cast<uint8_t*>(platform::AllocatePages(kPageBufferSize));
    try {
        scratch_ = new CarveScratch;
        // The shared buffers exist from the first reader on.
        engine_state::OverflowBuffer();
        engine_state::OverflowPageBuffer();
        buffersReady_ = pageBuffer_ != nullptr;
    } catch (const std::bad_alloc&) {
        buffersReady_ = false;
    }
}

CSQLiteReader::~CSQLiteReader() {
    ForgetPages();
    platform::FreePages(pageBuffer_, kPageBufferSize);
    delete scratch_;
}

void CSQLiteReader::ForgetPages() {
    bufferPage_ = 0;
    engine_state::PageTag& tag = engine_state::OverflowPageTag();
    if (tag.owner == this) tag = engine_state::PageTag();
    decodedTable_ = nullptr;
    decodedRow_ = -1;
}

void CSQLiteReader::Clear() {
    ForgetPages();
    view_ = nullptr;
    pageCount_ = 0;
    std::memset(header_, 0, sizeof header_);
    pageSize_ = usableSize_ = 0;
    tables_.clear();
    decoded_.clear();
    pageFlags_.clear();
    rootPages_.clear();
    ownedKnown_ = false;
    walkStamp_.clear();
    chainStamp_.clear();
}

bool CSQLiteReader::TimeUp() {
    if (!timeUp_ && engine_state::WalkTimeUp()) timeUp_ = true;
    return timeUp_;
}

bool CSQLiteReader::IsRootPage(uint64_t page) const {
    return page < pageFlags_.size() && (pageFlags_[page] & kFlagRoot);
}

int CSQLiteReader::Open(IFileIO* view) {
    Clear();
    if (!view || !buffersReady_) return -1;
    int64_t size = 0;
    if (Failed(view->GetSize(&size)) || size < 0) return -1;
    view_ = view;
    if (ReadHeader() != 0) return -2;
    pageCount_ = pageSize_ ? static_cast<uint64_t>(size) / pageSize_ : 0;
    try {
        pageFlags_.assign(static_cast<size_t>(pageCount_ + 1), 0);
        walkStamp_.assign(static_cast<size_t>(pageCount_ + 1), 0);
        chainStamp_.assign(static_cast<size_t>(pageCount_ + 1), 0);
    } catch (const std::bad_alloc&) {
        Clear();
        return -1;
    }
    walkGeneration_ = chainGeneration_ = 0;
    if (LoadSchema() != 0) return -4;
    return static_cast<int>(std::min<size_t>(tables_.size(), INT32_MAX));
}

int CSQLiteReader::ReadHeader() {
    if (!view_ || !buffersReady_) return -1;
    ForgetPages();
    if (Failed(view_->Seek(0, nullptr))) return -1;
    unsigned done = 0;
    if (Failed(view_->Read(pageBuffer_, static_cast<unsigned>(kPageBufferSize), &done))) return -1;
    std::memset(header_, 0, sizeof header_);
    std::memcpy(header_, pageBuffer_, std::min<size_t>(done, sizeof header_));
    if (std::memcmp(header_, "SQLite format 3", 16) != 0) return -2;
    const uint32_t raw = Load16(header_ + 16);
    pageSize_ = raw == 1 ? 65536u : raw;
    if (header_[19] == 0) return -3;
    const int32_t schemaFormat = static_cast<int32_t>(Load32(header_ + 44));
    if (schemaFormat < 0 || schemaFormat > 4) return -4;
    if (pageSize_ < 512 || pageSize_ > 65536 || (pageSize_ & (pageSize_ - 1)) != 0) return -5;
    usableSize_ = pageSize_ - header_[20];
    if (usableSize_ < 480) return -5;
    return 0;
}

int CSQLiteReader::ReadPage(uint64_t page, uint8_t* dest) {
    if (!view_ || !dest || !buffersReady_ || page == 0 || page > pageCount_) return -1;
    engine_state::PageTag& tag = engine_state::OverflowPageTag();
    const bool overflowBuffer = dest == engine_state::OverflowPageBuffer();
    if (dest == pageBuffer_ && bufferPage_ == page) return 0;
    if (overflowBuffer && tag.owner == this && tag.page == page) return 0;
    if (dest == pageBuffer_) {
        bufferPage_ = 0;
        decodedTable_ = nullptr;  // decoded values may point into the page buffer
    }
    if (overflowBuffer) tag = engine_state::PageTag();
    const int64_t offset = static_cast<int64_t>((page - 1) * pageSize_);
    int64_t position = -1;
    if (Failed(view_->Seek(offset, &position)) || position != offset) return -1;
    unsigned done = 0;
    if (Failed(view_->Read(dest, pageSize_, &done)) || done != pageSize_) return -2;
    if (dest == pageBuffer_) bufferPage_ = page;
    if (overflowBuffer) tag = {this, page};
    return 0;
}

TableSchema* CSQLiteReader::FindTable(const char* name) {
    if (!name) return nullptr;
    for (TableSchema& t : tables_)
        if (t.name == name) return &t;
    return nullptr;
}

int CSQLiteReader::LoadSchema() {
    TableSchema schema;
    schema.rootPage = 1;
    if (WalkTable(&schema, 1, 0) < 0) return -1;
    std::vector<ColumnValue> values;
    for (size_t i = 0; i < schema.liveRecords.size(); ++i) {
        if (TimeUp()) break;
        if (DecodeRecord(&schema, schema.liveRecords.at(i), true, kSchemaTextCap, values) < 0) continue;
        if (values.size() < 5) continue;
        auto text = [](const ColumnValue& v) {
            return (v.kind == kColumnText && v.data) ? std::string(reinterpret_cast<const char*>(v.data), v.length)
                                                     : std::string();
        };
        const std::string type = text(values[0]);
        TableSchema entry;
        entry.name = text(values[1]);
        const int64_t root = values[3].ToInt64();
        entry.sql = text(values[4]);
        entry.columnCount = CountColumns(entry.sql);
        entry.rowidColumn = FindRowidColumn(entry.sql, entry.columnCount);
        if (root > 0 && static_cast<uint64_t>(root) <= pageCount_) {
            entry.rootPage = static_cast<uint32_t>(root);
            pageFlags_[entry.rootPage] |= kFlagRoot;
            rootPages_.push_back(entry.rootPage);
        }
        if (type.size() == 5 && strncasecmp(type.c_str(), "table", 5) == 0) tables_.push_back(std::move(entry));
    }
    decodedTable_ = nullptr;
    return tables_.empty() ? -1 : 0;
}

int CSQLiteReader::WalkTable(TableSchema* table, int schemaFlag, int viewFlag) {
    engine_state::StartWalk();
    timeUp_ = false;
    if (!table || table->rootPage == 0) return -1;
    if (ReadPage(table->rootPage, pageBuffer_) != 0) return -2;
    table->liveRecords.clear();
    table->recoveredRecords.clear();
    table->cellTotal = 0;
    table->timedOut = false;
    decodedTable_ = nullptr;
    if (++walkGeneration_ == 0) {
        std::fill(walkStamp_.begin(), walkStamp_.end(), 0);
        walkGeneration_ = 1;
    }
    WalkTree(table, schemaFlag, viewFlag);
    table->liveRecords.Finish();
    if (!schemaFlag && !viewFlag && !table->name.empty()) ScanUnreachedPages(table);
    table->recoveredRecords.Finish(&table->liveRecords);
    if (timeUp_) {
        table->timedOut = true;
        RK_LOG("Walk of table %s stopped after %u ms; the records found so far are kept.", table->name.c_str(),
               engine_state::WalkElapsedMs());
        return kWalkTimedOut;
    }
    return 0;
}

void CSQLiteReader::WalkTree(TableSchema* table, int schemaFlag, int viewFlag) {
    pending_.clear();
    pending_.push_back({table->rootPage, 0});
    while (!pending_.empty()) {
        if (TimeUp()) return;
        const auto [page, depth] = pending_.back();
        pending_.pop_back();
        if (page == 0 || page > pageCount_) continue;
        if (page != table->rootPage && IsRootPage(page)) continue;
        if (walkStamp_[page] == walkGeneration_) continue;  // a cycle or a shared child
        walkStamp_[page] = walkGeneration_;
        if (ReadPage(page, pageBuffer_) != 0) continue;
        const uint32_t h = page == 1 ? 100 : 0;
        const uint8_t type = pageBuffer_[h];
        if (type == 13) {
            ScanLeafPage(table, page, schemaFlag, 0, viewFlag);
        } else if (type == 5 && depth < kMaxTreeDepth) {
            const uint32_t count = Load16(pageBuffer_ + h + 3);
            const uint32_t maxCount = (pageSize_ - h - 12) / 2;
            const size_t mark = pending_.size();
            pending_.push_back({Load32(pageBuffer_ + h + 8), depth + 1});  // right-most child, visited last
            for (uint32_t i = std::min(count, maxCount); i-- > 0;) {
                const uint32_t ptr = Load16(pageBuffer_ + h + 12 + 2 * i);
                if (ptr == 0 || ptr + 4 > usableSize_) continue;
                const uint32_t child = Load32(pageBuffer_ + ptr);
                if (child == 0 || child > pageCount_) continue;
                pending_.push_back({child, depth + 1});
            }
            (void)mark;
            // A page that was once a leaf may still hold deleted records.
            ScanLeafPage(table, page, schemaFlag, 1, viewFlag);
        }
    }
}

void CSQLiteReader::ScanLeafPage(TableSchema* table, uint32_t page, int schemaFlag, int orphan, int viewFlag) {
    uint8_t* pg = pageBuffer_;
    const uint32_t U = pageSize_;
    const uint32_t h = page == 1 ? 100 : 0;
    const uint8_t type = pg[h];
    const uint32_t firstFree = Load16(pg + h + 1);
    const uint32_t cellCount = Load16(pg + h + 3);
    uint32_t contentStart = Load16(pg + h + 5);
    if (contentStart == 0) contentStart = 65536;
    table->cellTotal += cellCount;
    const uint32_t arrayStart = h + (type == 13 ? 8 : 12);
    const bool named = !table->name.empty();
    // Interior cells hold keys, not records.
    const bool takeLive = type == 13 && (!orphan || viewFlag != 0);
    offsets_.clear();
    listed_.clear();
    // Live pointers, then the stale ones deleted cells left in the gap before the cell content.
    const uint32_t gapEnd = std::min(contentStart, U);
    for (uint32_t i = 0;; ++i) {
        const uint32_t at = arrayStart + 2 * i;
        if (at + 2 > U) break;
        if (i >= cellCount && (!named || at + 2 > gapEnd)) break;
        const uint32_t ptr = Load16(pg + at);
        if (ptr == 0) break;
        if (ptr >= U) continue;
        offsets_.push_back(ptr);
        if (i < cellCount) listed_.push_back(ptr);
        if (i < cellCount && takeLive && ptr >= arrayStart && ptr + 2 <= usableSize_) {
            RecordRef ref;
            ref.page = page;
            ref.offset = static_cast<int>(ptr);
            table->liveRecords.Add(ref);
        }
    }
    if (!named || viewFlag != 0) return;
    offsets_.push_back(firstFree);
    CarveContext ctx;
    ctx.page = pg;
    ctx.pageSize = U;
    ctx.pageNumber = page;
    ctx.table = table;
    ctx.columns = table->columnCount;
    ctx.arrayStart = arrayStart;
    ctx.firstFreeblock = firstFree;
    ctx.scratch = scratch_;
    ctx.timeUp = &timeUp_;
    if (type == 13) MarkListedCells(ctx, listed_, usableSize_);
    RunCarvingPasses(ctx, offsets_);
}

void CSQLiteReader::CollectOwnedPages() {
    if (ownedKnown_) return;
    ownedKnown_ = true;
    if (++chainGeneration_ == 0) {
        std::fill(chainStamp_.begin(), chainStamp_.end(), 0);
        chainGeneration_ = 1;
    }
    const uint32_t gen = chainGeneration_;
    std::vector<std::pair<uint32_t, int>> stack;
    for (uint32_t root : rootPages_) stack.push_back({root, 0});
    while (!stack.empty()) {
        if (TimeUp()) return;
        const auto [page, depth] = stack.back();
        stack.pop_back();
        if (page == 0 || page > pageCount_ || chainStamp_[page] == gen) continue;
        chainStamp_[page] = gen;
        if (ReadPage(page, pageBuffer_) != 0) continue;
        const uint32_t h = page == 1 ? 100 : 0;
        const uint8_t type = pageBuffer_[h];
        if (type != 2 && type != 5 && type != 10 && type != 13) continue;
        pageFlags_[page] |= kFlagOwned;
        if (type != 5) MarkOverflowChains(page, h, type, gen);
        if ((type == 2 || type == 5) && depth < kMaxTreeDepth) {
            const uint32_t count = std::min<uint32_t>(Load16(pageBuffer_ + h + 3), (pageSize_ - h - 12) / 2);
            stack.push_back({Load32(pageBuffer_ + h + 8), depth + 1});
            for (uint32_t i = 0; i < count; ++i) {
                const uint32_t ptr = Load16(pageBuffer_ + h + 12 + 2 * i);
                if (ptr == 0 || ptr + 4 > usableSize_) continue;
                stack.push_back({Load32(pageBuffer_ + ptr), depth + 1});
            }
        }
    }
}

void CSQLiteReader::MarkOverflowChains(uint32_t page, uint32_t h, uint8_t type, uint32_t gen) {
    // The overflow pages of live cells belong to their tree as much as its b-tree pages do.
    const int64_t usable = usableSize_;
    const bool index = type == 2 || type == 10;
    const int64_t maxLocal = index ? (usable - 12) * 64 / 255 - 23 : usable - 35;
    const int64_t minLocal = (usable - 12) * 32 / 255 - 23;
    const uint32_t count = std::min<uint32_t>(Load16(pageBuffer_ + h + 3), (pageSize_ - h - 8) / 2);
    const uint32_t arrayStart = h + (type == 2 ? 12 : 8);
    const uint8_t* end = pageBuffer_ + usableSize_;
    chains_.clear();
    for (uint32_t i = 0; i < count && arrayStart + 2 * i + 2 <= pageSize_; ++i) {
        const uint32_t ptr = Load16(pageBuffer_ + arrayStart + 2 * i);
        if (ptr < arrayStart || ptr >= usableSize_) continue;
        const uint8_t* p = pageBuffer_ + ptr + (type == 2 ? 4 : 0);
        uint64_t payload, rowid;
        int n = ReadVarint(p, end, &payload);
        if (!n) continue;
        p += n;
        if (type == 13) {
            n = ReadVarint(p, end, &rowid);
            if (!n) continue;
            p += n;
        }
        const int64_t P = static_cast<int64_t>(payload);
        if (P <= maxLocal || P < 0) continue;
        const int64_t k = minLocal + (P - minLocal) % (usable - 4);
        const int64_t local = k <= maxLocal ? k : minLocal;
        if (p + local + 4 > end) continue;
        const int64_t pages = (P - local + usable - 5) / (usable - 4);
        chains_.push_back({Load32(p + local), static_cast<uint32_t>(std::min<int64_t>(pages, INT32_MAX))});
    }
    uint8_t* buffer = engine_state::OverflowPageBuffer();
    for (const auto& [first, pages] : chains_) {
        uint32_t next = first;
        for (uint32_t k = 0; k < pages && next != 0 && next <= pageCount_ && chainStamp_[next] != gen; ++k) {
            chainStamp_[next] = gen;
            pageFlags_[next] |= kFlagOwned;
            if (ReadPage(next, buffer) != 0) break;
            next = Load32(buffer);
        }
    }
}

void CSQLiteReader::ScanUnreachedPages(TableSchema* table) {
    CollectOwnedPages();
    for (uint64_t page = 4; page <= pageCount_; ++page) {
        if (TimeUp()) return;
        // Pages of live b-trees belong to their tables; this table's own were carved by the walk.
        if (pageFlags_[page] & (kFlagRoot | kFlagOwned)) continue;
        if (walkStamp_[page] == walkGeneration_) continue;
        if (ReadPage(page, pageBuffer_) != 0) continue;
        ScanLeafPage(table, static_cast<uint32_t>(page), 0, 1, 0);
    }
}

// ---------------------------------------------------------------------------------------------
// Record decoding

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
            nextPage = Load32(buffer);
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
            std::memcpy(dest + done, engine_state::OverflowPageBuffer() + 4 + inPage, static_cast<size_t>(n));
            done += n;
            s += n;
        }
        return done;
    }
};

}  // namespace

int CSQLiteReader::DecodeRecord(TableSchema* table, const RecordRef& ref, bool live, uint32_t textCap,
                                std::vector<ColumnValue>& values) {
    values.clear();
    engine_state::NextDecodeGeneration();
    if (!table) return -1;
    if (ReadPage(ref.page, pageBuffer_) != 0) return -2;
    const int64_t U = pageSize_, usable = usableSize_;
    if (ref.offset <= 0 || ref.offset >= U) return -1;
    uint8_t* pg = pageBuffer_;
    uint8_t* p = pg + ref.offset;
    const uint8_t* pageEnd = pg + U;
    const int c = table->columnCount;

    int64_t rowid = 0;
    const uint8_t* hs = nullptr;  // start of the record header
    const uint8_t* bound = nullptr;
    int64_t payloadLength = -1;   // known for live and intact records
    std::unique_ptr<ZeroedBytes> zeroed;

    if (live || ref.intact) {
        bound = live ? pg + usable : pageEnd;
        if (!live) {
            bound = std::min<const uint8_t*>(bound, p + ref.cellLength);
            const size_t next = table->liveRecords.UpperBound(RecordMap::Key(ref.page, ref.offset));
            if (next < table->liveRecords.size() && table->liveRecords.at(next).page == ref.page)
                bound = std::min<const uint8_t*>(bound, pg + table->liveRecords.at(next).offset);
        }
        uint64_t p0, r;
        const int e = ReadVarint(p, bound, &p0);
        if (!e || p + e >= bound || p0 == 0 || static_cast<int64_t>(p0) < 0) return -1;
        const int m = ReadVarint(p + e, bound, &r);
        if (!m) return -1;
        rowid = static_cast<int64_t>(r);
        hs = p + e + m;
        payloadLength = static_cast<int64_t>(p0);
    } else {
        const int64_t L = ref.cellLength;
        if (L < 0 || L >= (int64_t(1) << 21)) return -3;
        const int g = ref.lengthSize ? ref.lengthSize : (L ? VarintSize(static_cast<uint64_t>(L)) : 1);
        // The freeblock header overwrote the first bytes: read them as zeros.
        zeroed.reset(new ZeroedBytes(p, static_cast<size_t>(std::min<int64_t>(4, pageEnd - p))));
        const uint8_t* q = p + ref.rowidSize + g - 1;
        if (q >= pageEnd) return -1;
        uint64_t r;
        const int n = ReadVarint(q, pageEnd, &r);
        if (!n) return -1;
        rowid = ref.rowid ? ref.rowid : static_cast<int64_t>(r);
        hs = q + n;
        if (L - (ref.rowidSize + g) <= 0) return -1;
        bound = std::min<const uint8_t*>(pageEnd, p + L);
        const size_t next = table->liveRecords.UpperBound(RecordMap::Key(ref.page, ref.offset));
        if (next < table->liveRecords.size() && table->liveRecords.at(next).page == ref.page)
            bound = std::min<const uint8_t*>(bound, pg + table->liveRecords.at(next).offset);
    }
    if (hs >= bound) return -1;

    // Local bytes and the overflow chain.
    int64_t localLength = bound - hs;
    uint32_t firstOverflow = 0;
    if (live) {
        const int64_t x = sqlite_format::LocalPayloadSize(payloadLength, usable);
        if (x > localLength) return -5;
        localLength = x;
        if (x < payloadLength) {
            if (hs + x + 4 > bound) return -5;
            firstOverflow = Load32(hs + x);
        }
    }

    // Header: its size, then the serial types.
    uint64_t headerSize;
    const int hsz = ReadVarint(hs, bound, &headerSize);
    if (!hsz) return -1;
    uint8_t* overflow = engine_state::OverflowBuffer();
    size_t fill = 0;
    if (++chainGeneration_ == 0) {
        std::fill(chainStamp_.begin(), chainStamp_.end(), 0);
        chainGeneration_ = 1;
    }
    Payload payload{this, hs, localLength, usable - 4, firstOverflow, 0, false, &chainStamp_, chainGeneration_};

    const bool headerKnown = live || ref.intact ||
                             (headerSize > static_cast<uint64_t>(hsz) && static_cast<int64_t>(headerSize) <= localLength);
    std::vector<uint64_t> types;
    types.reserve(static_cast<size_t>(std::max(c, 8)));
    int64_t bodyOffset = 0;  // payload offset of the first value
    int64_t sumLengths = 0;
    // Lengths past any page count are all the same here, and their sums must not overflow.
    auto lengthOf = [](uint64_t t) { return std::min<int64_t>(SerialTypeLength(t), int64_t(1) << 40); };
    auto appendType = [&](uint64_t t) {
        types.push_back(t);
        sumLengths += lengthOf(t);
    };
    const int want = live ? (c > 0 ? c : kUnknownCountValues) : kMaxSerialTypes;
    if (headerKnown) {
        if (headerSize < static_cast<uint64_t>(hsz) || headerSize > static_cast<uint64_t>(U) * 4) return -5;
        const uint8_t* header = hs;
        if (static_cast<int64_t>(headerSize) > localLength) {
            // A header longer than the local bytes continues on the overflow pages.
            if (!firstOverflow || headerSize > engine_state::kOverflowBufferSize) return -5;
            if (payload.Copy(0, static_cast<int64_t>(headerSize), overflow) != static_cast<int64_t>(headerSize)) return -5;
            header = overflow;
            fill = 0;  // values are gathered over it later, after the types are read
        }
        const uint8_t* pos = header + hsz;
        const uint8_t* hend = header + headerSize;
        while (pos < hend && static_cast<int>(types.size()) < want) {
            uint64_t t;
            const int n = ReadVarint(pos, hend, &t);
            if (!n || t == 10 || t == 11) break;  // decoding stops at a reserved type
            appendType(t);
            pos += n;
        }
        bodyOffset = static_cast<int64_t>(headerSize);
    } else {
        // The header size was overwritten: the types run until they account for the cell.
        int64_t left = static_cast<int64_t>(bound - hs) - hsz;
        const uint8_t* pos = hs + hsz;
        // Several deleted cells merged into one freeblock: the record ends after its columns.
        const int limit = c > 0 ? c : kMaxSerialTypes;
        while (static_cast<int>(types.size()) < limit && left > 0) {
            uint64_t t;
            const int n = ReadVarint(pos, bound, &t);
            if (!n || t == 10 || t == 11) break;
            left -= n + lengthOf(t);
            appendType(t);
            pos += n;
        }
        bodyOffset = pos - hs;
        if (c > 0 && static_cast<int>(types.size()) != c) {
            const int n = static_cast<int>(types.size());
            if (left == 0) {
                if (n < c - 3 || n > c + 3) return -4;
            } else {
                if (headerSize == 0) return -8;
                if (c > n + 2 && n < kMaxRecoveredRetypes) return -4;
            }
        }
    }
    if (!live && c > 0 && headerKnown && static_cast<int>(types.size()) != c) {
        const int n = static_cast<int>(types.size());
        const bool consistent = payloadLength < 0 || payloadLength == static_cast<int64_t>(headerSize) + sumLengths;
        if (!consistent || n < c - 3 || n > c + 3) return -4;
    }
    if (bodyOffset > localLength && !firstOverflow) return -5;

    // A recovered record whose values run past its local bytes may continue on overflow pages.
    if (!live && !firstOverflow) {
        const int64_t total = bodyOffset + sumLengths;
        if (total > localLength) {
            const int64_t x = sqlite_format::LocalPayloadSize(total, usable);
            if (x >= bodyOffset && x + 4 <= localLength) {
                firstOverflow = Load32(hs + x);
                payload.localLength = localLength = x;
                payload.nextPage = firstOverflow;
            }
        }
    }

    const int deliver = c > 0 ? c : std::min<int>(static_cast<int>(types.size()), kUnknownCountValues);
    values.resize(static_cast<size_t>(deliver));
    int64_t s = bodyOffset;
    const int64_t chunk = usable - 4;
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
        // Bytes delivered: TEXT capped, a value reaching into the overflow at most 19 pages.
        int64_t want = v.length;
        int64_t end = start + want;
        if (end > localLength) {
            if (!firstOverflow) {
                end = std::min(end, localLength);
            } else {
                const int64_t firstPage = start < localLength ? 1 : 1 + (start - localLength) / chunk;
                end = std::min(end, localLength + (firstPage - 1 + kOverflowPagesPerValue) * chunk);
            }
        }
        if (end <= start) {
            v.length = 0;
            continue;
        }
        const uint8_t* bytes = nullptr;
        int64_t got = 0;
        if (end <= localLength) {
            bytes = hs + start;
            got = end - start;
        } else {
            const int64_t room = static_cast<int64_t>(engine_state::kOverflowBufferSize - fill);
            if (room <= 0) {
                v.length = 0;
                continue;
            }
            end = std::min(end, start + room);
            got = payload.Copy(start, end, overflow + fill);
            bytes = overflow + fill;
            fill += static_cast<size_t>(got);
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

int CSQLiteReader::GetValue(int rowIndex, TableSchema* table, int column, ColumnValue* value, int live) {
    if (!table || !value) return -1;
    const RecordMap& records = live ? table->liveRecords : table->recoveredRecords;
    if (rowIndex < 0 || static_cast<size_t>(rowIndex) >= records.size()) return -1;
    if (column < 0) {
        *value = ColumnValue();
        return 0;
    }
    const int liveFlag = live ? 1 : 0;
    if (!(decodedTable_ == table && decodedRow_ == rowIndex && decodedLive_ == liveFlag &&
          decodedGeneration_ == engine_state::DecodeGeneration())) {
        const int rc = DecodeRecord(table, records.at(static_cast<size_t>(rowIndex)), live != 0, kMaxTextBytes, decoded_);
        decodedGeneration_ = engine_state::DecodeGeneration();
        if (rc < 0) {
            decodedTable_ = nullptr;
            return rc;
        }
        decodedTable_ = table;
        decodedRow_ = rowIndex;
        decodedLive_ = liveFlag;
    }
    if (static_cast<size_t>(column) >= decoded_.size()) return -1;
    *value = decoded_[static_cast<size_t>(column)];
    return 0;
}
