#pragma once
#include <cstdint>
#include <list>
#include <set>
#include <string>
#include <utility>
#include <tuple>
#include <vector>

#include "sqlite_recovery/engine/ColumnValue.h"
#include "sqlite_recovery/engine/IFileIO.h"
#include "sqlite_recovery/engine/RecordCarving.h"
#include "sqlite_recovery/engine/RecordDecoding.h"
#include "sqlite_recovery/engine/TableSchema.h"

// WalkTable's answer when the walk stopped at its deadline; what it found is kept.
constexpr int kWalkTimedOut = 1;

// Reads an SQLite 3 database page by page through an IFileIO view: header, schema, table
// b-trees, live records, and (through the carving passes) deleted records.
class CSQLiteReader {
public:
    CSQLiteReader();
    ~CSQLiteReader();
    CSQLiteReader(const CSQLiteReader&) = delete;
    CSQLiteReader& operator=(const CSQLiteReader&) = delete;

    // Number of tables (>= 1); -1 null view or no size, -2 bad header, -4 no schema. Opening again
    // on another view forgets everything of the previous one. A first page that is no header is
    // read past when a known schema was given: see HeaderLost.
    int Open(IFileIO* view);
    // The CREATE TABLE texts the database is known by (its application's own layout), read when
    // the database has lost its first page; kept over Open and Clear.
    void SetKnownSchema(std::string schema) { knownSchema_ = std::move(schema); }
    // Forgets the view, the tables and every cached page.
    void Clear();
    // 0; -1 read failure, -2 not an SQLite 3 file, -3 read version 0, -4 schema format above 4,
    // -5 page size or reserved bytes impossible.
    int ReadHeader();
    // Reads page n (1-based) into dest, the page buffer or the overflow page buffer (either
    // remembers its page). 0; -1 no such page or seek failure; -2 read failure.
    int ReadPage(uint64_t page, uint8_t* dest);
    // The first table of exactly this name, or null.
    TableSchema* FindTable(const char* name);
    // Fills the table's live records and, when viewFlag is 0 and the table is named, its
    // recovered records. 0, kWalkTimedOut, -1 no table or root, -2 root unreadable.
    int WalkTable(TableSchema* table, int schemaFlag, int viewFlag);
    // The 0-based column of record rowIndex of the live (live 1) or recovered (live 0) records.
    // A negative column (absent from the table) gives NULL. 0; -1 no such row or column; other
    // negative numbers when the record cannot be decoded.
    int GetValue(int rowIndex, TableSchema* table, int column, ColumnValue* value, int live);

    std::list<TableSchema>& Tables() { return tables_; }
    const std::list<TableSchema>& Tables() const { return tables_; }
    IFileIO* View() const { return view_; }
    uint32_t PageSize() const { return pageSize_; }
    uint32_t UsableSize() const { return usableSize_; }
    uint64_t PageCount() const { return pageCount_; }
    const uint8_t* Header() const { return header_; }
    uint8_t* PageBuffer() { return pageBuffer_; }
    bool IsRootPage(uint64_t page) const;
    // The pages of the walked tables' b-trees and of the free list that are not what the page
    // pointing at them says: past the end, unreadable, or of another kind (a zeroed page among
    // them). Each costs the records it held, and only them.
    const std::set<uint32_t>& LostPages() const { return lostPages_; }
    // Whether page 1 was no database header, and the pages were read without it.
    bool HeaderLost() const { return headerLost_; }
    // Whether the overflow chain of a deleted record, holding bytes of payload from page first on,
    // is still whole: pages that no live tree, live record or free-list trunk took since, the last
    // one ending it.
    bool OverflowChainIsFree(uint32_t first, int64_t bytes);

    // Decodes a record as GetValue does, into values (tests and tools); the values cut at the
    // caps go to cuts when it is given.
    int DecodeRecord(TableSchema* table, const RecordRef& ref, bool live, uint32_t textCap,
                     std::vector<ColumnValue>& values, std::vector<ValueCut>* cuts = nullptr);

private:
    friend struct CarveContext;
    enum : uint8_t { kFlagRoot = 1, kFlagOwned = 2, kFlagTrunk = 4, kFlagFree = 8 };
    int LoadSchema();
    // Without page 1 (HeaderlessRead.cpp): the page size the b-tree pages line up at (0 when none
    // does), the reader set up with it, the known schema's tables and each table-leaf page given to
    // the table its records fit, and the walk of a table over its leaves.
    uint32_t FindPageSize(int64_t fileSize);
    int OpenWithoutHeader(int64_t fileSize);
    int LoadKnownSchema();
    void AssignLeafPages();
    void ScanAssignedLeaves(TableSchema* table, int viewFlag);
    // The b-tree below the table's root: leaves go to ScanLeafPage; interior pages give their
    // children and have their free space carved (a page that was once a leaf may still hold
    // records there).
    void WalkInterior(TableSchema* table, int schemaFlag, int viewFlag);
    // Queues the children of the interior page in the page buffer, to be visited in key order
    // with the right-most child last.
    void CollectChildren(uint32_t page, int depth);
    void ScanLeafPage(TableSchema* table, uint32_t page, int schemaFlag, int orphan, int viewFlag);
    // treeLostPages: the walk of the table's tree lost a page (its leaves are then adopted).
    void ScanUnreachedPages(TableSchema* table, bool treeLostPages);
    // Of the cells the leaf in the page buffer lists, how many are records of the table, and how
    // many of their values have their column's declared type (*exact); the leaf is the table's
    // when most of them, and at least one, are.
    uint32_t FittingCells(TableSchema* table, uint32_t page, uint64_t* exact);
    bool LeafFitsTable(TableSchema* table, uint32_t page);
    // Tells the log, once, of a value the caps cut.
    void TellOfCut(const TableSchema* table, const RecordRef& ref, bool live, const ValueCut& cut);
    void CollectOwnedPages();
    void MarkOverflowChains(uint32_t page, uint32_t headerOffset, uint8_t type, uint32_t generation);
    bool TimeUp();
    void ForgetPages();
    // End of the leaf-page array when the page reads as a free-list trunk page, else 0.
    uint32_t TrunkArrayEnd(const uint8_t* page) const;

    IFileIO* view_ = nullptr;
    uint8_t* pageBuffer_ = nullptr;
    uint64_t bufferPage_ = 0;  // page held by the page buffer, 0 when none
    uint64_t pageCount_ = 0;
    uint8_t header_[76] = {};
    uint32_t pageSize_ = 0;
    uint32_t usableSize_ = 0;
    std::list<TableSchema> tables_;

    std::vector<ColumnValue> decoded_;
    std::vector<ValueCut> cuts_;  // of the record decoded last
    // The values cut that the log was told of (table, page, offset, column), each told once.
    std::set<std::tuple<const TableSchema*, uint32_t, int32_t, int>> toldCuts_;
    std::vector<uint64_t> decodeTypes_;
    const TableSchema* decodedTable_ = nullptr;
    int decodedRow_ = -1;
    int decodedLive_ = -1;
    uint64_t decodedGeneration_ = 0;

    // Per page: bit 0 root of a schema row, bit 1 owned by some live b-tree, bit 2 free-list trunk,
    // bit 3 free-list leaf.
    std::vector<uint8_t> pageFlags_;
    std::set<uint32_t> lostPages_;
    bool headerLost_ = false;
    std::string knownSchema_;
    // Without page 1: the table each leaf was given to (tables alike in every column share it).
    std::vector<std::vector<const TableSchema*>> pageOwner_;
    bool ownedKnown_ = false;
    std::vector<uint32_t> rootPages_;
    // Visit stamps of the walk and of overflow chains, against cycles.
    std::vector<uint32_t> walkStamp_;
    uint32_t walkGeneration_ = 0;
    std::vector<uint32_t> chainStamp_;
    uint32_t chainGeneration_ = 0;
    bool timeUp_ = false;
    std::vector<std::pair<uint32_t, int>> pending_;  // walk stack: page, depth
    std::vector<uint32_t> listed_;                   // the cells its header lists
    std::vector<std::pair<uint32_t, uint32_t>> chains_;  // overflow chains: first page, pages
    CarveScratch* scratch_ = nullptr;
    bool buffersReady_ = false;
};
