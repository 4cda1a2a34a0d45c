#pragma once
#include <cstddef>
#include <cstdint>

#include "sqlite_recovery/controller/CTableAnalyze.h"
#include "sqlite_recovery/framework/HashSlots.h"

class CTableRow;

// The rows filed in one analyser's multimaps by a hash of the values their equality compares, in
// the order they were filed: a new row is compared with the few filed rows that may equal it,
// never with every row of its id (recovered records whose id was lost all have id 0, and there
// may be tens of thousands of them).
class EqualRowIndex {
public:
    // The first row filed (of those still filed) that Equals row; null when none.
    CTableRow* FindEqual(const CTableRow* row) const { return FindEqual(row, HashOf(row)); }
    void Add(CTableRow* row) { Add(row, HashOf(row)); }
    // The same with the row's hash worked out once for both (a data row's takes its display text).
    static size_t HashOf(const CTableRow* row);
    CTableRow* FindEqual(const CTableRow* row, size_t hash) const;
    void Add(CTableRow* row, size_t hash);
    // Forgets a row that leaves its multimap.
    void Remove(const CTableRow* row);
    // Indexes the rows of a multimap (whose order among rows of one id is the order they were
    // filed in), after those it holds.
    void AddAll(const RowMultimap& rows);
    // Room for that many rows in all, so that filing a batch does not grow the index step by step.
    void Reserve(size_t rows) { rows_.Reserve(rows); }
    // Forgets every row and gives back the memory: rows are filed in batches, and the index is
    // made again from the multimaps when the next batch begins.
    void Clear();

private:
    struct Filed {
        CTableRow* row = nullptr;
        uint64_t number = 0;  // the order rows were filed in, which the index does not keep
    };
    // A batch files a hundred thousand rows on a large phone: they lie in one array, given back at
    // once when it ends.
    HashSlots<Filed> rows_;
    uint64_t filed_ = 0;
};
