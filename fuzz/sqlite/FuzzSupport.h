#pragma once
#include "sqlite_recovery/engine/CSQLiteReader.h"
#include "sqlite_recovery/engine/EngineState.h"

// Walks every table of an opened reader with the view flag and reads every value it found.
inline void WalkEverything(CSQLiteReader& reader, int viewFlag) {
    engine_state::SetWalkTimeLimitMs(5000);
    for (TableSchema& t : reader.Tables()) {
        if (reader.WalkTable(&t, 0, viewFlag) < 0) continue;
        for (int live = 0; live <= 1; ++live) {
            const size_t n = live ? t.LiveCount() : t.RecoveredCount();
            for (size_t i = 0; i < n && i < 20000; ++i) {
                for (int c = -1; c <= t.columnCount; ++c) {
                    ColumnValue v;
                    if (reader.GetValue(static_cast<int>(i), &t, c, &v, live) != 0) continue;
                    volatile uint64_t sink = v.ToInt64();
                    for (uint32_t k = 0; v.data && k < v.length; k += 61) sink += v.data[k];
                    (void)v.ToText();
                    (void)sink;
                }
            }
        }
    }
}
