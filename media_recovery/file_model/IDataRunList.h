#pragma once
#include <cstdint>

#include "platform/Export.h"

// One stretch of a file's allocation units (clusters or blocks, counted as the producing reader
// states), in file order. A start of -1 (any negative start) marks a hole that reads as zeros.
struct DataRun {
    int64_t start = 0;
    uint64_t length = 0;

    DataRun() = default;
    DataRun(int64_t first, uint64_t count) : start(first), length(count) {}
    DataRun(uint32_t startLow, uint32_t startHigh, uint32_t lengthLow, uint32_t lengthHigh)
        : start(static_cast<int64_t>((static_cast<uint64_t>(startHigh) << 32) | startLow)),
          length((static_cast<uint64_t>(lengthHigh) << 32) | lengthLow) {}

    bool IsSparse() const { return start < 0; }
};
static_assert(sizeof(DataRun) == 16, "a run is two 64-bit fields");

constexpr int64_t kSparseRunStart = -1;

// Run-list kinds reported by GetKind.
enum : int {
    RUN_LIST_RESIDENT = 1,
    RUN_LIST_NONRESIDENT = 2,
    RUN_LIST_EXT2 = 4,
    RUN_LIST_PLAIN = 5,
};

// The extents of a found file. Walk with First, then Next until null. Run pointers belong to the
// list and stay valid until it is released.
class RK_INTERFACE IDataRunList {
public:
    virtual ~IDataRunList();
    virtual DataRun* First() = 0;
    virtual DataRun* Next() = 0;
    virtual bool IsEnd() = 0;
    // Non-zero only for a list whose data is held in the node itself.
    virtual int IsResident() = 0;
    // A new plain list with the same runs (adjacent ones merged); null when memory runs out.
    virtual IDataRunList* Clone() = 0;
    // Stores a copy; merges it into the last run when that run is real and ends where it starts.
    virtual void AppendRun(const DataRun* run) = 0;
    virtual uint32_t GetResidentValue() = 0;
    virtual int GetKind() = 0;
    // Deletes the list.
    virtual void Release() = 0;
};
