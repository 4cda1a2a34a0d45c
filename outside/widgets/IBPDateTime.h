#pragma once
#include <string>

// A calendar time broken down as the system gives it (month 1 to 12, weekday 0 Sunday).
struct BPSystemTime {
    int year = 0, month = 0, dayOfWeek = 0, day = 0, hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// Dates and times as texts for the user.
class IBPDateTime {
public:
    // "YYYY-MM-DD".
    static std::string TransSystemDateToString(const BPSystemTime& time);
    // Mode 1 "hh:mm:ss", otherwise "hh:mm".
    static std::string TransSystemTimeToString(const BPSystemTime& time, int mode);
};
