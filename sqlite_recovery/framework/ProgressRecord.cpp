#include <cstring>

#include "sqlite_recovery/framework/IProgress.h"

void SendProgress(IProgress* sink, uint32_t state, uint64_t total, uint64_t done) {
    if (!sink) return;
    PROGRESS_INFO record;
    std::memset(&record, 0, sizeof record);
    record.state = state;
    record.total = total;
    record.done = done;
    sink->OnProgress(&record);
}
