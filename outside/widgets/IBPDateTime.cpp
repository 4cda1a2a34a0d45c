#include "outside/widgets/IBPDateTime.h"

#include <cstdio>

std::string IBPDateTime::TransSystemDateToString(const BPSystemTime& time) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", time.year, time.month, time.day);
    return text;
}

std::string IBPDateTime::TransSystemTimeToString(const BPSystemTime& time, int mode) {
    char text[32];
    if (mode == 1) std::snprintf(text, sizeof text, "%02d:%02d:%02d", time.hour, time.minute, time.second);
    else std::snprintf(text, sizeof text, "%02d:%02d", time.hour, time.minute);
    return text;
}
