#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sqlite_recovery/framework/ILog.h"
#include "sqlite_recovery/framework/Lockers.h"
#include "platform/Export.h"

namespace {

class CLogStandIn : public ILog {
public:
    void Release() override {}  // lives until the process ends

    void Log(const char* format, ...) override {
        if (!format) return;
        char buffer[4096];
        va_list args;
        va_start(args, format);
        int n = std::vsnprintf(buffer, sizeof buffer, format, args);
        va_end(args);
        if (n < 0) return;
        std::string line(buffer);
        if (line.empty() || line.back() != '\n') line += '\n';
        autolocker<critical_locker> guard(&lock_);
        const char* path = std::getenv("RELIKORDA_LOG");
        if (path && *path) {
            if (FILE* file = std::fopen(path, "a")) {
                std::fputs(line.c_str(), file);
                std::fclose(file);
                return;
            }
        }
        std::fputs(line.c_str(), stderr);
    }

private:
    CRITICAL_SECTION lock_;
};

}  // namespace

RK_EXPORT ICommon* CreateObject() {
    static CLogStandIn log;
    return &log;
}
