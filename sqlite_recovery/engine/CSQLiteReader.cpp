#include "sqlite_recovery/engine/CSQLiteReader.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/PageMemory.h"
#include "sqlite_recovery/engine/EngineState.h"
#include "sqlite_recovery/engine/RecordCarving.h"
#include "sqlite_recovery/engine/SQLiteFormat.h"
#include "sqlite_recovery/engine/SchemaText.h"
#include "sqlite_recovery/framework/Logger.h"

using namespace sqlite_format;

namespace {

constexpr size_t kPageBufferSize = size_t(64) << 10;
constexpr int kMaxTreeDepth = 40;        // far beyond any real b-tree
constexpr uint32_t kSchemaTextCap = 65535;

}  // namespace

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
    lostPages_.clear();
    headerLost_ = false;
    pageOwner_.clear();
    rootPages_.clear();
    ownedKnown_ = false;
    walkStamp_.clear();
    chainStamp_.clear();
    toldCuts_.clear();
    // What a record of large values made the shared buffer grow by is not kept beyond the reader's use.
    engine_state::ShrinkOverflowBuffer();
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
    const int header = ReadHeader();
    if (header == -2 && !knownSchema_.empty()) {
        if (OpenWithoutHeader(size) != 0) return -2;
    } else if (header != 0) {
        return -2;
    }
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
    if ((headerLost_ ? LoadKnownSchema() : LoadSchema()) != 0) return -4;
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
    if (std::memcmp(header_ + kHeaderMagic, kHeaderMagicText, kHeaderMagicSize) != 0) return -2;
    pageSize_ = HeaderPageSize(header_);
    if (header_[kHeaderReadVersion] == 0) return -3;
    const int32_t schemaFormat = static_cast<int32_t>(LoadBE32(header_ + kHeaderSchemaFormat));
    if (schemaFormat < 0 || schemaFormat > 4) return -4;
    if (pageSize_ < 512 || pageSize_ > 65536 || (pageSize_ & (pageSize_ - 1)) != 0) return -5;
    usableSize_ = pageSize_ - header_[kHeaderReservedBytes];
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
        entry.affinity = ColumnAffinities(entry.sql, entry.columnCount);
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
    if (!table || (table->rootPage == 0 && !headerLost_)) return -1;
    // Carving needs to know which pages live trees and records hold (it reads pages itself).
    if (!schemaFlag && !viewFlag && !table->name.empty()) CollectOwnedPages();
    if (!headerLost_ && ReadPage(table->rootPage, pageBuffer_) != 0) return -2;
    table->liveRecords.clear();
    table->recoveredRecords.clear();
    table->cellTotal = 0;
    table->timedOut = false;
    decodedTable_ = nullptr;
    if (++walkGeneration_ == 0) {
        std::fill(walkStamp_.begin(), walkStamp_.end(), 0);
        walkGeneration_ = 1;
    }
    const size_t lostBefore = lostPages_.size();
    if (headerLost_) ScanAssignedLeaves(table, viewFlag);
    else WalkInterior(table, schemaFlag, viewFlag);
    // Before the live records are finished: the leaves below a lost page hold live ones.
    if (!schemaFlag && !viewFlag && !table->name.empty()) ScanUnreachedPages(table, lostPages_.size() > lostBefore);
    table->liveRecords.Finish();
    table->recoveredRecords.Finish(&table->liveRecords);
    if (timeUp_) {
        table->timedOut = true;
        RK_LOG("Walk of table %s stopped after %u ms; the records found so far are kept.", table->name.c_str(),
               engine_state::WalkElapsedMs());
        return kWalkTimedOut;
    }
    return 0;
}

void CSQLiteReader::WalkInterior(TableSchema* table, int schemaFlag, int viewFlag) {
    pending_.clear();
    pending_.push_back({table->rootPage, 0});
    while (!pending_.empty()) {
        if (TimeUp()) return;
        const auto [page, depth] = pending_.back();
        pending_.pop_back();
        if (page == 0 || page > pageCount_) {
            lostPages_.insert(page);
            continue;
        }
        if (page != table->rootPage && IsRootPage(page)) continue;
        if (walkStamp_[page] == walkGeneration_) continue;  // a cycle or a shared child
        walkStamp_[page] = walkGeneration_;
        if (ReadPage(page, pageBuffer_) != 0) {
            lostPages_.insert(page);
            continue;
        }
        const uint8_t type = pageBuffer_[BtreeHeaderOffset(page) + kPageType];
        if (type == kLeafTablePage) {
            ScanLeafPage(table, page, schemaFlag, 0, viewFlag);
        } else if (type == kInteriorTablePage && depth < kMaxTreeDepth) {
            CollectChildren(page, depth + 1);
            // A page that was once a leaf may still hold deleted records in its free space.
            ScanLeafPage(table, page, schemaFlag, 0, viewFlag);
        } else if (type != kInteriorTablePage) {
            // Not a page of a table's tree (zeroed, an index page, a free page): what the parent
            // held there is gone; the scan of unreached pages still carves it.
            lostPages_.insert(page);
        }
    }
}

void CSQLiteReader::CollectChildren(uint32_t page, int depth) {
    const uint32_t h = BtreeHeaderOffset(page);
    const uint32_t count = LoadBE16(pageBuffer_ + h + kCellCount);
    const uint32_t maxCount = (pageSize_ - h - kInteriorHeaderSize) / 2;
    pending_.push_back({LoadBE32(pageBuffer_ + h + kRightChild), depth});  // right-most child, visited last
    for (uint32_t i = std::min(count, maxCount); i-- > 0;) {
        const uint32_t ptr = LoadBE16(pageBuffer_ + h + kInteriorHeaderSize + 2 * i);
        if (ptr == 0 || ptr + kChildPointerSize > usableSize_) continue;
        // A child past the end is told of by the walk.
        pending_.push_back({LoadBE32(pageBuffer_ + ptr), depth});
    }
}

void CSQLiteReader::ScanLeafPage(TableSchema* table, uint32_t page, int schemaFlag, int orphan, int viewFlag) {
    uint8_t* pg = pageBuffer_;
    const uint32_t U = pageSize_;
    const uint32_t h = BtreeHeaderOffset(page);
    const uint8_t type = pg[h + kPageType];
    const bool leaf = type == kLeafTablePage;
    const uint32_t cellCount = LoadBE16(pg + h + kCellCount);
    table->cellTotal += cellCount;
    const uint32_t arrayStart = h + (leaf ? kLeafHeaderSize : kInteriorHeaderSize);
    // Interior cells hold keys, not records.
    const bool takeLive = leaf && (!orphan || viewFlag != 0);
    listed_.clear();
    for (uint32_t i = 0; i < cellCount; ++i) {
        const uint32_t at = arrayStart + 2 * i;
        if (at + 2 > U) break;
        const uint32_t ptr = LoadBE16(pg + at);
        if (ptr == 0) break;
        if (ptr >= U) continue;
        listed_.push_back(ptr);
        if (takeLive && ptr >= arrayStart && ptr + 2 <= usableSize_) {
            RecordRef ref;
            ref.page = page;
            ref.offset = static_cast<int>(ptr);
            table->liveRecords.Add(ref);
        }
    }
    if (table->name.empty() || viewFlag != 0) return;
    // Only table-leaf bytes make records: a leaf; the free space of an interior page of the tree,
    // where the cells of the leaf it once was stay when it splits; a page no tree owns (a freed
    // page, an older version of a page) whose bytes parse as cells. Index pages never, nor the
    // older versions of page 1.
    const bool interior = type == kInteriorTablePage && !orphan;
    if (!leaf && !interior && (!orphan || type == kInteriorIndexPage || type == kInteriorTablePage ||
                               type == kLeafIndexPage))
        return;
    if (orphan && std::memcmp(pg + kHeaderMagic, kHeaderMagicText, kHeaderMagicSize) == 0) return;
    uint32_t arrayEnd = std::min(arrayStart + 2 * cellCount, usableSize_);
    if (!leaf && !interior) {
        // No header to trust: every byte may be a cell, past a free-list trunk's page numbers.
        listed_.clear();
        arrayEnd = std::max(h + kLeafHeaderSize, TrunkArrayEnd(pg));
    }
    CarveContext ctx;
    ctx.page = pg;
    ctx.pageSize = U;
    ctx.usableSize = usableSize_;
    ctx.pageNumber = page;
    ctx.UseTable(table, !orphan);
    // Stale cells of an interior page are intact or confirmed by their neighbours.
    ctx.requireEnd = ctx.requireEnd || interior;
    ctx.encoding = static_cast<int>(LoadBE32(header_ + kHeaderTextEncoding));
    ctx.zeroOneConstants = LoadBE32(header_ + kHeaderSchemaFormat) >= 4;
    ctx.scratch = scratch_;
    ctx.reader = this;
    ctx.timeUp = &timeUp_;
    MarkListedCells(ctx, listed_, arrayEnd, interior);
    // An older version of a leaf: its cells were records then, deleted ones among them.
    if (orphan && leaf && !CarveListedCells(ctx, listed_)) return;
    CarveFreeSpace(ctx, arrayEnd);
}

uint32_t CSQLiteReader::TrunkArrayEnd(const uint8_t* pg) const {
    // Free-list trunk page: next trunk (4 bytes), leaf count n (4), n leaf page numbers (4 each).
    const uint32_t n = LoadBE32(pg + kTrunkLeafCount);
    if (LoadBE32(pg + kTrunkNext) > pageCount_ || n == 0 || n > (usableSize_ - kTrunkLeaves) / 4) return 0;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t leaf = LoadBE32(pg + kTrunkLeaves + 4 * i);
        if (leaf < 2 || leaf > pageCount_) return 0;
    }
    return kTrunkLeaves + 4 * n;
}

bool CSQLiteReader::OverflowChainIsFree(uint32_t first, int64_t bytes) {
    if (bytes <= 0 || usableSize_ <= kOverflowData) return false;
    const int64_t chunk = usableSize_ - kOverflowData;
    const int64_t pages = (bytes + chunk - 1) / chunk;
    if (pages > static_cast<int64_t>(pageCount_)) return false;
    if (++chainGeneration_ == 0) {
        std::fill(chainStamp_.begin(), chainStamp_.end(), 0);
        chainGeneration_ = 1;
    }
    uint8_t* buffer = engine_state::OverflowPageBuffer();
    uint32_t page = first;
    for (int64_t k = 0; k < pages; ++k) {
        // A page of a live tree, a live record's chain or the free list's trunks was given to them
        // after the delete.
        if (page < 2 || page > pageCount_ || chainStamp_[page] == chainGeneration_ ||
            (pageFlags_[page] & (kFlagRoot | kFlagOwned | kFlagTrunk)) || ReadPage(page, buffer) != 0)
            return false;
        chainStamp_[page] = chainGeneration_;
        page = LoadBE32(buffer + kOverflowNext);
    }
    // The last page ends the chain.
    return page == 0;
}

void CSQLiteReader::CollectOwnedPages() {
    if (ownedKnown_) return;
    ownedKnown_ = true;
    if (++chainGeneration_ == 0) {
        std::fill(chainStamp_.begin(), chainStamp_.end(), 0);
        chainGeneration_ = 1;
    }
    const uint32_t gen = chainGeneration_;
    // The free list's trunk pages are no deleted record's overflow pages any more.
    // A trunk that cannot be one (past the end, unreadable, an impossible leaf count) ends the list
    // and is told of as lost.
    for (uint32_t trunk = headerLost_ ? 0 : LoadBE32(header_ + kHeaderFreelistTrunk), steps = 0;
         trunk != 0 && steps < pageCount_; ++steps) {
        if (trunk < 2 || trunk > pageCount_) {
            lostPages_.insert(trunk);
            break;
        }
        if (chainStamp_[trunk] == gen) break;
        if (ReadPage(trunk, pageBuffer_) != 0 ||
            LoadBE32(pageBuffer_ + kTrunkLeafCount) > (usableSize_ - kTrunkLeaves) / 4) {
            lostPages_.insert(trunk);
            break;
        }
        chainStamp_[trunk] = gen;
        pageFlags_[trunk] |= kFlagTrunk;
        const uint32_t leaves = LoadBE32(pageBuffer_ + kTrunkLeafCount);
        for (uint32_t i = 0; i < leaves; ++i) {
            const uint32_t leaf = LoadBE32(pageBuffer_ + kTrunkLeaves + 4 * i);
            if (leaf >= 2 && leaf <= pageCount_) pageFlags_[leaf] |= kFlagFree;
        }
        trunk = LoadBE32(pageBuffer_ + kTrunkNext);
    }
    std::vector<std::pair<uint32_t, int>> stack;
    for (uint32_t root : rootPages_) stack.push_back({root, 0});
    while (!stack.empty()) {
        if (TimeUp()) return;
        const auto [page, depth] = stack.back();
        stack.pop_back();
        if (page == 0 || page > pageCount_ || chainStamp_[page] == gen) continue;
        chainStamp_[page] = gen;
        if (ReadPage(page, pageBuffer_) != 0) continue;
        const uint32_t h = BtreeHeaderOffset(page);
        const uint8_t type = pageBuffer_[h + kPageType];
        const bool interior = type == kInteriorIndexPage || type == kInteriorTablePage;
        if (!interior && type != kLeafIndexPage && type != kLeafTablePage) continue;
        pageFlags_[page] |= kFlagOwned;
        if (type != kInteriorTablePage) MarkOverflowChains(page, h, type, gen);
        if (interior && depth < kMaxTreeDepth) {
            const uint32_t count =
                std::min<uint32_t>(LoadBE16(pageBuffer_ + h + kCellCount), (pageSize_ - h - kInteriorHeaderSize) / 2);
            stack.push_back({LoadBE32(pageBuffer_ + h + kRightChild), depth + 1});
            for (uint32_t i = 0; i < count; ++i) {
                const uint32_t ptr = LoadBE16(pageBuffer_ + h + kInteriorHeaderSize + 2 * i);
                if (ptr == 0 || ptr + kChildPointerSize > usableSize_) continue;
                stack.push_back({LoadBE32(pageBuffer_ + ptr), depth + 1});
            }
        }
    }
}

void CSQLiteReader::MarkOverflowChains(uint32_t page, uint32_t h, uint8_t type, uint32_t gen) {
    // The overflow pages of live cells belong to their tree as much as its b-tree pages do.
    const int64_t usable = usableSize_;
    const bool index = type == kInteriorIndexPage || type == kLeafIndexPage;
    const int64_t maxLocal = index ? (usable - 12) * 64 / 255 - 23 : usable - 35;
    const int64_t minLocal = (usable - 12) * 32 / 255 - 23;
    const uint32_t count =
        std::min<uint32_t>(LoadBE16(pageBuffer_ + h + kCellCount), (pageSize_ - h - kLeafHeaderSize) / 2);
    const bool interior = type == kInteriorIndexPage;
    const uint32_t arrayStart = h + (interior ? kInteriorHeaderSize : kLeafHeaderSize);
    const uint8_t* end = pageBuffer_ + usableSize_;
    chains_.clear();
    for (uint32_t i = 0; i < count && arrayStart + 2 * i + 2 <= pageSize_; ++i) {
        const uint32_t ptr = LoadBE16(pageBuffer_ + arrayStart + 2 * i);
        if (ptr < arrayStart || ptr >= usableSize_) continue;
        const uint8_t* p = pageBuffer_ + ptr + (interior ? kChildPointerSize : 0);
        uint64_t payload, rowid;
        int n = ReadVarint(p, end, &payload);
        if (!n) continue;
        p += n;
        if (type == kLeafTablePage) {
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
        chains_.push_back({LoadBE32(p + local), static_cast<uint32_t>(std::min<int64_t>(pages, INT32_MAX))});
    }
    uint8_t* buffer = engine_state::OverflowPageBuffer();
    for (const auto& [first, pages] : chains_) {
        uint32_t next = first;
        for (uint32_t k = 0; k < pages && next != 0 && next <= pageCount_ && chainStamp_[next] != gen; ++k) {
            chainStamp_[next] = gen;
            pageFlags_[next] |= kFlagOwned;
            if (ReadPage(next, buffer) != 0) break;
            next = LoadBE32(buffer + kOverflowNext);
        }
    }
}

void CSQLiteReader::ScanUnreachedPages(TableSchema* table, bool treeLostPages) {
    CollectOwnedPages();
    // Pages past the database's own (older versions kept beside it) are never a live tree's.
    const uint32_t own = headerLost_ ? 0 : LoadBE32(header_ + kHeaderPageCount);
    const uint64_t ownPages = own > 0 && own <= pageCount_ ? own : pageCount_;
    for (uint64_t page = 4; page <= pageCount_; ++page) {
        if (TimeUp()) return;
        // Pages of live b-trees belong to their tables; this table's own were carved by the walk.
        if (pageFlags_[page] & (kFlagRoot | kFlagOwned)) continue;
        if (walkStamp_[page] == walkGeneration_) continue;
        if (ReadPage(page, pageBuffer_) != 0) continue;
        // The tree lost a page on the way down: a leaf of its records that no tree reaches and the
        // free list does not hold is one the lost page led to. Its records are live.
        if (treeLostPages && page <= ownPages && !(pageFlags_[page] & kFlagFree) &&
            pageBuffer_[kPageType] == kLeafTablePage && LeafFitsTable(table, static_cast<uint32_t>(page))) {
            walkStamp_[page] = walkGeneration_;
            ScanLeafPage(table, static_cast<uint32_t>(page), 0, 0, 0);
            continue;
        }
        ScanLeafPage(table, static_cast<uint32_t>(page), 0, 1, 0);
    }
}

void CSQLiteReader::TellOfCut(const TableSchema* table, const RecordRef& ref, bool live, const ValueCut& cut) {
    if (!toldCuts_.insert(std::make_tuple(table, ref.page, ref.offset, cut.column)).second) return;
    // A record found as deleted is told of as such even when its rowid survived.
    const std::string where = live ? "row " + std::to_string(cut.rowid)
                                   : cut.rowid != 0 ? "deleted row " + std::to_string(cut.rowid) : "a deleted row";
    RK_LOG("%stable %s, %s (page %u, offset %d), column %d: a value of %llu bytes was cut at %llu bytes.",
           kLogWarningPrefix, table->name.c_str(), where.c_str(), ref.page, ref.offset, cut.column + 1,
           static_cast<unsigned long long>(cut.stored), static_cast<unsigned long long>(cut.kept));
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
        const RecordRef& ref = records.at(static_cast<size_t>(rowIndex));
        const int rc = DecodeRecord(table, ref, live != 0, kMaxValueBytes, decoded_, &cuts_);
        decodedGeneration_ = engine_state::DecodeGeneration();
        if (rc < 0) {
            decodedTable_ = nullptr;
            return rc;
        }
        for (const ValueCut& cut : cuts_) TellOfCut(table, ref, live != 0, cut);
        decodedTable_ = table;
        decodedRow_ = rowIndex;
        decodedLive_ = liveFlag;
    }
    if (static_cast<size_t>(column) >= decoded_.size()) return -1;
    *value = decoded_[static_cast<size_t>(column)];
    return 0;
}
