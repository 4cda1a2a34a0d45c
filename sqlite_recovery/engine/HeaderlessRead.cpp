// A database whose first page is lost (zeroed, overwritten): no header tells the page size and no
// schema tells where the tables' trees are. Every other page still says what it is: the page size
// is the one at which the b-tree pages line up, the tables are those of the layout the caller knows
// the database by (its CREATE TABLE texts), and a table-leaf page belongs to the table whose
// column count and column types its records fit, as records carved from free space are judged.
#include <algorithm>
#include <cstring>

#include "sqlite_recovery/engine/CSQLiteReader.h"
#include "sqlite_recovery/engine/RecordCarving.h"
#include "sqlite_recovery/engine/SQLiteFormat.h"
#include "sqlite_recovery/engine/SchemaText.h"
#include "sqlite_recovery/framework/Logger.h"

using namespace sqlite_format;

namespace {

constexpr uint32_t kSmallestPage = 512, kLargestPage = 65536;
// Pages looked at per candidate size: enough to tell, few enough for a large file.
constexpr uint64_t kSampledPages = 512;

// Whether the bytes are a b-tree page of size pageSize (its header at 0); the largest cell offset
// it lists goes to *largest.
bool BtreePageAt(const uint8_t* pg, uint32_t pageSize, uint32_t* largest) {
    const uint8_t type = pg[kPageType];
    if (type != kInteriorIndexPage && type != kInteriorTablePage && type != kLeafIndexPage && type != kLeafTablePage)
        return false;
    const uint32_t header = (type == kInteriorIndexPage || type == kInteriorTablePage) ? kInteriorHeaderSize
                                                                                         : kLeafHeaderSize;
    const uint32_t cells = LoadBE16(pg + kCellCount);
    uint32_t content = LoadBE16(pg + kContentStart);
    if (content == 0) content = 65536;
    const uint32_t arrayEnd = header + 2 * cells;
    if (cells == 0 || arrayEnd > content || content > pageSize) return false;
    const uint32_t freeblock = LoadBE16(pg + kFirstFreeblock);
    if (freeblock != 0 && (freeblock < content || freeblock + 4 > pageSize)) return false;
    if (pg[kFragmentedBytes] > 60) return false;
    for (uint32_t i = 0; i < cells; ++i) {
        const uint32_t ptr = LoadBE16(pg + header + 2 * i);
        if (ptr < content || ptr + 4 > pageSize) return false;
        *largest = std::max(*largest, ptr);
    }
    return true;
}

// The CREATE TABLE statements of a schema text (statements end with ';', "--" comments).
std::vector<std::string> CreateTableTexts(const std::string& schema) {
    std::string text;
    for (size_t at = 0; at < schema.size();) {
        size_t end = schema.find('\n', at);
        if (end == std::string::npos) end = schema.size();
        const size_t first = schema.find_first_not_of(" \t", at);
        if (first >= end || schema.compare(first, 2, "--") != 0) text.append(schema, at, end - at).push_back('\n');
        at = end + 1;
    }
    std::vector<std::string> tables;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find(';', at);
        if (end == std::string::npos) end = text.size();
        const size_t first = text.find_first_not_of(" \t\r\n", at);
        if (first < end && text.compare(first, 13, "CREATE TABLE ") == 0) tables.push_back(text.substr(first, end - first));
        at = end + 1;
    }
    return tables;
}

// How many of a record's values have their column's declared type: NULL for the rowid's alias, an
// integer for INTEGER, a text for TEXT, a real for REAL, a blob for BLOB or no type.
uint32_t ExactColumns(const TableSchema& table, const std::vector<uint64_t>& types) {
    uint32_t exact = 0;
    for (size_t i = 0; i < types.size() && i < table.affinity.size(); ++i) {
        const uint64_t t = types[i];
        if (static_cast<int>(i) == table.rowidColumn) exact += t == 0;
        else if (table.affinity[i] == kAffinityInteger) exact += (t >= 1 && t <= 6) || t == 8 || t == 9;
        else if (table.affinity[i] == kAffinityText) exact += t >= 13 && (t & 1);
        else if (table.affinity[i] == kAffinityReal) exact += t == 7;
        else if (table.affinity[i] == kAffinityBlob) exact += t >= 12 && !(t & 1);
    }
    return exact;
}

}  // namespace

uint32_t CSQLiteReader::FindPageSize(int64_t fileSize) {
    // Larger sizes first: at half the true size every other page still lines up, but no cell lies
    // in its second half; at a smaller size the cells lie past the page's end.
    for (uint32_t size = kLargestPage; size >= kSmallestPage; size /= 2) {
        const uint64_t pages = static_cast<uint64_t>(fileSize) / size;
        if (pages < 2) continue;
        uint64_t found = 0;
        uint32_t largest = 0;
        for (uint64_t k = 1; k < pages && k <= kSampledPages; ++k) {
            unsigned done = 0;
            const int64_t offset = static_cast<int64_t>(k * size);
            int64_t position = -1;
            if (Failed(view_->Seek(offset, &position)) || position != offset ||
                Failed(view_->Read(pageBuffer_, size, &done)) || done != size)
                break;
            found += BtreePageAt(pageBuffer_, size, &largest);
        }
        if (found > 0 && largest >= size / 2) return size;
    }
    return 0;
}

int CSQLiteReader::OpenWithoutHeader(int64_t fileSize) {
    bufferPage_ = 0;
    const uint32_t size = FindPageSize(fileSize);
    bufferPage_ = 0;
    if (size == 0) return -2;
    // What the lost header would have said on an Android phone: UTF-8, schema format 4, no
    // reserved bytes, no free list known.
    std::memset(header_, 0, sizeof header_);
    header_[kHeaderTextEncoding + 3] = 1;
    header_[kHeaderSchemaFormat + 3] = 4;
    pageSize_ = usableSize_ = size;
    headerLost_ = true;
    return 0;
}

int CSQLiteReader::LoadKnownSchema() {
    for (const std::string& sql : CreateTableTexts(knownSchema_)) {
        TableSchema entry;
        const size_t nameAt = 13, nameEnd = sql.find_first_of(" (\t\n", nameAt);
        entry.name = sql.substr(nameAt, nameEnd == std::string::npos ? std::string::npos : nameEnd - nameAt);
        entry.sql = sql;
        entry.columnCount = CountColumns(entry.sql);
        entry.rowidColumn = FindRowidColumn(entry.sql, entry.columnCount);
        entry.affinity = ColumnAffinities(entry.sql, entry.columnCount);
        if (entry.columnCount > 0) tables_.push_back(std::move(entry));
    }
    if (tables_.empty()) return -1;
    AssignLeafPages();
    return 0;
}

uint32_t CSQLiteReader::FittingCells(TableSchema* table, uint32_t page, uint64_t* exact) {
    CarveContext ctx;
    ctx.page = pageBuffer_;
    ctx.pageSize = pageSize_;
    ctx.usableSize = usableSize_;
    ctx.pageNumber = page;
    ctx.encoding = static_cast<int>(LoadBE32(header_ + kHeaderTextEncoding));
    ctx.zeroOneConstants = LoadBE32(header_ + kHeaderSchemaFormat) >= 4;
    ctx.scratch = scratch_;
    ctx.reader = this;
    ctx.timeUp = &timeUp_;
    ctx.UseTable(table, false);
    const uint32_t cells = std::min<uint32_t>(LoadBE16(pageBuffer_ + kCellCount), (pageSize_ - kLeafHeaderSize) / 2);
    CellLayout cell;
    uint32_t fits = 0;
    *exact = 0;
    for (uint32_t i = 0; i < cells; ++i) {
        const uint32_t ptr = LoadBE16(pageBuffer_ + kLeafHeaderSize + 2 * i);
        if (ptr < kLeafHeaderSize || !CheckIntactCell(ctx, ptr, usableSize_, &cell)) continue;
        ++fits;
        *exact += ExactColumns(*table, scratch_->types);
    }
    return fits;
}

bool CSQLiteReader::LeafFitsTable(TableSchema* table, uint32_t page) {
    const uint32_t cells = LoadBE16(pageBuffer_ + kCellCount);
    uint64_t exact = 0;
    const uint32_t fits = FittingCells(table, page, &exact);
    return fits > 0 && 2 * fits >= cells;
}

void CSQLiteReader::AssignLeafPages() {
    pageOwner_.assign(static_cast<size_t>(pageCount_ + 1), {});
    ownedKnown_ = true;  // the pages assigned here are all the trees there are
    if (++chainGeneration_ == 0) {
        std::fill(chainStamp_.begin(), chainStamp_.end(), 0);
        chainGeneration_ = 1;
    }
    // Page 1 is the lost one.
    for (uint64_t page = 2; page <= pageCount_; ++page) {
        if (TimeUp()) return;
        if (ReadPage(page, pageBuffer_) != 0 || pageBuffer_[kPageType] != kLeafTablePage) continue;
        const uint32_t cells = LoadBE16(pageBuffer_ + kCellCount);
        // The records of one leaf are of one table: the one most of them fit; of tables that all
        // fit (two columns of text fit many), the one whose declared types the values have most
        // often. Tables alike in every column (an id and a text) share the page: each reads it.
        std::vector<const TableSchema*>& owners = pageOwner_[page];
        uint32_t bestFits = 0;
        uint64_t bestExact = 0;
        for (TableSchema& table : tables_) {
            uint64_t exact = 0;
            const uint32_t fits = FittingCells(&table, static_cast<uint32_t>(page), &exact);
            if (fits == 0 || fits < bestFits || (fits == bestFits && exact < bestExact)) continue;
            if (fits > bestFits || exact > bestExact) owners.clear();
            owners.push_back(&table);
            bestFits = fits;
            bestExact = exact;
        }
        if (2 * bestFits < cells) {
            owners.clear();
            continue;
        }
        pageFlags_[page] |= kFlagOwned;
        MarkOverflowChains(static_cast<uint32_t>(page), 0, kLeafTablePage, chainGeneration_);
    }
}

void CSQLiteReader::ScanAssignedLeaves(TableSchema* table, int viewFlag) {
    for (uint64_t page = 2; page <= pageCount_ && page < pageOwner_.size(); ++page) {
        if (TimeUp()) return;
        const std::vector<const TableSchema*>& owners = pageOwner_[page];
        if (std::find(owners.begin(), owners.end(), table) == owners.end()) continue;
        walkStamp_[page] = walkGeneration_;
        if (ReadPage(page, pageBuffer_) != 0) continue;
        ScanLeafPage(table, static_cast<uint32_t>(page), 0, 0, viewFlag);
    }
}
