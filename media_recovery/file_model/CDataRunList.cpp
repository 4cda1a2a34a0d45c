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

CDataRunList::CDataRunList() : cursor_(runs_.begin()) {}

CDataRunList::~CDataRunList() {}

DataRun* CDataRunList::First() {
    if (runs_.empty()) return nullptr;
    cursor_ = runs_.begin();
    return &*cursor_;
}

DataRun* CDataRunList::Next() {
    if (cursor_ == runs_.end()) return nullptr;
    ++cursor_;
    return cursor_ == runs_.end() ? nullptr : &*cursor_;
}

bool CDataRunList::IsEnd() { return cursor_ == runs_.end(); }

DataRun* CDataRunList::Last() { return runs_.empty() ? nullptr : &runs_.back(); }

bool CDataRunList::PushRun(const DataRun& run) {
    try {
        runs_.push_back(run);  // the cursor, an iterator of the list, stays where it stood
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
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
    for (const DataRun& run : runs_) copy->AppendRun(&run);
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
