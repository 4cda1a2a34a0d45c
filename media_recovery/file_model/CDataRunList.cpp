#include "media_recovery/file_model/CDataRunList.h"

#include <limits>
#include <new>

IDataRunList::~IDataRunList() {}

namespace {
// last.start + last.length without passing the signed range: false when it would.
bool EndOf(const DataRun& run, int64_t* end) {
    if (run.start < 0) return false;
    uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    uint64_t start = static_cast<uint64_t>(run.start);
    if (run.length > limit - start) return false;
    *end = static_cast<int64_t>(start + run.length);
    return true;
}

bool Grow(DataRun& last, uint64_t length) {
    if (length > std::numeric_limits<uint64_t>::max() - last.length) return false;
    last.length += length;
    return true;
}
}  // namespace

CDataRunList::CDataRunList() {}

CDataRunList::~CDataRunList() {}

DataRun* CDataRunList::First() {
    if (count_ == 0) return nullptr;
    cursor_ = 0;
    return RunAt(0);
}

DataRun* CDataRunList::Next() {
    if (cursor_ == kPastEnd) return nullptr;
    if (++cursor_ >= count_) {
        cursor_ = kPastEnd;
        return nullptr;
    }
    return RunAt(cursor_);
}

bool CDataRunList::IsEnd() { return cursor_ == kPastEnd; }

DataRun* CDataRunList::Last() { return count_ == 0 ? nullptr : RunAt(count_ - 1); }

bool CDataRunList::PushRun(const DataRun& run) {
    // The cursor stays where it stood; past the end stays past the end.
    if (count_ < kInlineRuns) {
        inline_[count_++] = run;
        return true;
    }
    if (count_ == kPastEnd - 1) return false;
    try {
        if (!more_) more_.reset(new std::deque<DataRun>);
        more_->push_back(run);
    } catch (const std::bad_alloc&) {
        return false;
    }
    ++count_;
    return true;
}

void CDataRunList::AppendRun(const DataRun* run) {
    if (!run) return;
    // A hole never merges with its neighbours, and the end of the last run must be representable.
    DataRun* last = Last();
    int64_t end = 0;
    if (last && !run->IsSparse() && EndOf(*last, &end) && end == run->start && Grow(*last, run->length)) return;
    PushRun(*run);
}

IDataRunList* CDataRunList::Clone() {
    CDataRunList* copy = new (std::nothrow) CDataRunList;
    if (!copy) return nullptr;
    for (uint32_t i = 0; i < count_; ++i) copy->AppendRun(RunAt(i));
    return copy;
}

void CExt2DataRunList::AddBlockRun(const DataRun& run) {
    DataRun* last = Last();
    if (last) {
        int64_t end = 0;
        if (EndOf(*last, &end) && end == run.start && Grow(*last, run.length)) return;
        if (last->start == 0 && run.start == 0 && Grow(*last, run.length)) return;
    }
    PushRun(run);
}

CDataRunList* CreateDataRunList() { return new (std::nothrow) CDataRunList; }

// One is made for every file an Ext2/3/4 search finds.
RK_SLOT_POOL_DEFINE(CExt2DataRunList)
