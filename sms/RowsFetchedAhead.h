#pragma once
#include <cstddef>
#include <vector>

// Calls each(row) for every row of a list, the row some places ahead fetched meanwhile. A large
// phone's rows lie far apart in memory, beyond what the processor's cache holds: a walk that waits
// for each row in turn grows faster than the phone, while the rows' own work does not.
// alsoHeld(row), when given, names memory the row points to (a text it holds), fetched once the
// row itself has come: halfway to it.
struct NothingHeld {
    template <class Row>
    const void* operator()(const Row*) const { return nullptr; }
};

template <class Row, class Each, class AlsoHeld = NothingHeld>
void ForEachRowFetchingAhead(const std::vector<Row*>& rows, Each&& each, AlsoHeld alsoHeld = AlsoHeld()) {
    constexpr size_t kAhead = 8;
    const size_t count = rows.size();
    for (size_t i = 0; i < count; ++i) {
        if (i + kAhead < count)
            if (const char* next = reinterpret_cast<const char*>(rows[i + kAhead])) {
                // A row spans two cache lines: its kind and id in the first, the message's fields after.
                __builtin_prefetch(next);
                __builtin_prefetch(next + 64);
            }
        if (i + kAhead / 2 < count && rows[i + kAhead / 2])
            if (const void* held = alsoHeld(rows[i + kAhead / 2])) __builtin_prefetch(held);
        each(rows[i]);
    }
}
