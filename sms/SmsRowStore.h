#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>

#include "sqlite_recovery/controller/CTableAnalyze.h"
#include "sqlite_recovery/framework/HashSlots.h"

class CTableRow;

using SmsRowMap = RowMultimap;

// Files the rows of one table in its row map by the duplicate rule: a stored row equal to a new one
// takes its live flag and the new row is released; of several recovered versions of one MMS (same
// id and thread) only the newest is kept. The rows a new one is compared with are found through
// indexes, never by walking every row of its id: recovered records whose id was lost all share
// id 0, and there may be hundreds of thousands of them.
class SmsRowStore {
public:
    explicit SmsRowStore(SmsRowMap& rows) : rows_(rows) {}
    SmsRowStore(const SmsRowStore&) = delete;
    SmsRowStore& operator=(const SmsRowStore&) = delete;

    // The number of rows the next batch will offer at most, so that the index is made at its size.
    void Expect(size_t rows) { expected_ = rows; }
    // Files a new row (owned by the map afterwards), or releases it. Indexes the map first when
    // it is not indexed.
    void Store(CTableRow* row);
    // Gives back the indexes' memory (rows are filed in batches: the indexes are made again, from
    // the map, when the next batch begins).
    void ForgetIndexes();
    // Releases every row and empties the map.
    void ReleaseAll();

private:
    using Position = SmsRowMap::iterator;
    void Index(Position position);
    void Forget(Position position);

    SmsRowMap& rows_;
    // By a hash of the values that equality compares: one allocation, given back whole with the
    // index (nodes scattered among the rows would leave holes too small for what comes after).
    HashSlots<Position> byContent_;
    size_t expected_ = 0;
    // MMS rows whose id is known, by id and thread, in the order they were filed.
    std::multimap<std::pair<int64_t, int64_t>, Position> mmsVersions_;
    bool indexed_ = false;
};

// Releases every row and empties the map.
void ReleaseSmsRows(SmsRowMap& rows);
