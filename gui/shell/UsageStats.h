#pragma once
#include <cstdint>

#include "platform/DynamicLibrary.h"

class ISmartSpy;

// The outside usage-statistics library, optional: without its file or an export nothing is sent
// and nothing else changes. Every call into it is guarded against exceptions.

// The library loaded on first use and kept; a failed first load is not tried again.
platform::LibraryHandle LoadUsageStatsLibrary();
// The text event "SpySetTextExA"(id, text); 0 when the library or export is missing. This path
// keeps a handle of its own and tries the load again on each call while it has none.
int SendTextEvent(int id, const char* text);

// One source of events with its own cached statistics object.
class CUsageStats {
public:
    using Loader = platform::LibraryHandle (*)();
    explicit CUsageStats(Loader loader = &LoadUsageStatsLibrary) : loader_(loader) {}

    // The object of "GetSmartSpy", fetched once; null without library or export.
    ISmartSpy* GetSpy();
    void SendEvent(int event);                 // slot 8
    void SendValue(int id, int64_t value);     // slot 4
    // The page event: the text under 3584, then the pair (3, 5).
    void SendPageEnd(const char* table2Url);
    // The page event, then the library's last call; the object is forgotten afterwards.
    void SendShutdown(const char* table2Url);

private:
    Loader loader_;
    ISmartSpy* spy_ = nullptr;
    bool fetched_ = false;
};
