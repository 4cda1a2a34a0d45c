#pragma once
#include <functional>
#include <vector>

#include "sqlite_recovery/framework/IProgress.h"

// A progress sink that records what it is told and can ask to stop after a number of queries.
struct RecordingSink : IProgress {
    struct Record {
        uint32_t state;
        uint64_t total;
        uint64_t done;
    };
    std::vector<Record> records;
    std::vector<int> changes;
    int queries = 0;
    int stopAfter = -1;  // answer 0 from this query on (counted from 1); -1 never
    std::function<void(int)> onChange;

    void OnProgress(const PROGRESS_INFO* record) override {
        records.push_back({record->state, record->total, record->done});
    }
    void OnDataChanged(int kind) override {
        changes.push_back(kind);
        if (onChange) onChange(kind);
    }
    int ShouldContinue() override {
        ++queries;
        return stopAfter > 0 && queries >= stopAfter ? 0 : 1;
    }
    std::vector<uint64_t> Done() const {
        std::vector<uint64_t> values;
        for (const Record& r : records) values.push_back(r.done);
        return values;
    }
};
