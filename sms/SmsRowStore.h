#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <memory_resource>
#include <unordered_map>
#include <utility>

#include "sqlite_recovery/controller/CTableAnalyze.h"

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
    // By a hash of the values that equality compares. Its nodes lie in blocks of their own, given
    // back whole with the index: scattered among the rows they would leave holes too small for
    // what comes after.
    using ContentIndex = std::pmr::unordered_multimap<size_t, Position>;
    std::pmr::monotonic_buffer_resource indexMemory_;
    std::unique_ptr<ContentIndex> byContent_;
    // MMS rows whose id is known, by id and thread, in the order they were filed.
    std::multimap<std::pair<int64_t, int64_t>, Position> mmsVersions_;
    bool indexed_ = false;
};

// Releases every row and empties the map.
void ReleaseSmsRows(SmsRowMap& rows);
