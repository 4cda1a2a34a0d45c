#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/Export.h"

// Progress record, copied whole as a message payload: its layout is fixed.
#pragma pack(push, 1)
struct PROGRESS_INFO {
    uint32_t state;      // 2 running, 3 finished (the media scan also sends 0 first)
    uint64_t total;
    uint64_t done;
    uint64_t result;            // a finished scan's or recovery's result code, where a sender puts one
    char text[1024];            // the item at work, zero-terminated where shorter
    uint32_t remainingSeconds;  // the scan's estimate of the time left, where a sender puts one
    uint8_t unused[12];
};
#pragma pack(pop)

static_assert(sizeof(PROGRESS_INFO) == 1068, "progress record size");
static_assert(offsetof(PROGRESS_INFO, total) == 4, "total offset");
static_assert(offsetof(PROGRESS_INFO, done) == 12, "done offset");
static_assert(offsetof(PROGRESS_INFO, result) == 20, "result offset");
static_assert(offsetof(PROGRESS_INFO, text) == 28, "text offset");
static_assert(offsetof(PROGRESS_INFO, remainingSeconds) == 1052, "remaining-time offset");

enum : uint32_t { PROGRESS_STATE_RUNNING = 2, PROGRESS_STATE_FINISHED = 3 };

// Data-changed kinds.
enum : int { DATA_KIND_FILES = 1, DATA_KIND_MESSAGES = 2, DATA_KIND_CONTACTS = 3 };

// The sink through which an analyser reports; all calls come on the analysing thread.
class RK_INTERFACE IProgress {
public:
    virtual ~IProgress();
    virtual void OnProgress(const PROGRESS_INFO* record) = 0;
    virtual void OnDataChanged(int kind) = 0;
    // 0 asks the analyser to stop as soon as it can.
    virtual int ShouldContinue() = 0;
};

// Sends the sink a zeroed progress record holding these three values; nothing for a null sink.
void SendProgress(IProgress* sink, uint32_t state, uint64_t total, uint64_t done);
