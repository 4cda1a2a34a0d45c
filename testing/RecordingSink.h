#pragma once
#include <cstdint>
#include <vector>

#include "sqlite_recovery/framework/IProgress.h"

// A progress sink that keeps every record it is given and answers ShouldContinue with yes until
// `continues` calls have been made: the file-system readers' tests follow and stop searches with it.
class RecordingSink : public IProgress {
public:
    void OnProgress(const PROGRESS_INFO* r) override { records.push_back({r->state, r->total, r->done}); }
    void OnDataChanged(int) override {}
    int ShouldContinue() override { return --continues >= 0 ? 1 : 0; }
    struct Record {
        uint32_t state;
        uint64_t total, done;
        bool operator==(const Record& o) const { return state == o.state && total == o.total && done == o.done; }
    };
    std::vector<Record> records;
    long continues = 1L << 40;
};
