#pragma once
#include <cstdint>

#include "platform/DynamicLibrary.h"

class ISmartSpy;

// Numbers reported to the statistics library: action events (slot 8) and value events (slot 4).
enum : int {
    USAGE_EVENT_START = 12300,            // program start
    USAGE_EVENT_CONNECT_START = 12301,    // Start on the connection page
    USAGE_EVENT_SEARCH = 12302,           // search in the result toolbar
    USAGE_EVENT_RECOVER = 12305,          // Recover on the result page
    USAGE_EVENT_SUPPORT_MENU = 12310,     // the support item of the main menu
    USAGE_VALUE_SCAN_GO = 12324,          // Go on the connection page
    USAGE_VALUE_SCAN_STOP = 12326,        // Stop on the scan progress page
    USAGE_VALUE_COUNTERS_FIRST = 12330,   // 12330 to 12341: the result counters
    USAGE_VALUE_RECOVERY_STARTED = 12354,
    USAGE_VALUE_SEARCH_A = 12356,
    USAGE_VALUE_SEARCH_B = 12357,
    USAGE_VALUE_RECOVERY_STOPPED = 12358,
    USAGE_VALUE_RECOVERY_PROGRESS = 12359,
    USAGE_VALUE_SHARE_FIRST = 12360,      // 12360 to 12362: the recovery window's share links
    USAGE_VALUE_BACK = 12363,             // Back on the result page
    USAGE_VALUE_QUIT = 12364,             // quit from the main window
    USAGE_TEXT_LANGUAGE = 12366,          // the chosen language at start
    USAGE_TEXT_PAGE = 3584,               // the page event's text ([Public] "Table2Url")
};

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
