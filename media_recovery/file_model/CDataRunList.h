#pragma once
#include <cstddef>
#include <deque>
#include <memory>

#include "media_recovery/file_model/IDataRunList.h"
#include "media_recovery/file_model/SlotPool.h"

// The run list of every reader: runs in file order and a cursor. Most files have one or two runs:
// those live in the list itself; more go to a deque, whose growth keeps every run where it is.
class CDataRunList : public IDataRunList {
public:
    CDataRunList();
    ~CDataRunList() override;
    CDataRunList(const CDataRunList&) = delete;
    CDataRunList& operator=(const CDataRunList&) = delete;

    DataRun* First() override;
    DataRun* Next() override;
    bool IsEnd() override;
    int IsResident() override { return 0; }
    IDataRunList* Clone() override;
    void AppendRun(const DataRun* run) override;
    uint32_t GetResidentValue() override { return 0; }
    int GetKind() override { return RUN_LIST_PLAIN; }
    void Release() override { delete this; }

    // Appends a copy without merging (the decoders keep runs apart as they were stored).
    bool PushRun(const DataRun& run);
    size_t RunCount() const { return count_; }
    // The last run, null for an empty list.
    DataRun* Last();

private:
    static constexpr uint32_t kInlineRuns = 2;
    static constexpr uint32_t kPastEnd = ~uint32_t{0};

    DataRun* RunAt(uint32_t i) { return i < kInlineRuns ? &inline_[i] : &(*more_)[i - kInlineRuns]; }

    // A list is made for every file found: kept small (56 bytes).
    DataRun inline_[kInlineRuns];
    std::unique_ptr<std::deque<DataRun>> more_;  // runs past the inline ones, made when needed
    uint32_t count_ = 0;
    uint32_t cursor_ = kPastEnd;  // the current run; past the end until First
};

// A list whose data lives in the node; it keeps the first run and a resident value.
class CResidentNTFSDataRunList : public CDataRunList {
public:
    explicit CResidentNTFSDataRunList(uint32_t residentValue) : residentValue_(residentValue) {}
    int IsResident() override { return 1; }
    uint32_t GetResidentValue() override { return residentValue_; }
    int GetKind() override { return RUN_LIST_RESIDENT; }

private:
    uint32_t residentValue_;
};

// A list decoded from mapping pairs.
class CNoneResidentNTFSDataRunList : public CDataRunList {
public:
    int GetKind() override { return RUN_LIST_NONRESIDENT; }
};

// The Ext2/3/4 reader's list, grown block run by block run.
class CExt2DataRunList : public CDataRunList {
public:
    RK_SLOT_POOLED(CExt2DataRunList)

    int GetKind() override { return RUN_LIST_EXT2; }
    // Merges a run that continues the last one, and consecutive runs that both start at 0.
    void AddBlockRun(const DataRun& run);
};

// A new empty plain list, null when memory runs out.
CDataRunList* CreateDataRunList();
