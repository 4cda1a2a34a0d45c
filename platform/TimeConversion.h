#pragma once
#include <cstdint>
#include <ctime>

namespace platform {

// FILETIME: 100-nanosecond intervals since 1601-01-01 UTC.
constexpr uint64_t kFileTimeUnixEpoch = 116444736000000000ULL;

struct SystemTime {
    uint16_t year, month, dayOfWeek, day, hour, minute, second, milliseconds;
};

// False (and *out untouched) for a date or time outside the calendar.
bool SystemTimeToFileTime(const SystemTime& time, uint64_t* out);
bool FileTimeToSystemTime(uint64_t fileTime, SystemTime* out);
// DOS date (bits 15-9 years since 1980, 8-5 month, 4-0 day) and time (15-11 hours, 10-5 minutes,
// 4-0 two-second units), taken as given, without a time-zone shift.
bool DosDateTimeToFileTime(uint16_t dosDate, uint16_t dosTime, uint64_t* out);
uint64_t UnixSecondsToFileTime(int64_t seconds);
// The current date and time in the machine's time zone.
void GetLocalTime(SystemTime* out);
// The local calendar time of a moment (seconds since 1970 UTC), written as a FILETIME as though that
// calendar time were UTC: what a display in local time shows. 0 when it cannot be broken down.
uint64_t UnixSecondsToLocalFileTime(int64_t seconds);
int64_t FileTimeToUnixSeconds(uint64_t fileTime);
// The calendar time of a moment in the local time zone (localtime); false when it cannot be broken down.
bool LocalCalendarTime(int64_t seconds, std::tm* out);
// The local calendar time now, to the millisecond (GetLocalTime).
SystemTime GetLocalTime();

}  // namespace platform
