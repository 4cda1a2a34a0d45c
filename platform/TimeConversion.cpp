#include "platform/TimeConversion.h"

#include <sys/time.h>

#include <ctime>

namespace platform {

namespace {
constexpr uint64_t kTicksPerSecond = 10000000ULL;

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : days[month - 1];
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}
}  // namespace

bool SystemTimeToFileTime(const SystemTime& t, uint64_t* out) {
    if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12 || t.day < 1 ||
        t.day > DaysInMonth(t.year, t.month) || t.hour > 23 || t.minute > 59 || t.second > 59 ||
        t.milliseconds > 999)
        return false;
    int64_t days = DaysFromCivil(t.year, t.month, t.day) - DaysFromCivil(1601, 1, 1);
    uint64_t seconds = static_cast<uint64_t>(days) * 86400ULL + t.hour * 3600ULL + t.minute * 60ULL + t.second;
    *out = seconds * kTicksPerSecond + t.milliseconds * 10000ULL;
    return true;
}

bool FileTimeToSystemTime(uint64_t fileTime, SystemTime* out) {
    uint64_t seconds = fileTime / kTicksPerSecond;
    int64_t days = static_cast<int64_t>(seconds / 86400) + DaysFromCivil(1601, 1, 1);
    uint64_t rest = seconds % 86400;
    // Civil date from days since 1970 (inverse of DaysFromCivil).
    int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
    if (y > 30827) return false;
    out->year = static_cast<uint16_t>(y);
    out->month = static_cast<uint16_t>(m);
    out->day = static_cast<uint16_t>(d);
    out->dayOfWeek = static_cast<uint16_t>((days % 7 + 7 + 4) % 7);  // 1970-01-01 was a Thursday
    out->hour = static_cast<uint16_t>(rest / 3600);
    out->minute = static_cast<uint16_t>(rest / 60 % 60);
    out->second = static_cast<uint16_t>(rest % 60);
    out->milliseconds = static_cast<uint16_t>(fileTime % kTicksPerSecond / 10000);
    return true;
}

bool DosDateTimeToFileTime(uint16_t dosDate, uint16_t dosTime, uint64_t* out) {
    SystemTime t{};
    t.year = static_cast<uint16_t>(1980 + (dosDate >> 9));
    t.month = static_cast<uint16_t>((dosDate >> 5) & 0x0F);
    t.day = static_cast<uint16_t>(dosDate & 0x1F);
    t.hour = static_cast<uint16_t>(dosTime >> 11);
    t.minute = static_cast<uint16_t>((dosTime >> 5) & 0x3F);
    t.second = static_cast<uint16_t>((dosTime & 0x1F) * 2);
    return SystemTimeToFileTime(t, out);
}

uint64_t UnixSecondsToFileTime(int64_t seconds) {
    return static_cast<uint64_t>(seconds) * kTicksPerSecond + kFileTimeUnixEpoch;
}

bool LocalCalendarTime(int64_t seconds, std::tm* out) {
    const std::time_t moment = static_cast<std::time_t>(seconds);
    return out && localtime_r(&moment, out) != nullptr;
}

SystemTime GetLocalTime() {
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    SystemTime t{};
    if (!LocalCalendarTime(now.tv_sec, &local)) return t;
    t.year = static_cast<uint16_t>(local.tm_year + 1900);
    t.month = static_cast<uint16_t>(local.tm_mon + 1);
    t.dayOfWeek = static_cast<uint16_t>(local.tm_wday);
    t.day = static_cast<uint16_t>(local.tm_mday);
    t.hour = static_cast<uint16_t>(local.tm_hour);
    t.minute = static_cast<uint16_t>(local.tm_min);
    t.second = static_cast<uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);
    t.milliseconds = static_cast<uint16_t>(now.tv_nsec / 1000000);
    return t;
}

uint64_t UnixSecondsToLocalFileTime(int64_t seconds) {
    std::tm local{};
    if (!LocalCalendarTime(seconds, &local)) return 0;
    SystemTime t{};
    t.year = static_cast<uint16_t>(local.tm_year + 1900);
    t.month = static_cast<uint16_t>(local.tm_mon + 1);
    t.day = static_cast<uint16_t>(local.tm_mday);
    t.hour = static_cast<uint16_t>(local.tm_hour);
    t.minute = static_cast<uint16_t>(local.tm_min);
    t.second = static_cast<uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);  // a leap second
    uint64_t out = 0;
    return SystemTimeToFileTime(t, &out) ? out : 0;
}

int64_t FileTimeToUnixSeconds(uint64_t fileTime) {
    return static_cast<int64_t>(fileTime / kTicksPerSecond) - static_cast<int64_t>(kFileTimeUnixEpoch / kTicksPerSecond);
}

void GetLocalTime(SystemTime* out) {
    if (!out) return;
    struct timeval now {};
    gettimeofday(&now, nullptr);
    std::time_t seconds = now.tv_sec;
    std::tm parts {};
    localtime_r(&seconds, &parts);
    out->year = static_cast<uint16_t>(parts.tm_year + 1900);
    out->month = static_cast<uint16_t>(parts.tm_mon + 1);
    out->dayOfWeek = static_cast<uint16_t>(parts.tm_wday);
    out->day = static_cast<uint16_t>(parts.tm_mday);
    out->hour = static_cast<uint16_t>(parts.tm_hour);
    out->minute = static_cast<uint16_t>(parts.tm_min);
    out->second = static_cast<uint16_t>(parts.tm_sec > 59 ? 59 : parts.tm_sec);
    out->milliseconds = static_cast<uint16_t>(now.tv_usec / 1000);
}

}  // namespace platform
