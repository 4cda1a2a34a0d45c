#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Where a record lies. Live records: rowid-varint size 1, cell length 0, rowid 0.
struct RecordRef {
    static constexpr uint32_t kNoLostType = UINT32_MAX;

    int64_t rowid = 0;          // carved records: the rowid found, 0 when unknown
    uint32_t page = 0;
    int32_t offset = 0;         // of the cell in its page
    int32_t cellLength = 0;     // carved records: bytes of the cell on the page from its first byte
    // Carved records whose first bytes a freeblock header overwrote: the first column's serial
    // type when its byte was among them (worked out from the cell's length), else kNoLostType.
    uint32_t lostType = kNoLostType;
    uint16_t typeCount = 0;     // serial types read from the page at typesAt
    uint8_t typesAt = 0;        // carved, not intact: first serial type read, from the cell start
    int8_t rowidSize = 1;       // bytes of the rowid varint (carved records: the size assumed)
    int8_t lengthSize = 0;      // carved records: bytes of the payload-length varint
    bool intact = false;        // carved record whose leading varints are intact
    bool exact = true;          // carved records: the cell ends where its block or a neighbour begins
    // Carved records: the payload goes no further than the cell's bytes on the page (cellLength);
    // its tail there, or its overflow chain, was taken by later writes.
    bool partial = false;
};
static_assert(sizeof(RecordRef) == 32, "records are kept by the million");

// Records by key (page number in the high half, offset in the low half), numbered in key order
// from 0. Filled in any order during a walk, then finished: sorted, and of the entries of one key
// the best kept: an intact cell, else the exact fit with the shortest rowid, else the first.
class RecordMap {
public:
    static uint64_t Key(uint32_t page, uint32_t offset) { return (uint64_t(page) << 32) | offset; }

    void Add(const RecordRef& ref) { entries_.push_back({Key(ref.page, static_cast<uint32_t>(ref.offset)), ref}); }
    // Sorts and drops repeated keys, and every key that the other (finished) map holds.
    void Finish(const RecordMap* exclude = nullptr);
    bool Contains(uint64_t key) const;
    // Index of the first record whose key is greater than the given one (size() when none).
    size_t UpperBound(uint64_t key) const;
    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    void clear() { entries_.clear(); }
    // Forgets every record and gives back their memory.
    void Release() { std::vector<Entry>().swap(entries_); }
    const RecordRef& at(size_t i) const { return entries_[i].ref; }
    uint64_t KeyAt(size_t i) const { return entries_[i].key; }

private:
    struct Entry {
        uint64_t key;
        RecordRef ref;
    };
    std::vector<Entry> entries_;
};

// One row of the schema table, with the records a walk found for it.
struct TableSchema {
    uint32_t rootPage = 0;
    std::string name;
    std::string sql;             // the CREATE text
    int columnCount = 0;         // from CountColumns
    int rowidColumn = -1;        // column declared INTEGER PRIMARY KEY, -1 when none
    std::vector<uint8_t> affinity;  // ColumnAffinity of each column; empty when the text is unclear
    int64_t cellTotal = 0;       // cell counts of every page header read for this table
    RecordMap liveRecords;
    RecordMap recoveredRecords;
    bool timedOut = false;       // the last walk stopped at its deadline

    size_t LiveCount() const { return liveRecords.size(); }
    size_t RecoveredCount() const { return recoveredRecords.size(); }
};
