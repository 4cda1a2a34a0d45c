#include "filesystems/ext/ExtLocalClock.h"

#include "platform/TimeConversion.h"

namespace {
constexpr int64_t kQuarter = 900;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

// Ticks from UTC to local time at seconds; false when the moment has no local time.
bool OffsetAt(int64_t seconds, int64_t* offset) {
    uint64_t local = platform::UnixSecondsToLocalFileTime(seconds);
    if (local == 0) return false;
    *offset = static_cast<int64_t>(local - platform::UnixSecondsToFileTime(seconds));
    return true;
}
}  // namespace

uint64_t ExtLocalClock::ToFileTime(int64_t seconds) {
    if (seconds != lastSeconds_) {
        lastTime_ = Convert(seconds);
        lastSeconds_ = seconds;
    }
    return lastTime_;
}

uint64_t ExtLocalClock::Convert(int64_t seconds) {
    const int64_t number = FloorDiv(seconds, kQuarter);
    Quarter* q = nullptr;
    for (Quarter& candidate : quarters_)
        if (candidate.number == number) q = &candidate;
    if (!q) {
        q = &quarters_[next_++ % 4];
        int64_t first = 0, last = 0;
        q->number = number;
        q->uniform = OffsetAt(number * kQuarter, &first) && OffsetAt(number * kQuarter + kQuarter - 1, &last) &&
                     first == last;
        q->offset = first;
    }
    if (!q->uniform) return platform::UnixSecondsToLocalFileTime(seconds);
    return platform::UnixSecondsToFileTime(seconds) + static_cast<uint64_t>(q->offset);
}
