#include "filesystems/frame/ReadInPart.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>

#include "sqlite_recovery/framework/Logger.h"

namespace {
struct Said {
    std::mutex lock;
    std::set<std::string> lines;  // a volume that two searches read is said of once
};

Said& TheSaid() {
    static Said said;
    return said;
}
}  // namespace

void SayReadInPart(const char* format, ...) {
    char line[2048];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n < 0) return;
    Said& said = TheSaid();
    {
        std::lock_guard<std::mutex> guard(said.lock);
        if (!said.lines.insert(line).second) return;
    }
    if (ILog* log = GetLog()) log->Log("%s%s", kLogWarningPrefix, line);
}

void ForgetReadInPart() {
    Said& said = TheSaid();
    std::lock_guard<std::mutex> guard(said.lock);
    said.lines.clear();
}

uint64_t ReadInPartCount() {
    Said& said = TheSaid();
    std::lock_guard<std::mutex> guard(said.lock);
    return said.lines.size();
}
