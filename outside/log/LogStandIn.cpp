#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sqlite_recovery/framework/ILog.h"
#include "sqlite_recovery/framework/Lockers.h"
#include "platform/Export.h"
#include "platform/FileSystem.h"
#include "platform/PlatformFile.h"

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
            // A link where the log goes is not followed: the log stays where it was asked to be.
            platform::PlatformFile file;
            if (file.Open(path, platform::PlatformFile::Mode::Append) && file.Write(line.data(), line.size())) {
                // What the user loses is told where the user looks, too.
                if (line.compare(0, sizeof kLogWarningPrefix - 1, kLogWarningPrefix) == 0) std::fputs(line.c_str(), stderr);
                return;
            }
            if (refused_ != path) {
                refused_ = path;
                std::fprintf(stderr, "log: cannot write %s: %s; logging to standard error\n", path,
                             platform::GetEntryKind(path) == platform::EntryKind::Link
                                 ? "it is a link, and links are not followed"
                                 : platform::ErrorText(file.LastError()).c_str());
            }
        }
        std::fputs(line.c_str(), stderr);
    }

private:
    CRITICAL_SECTION lock_;
    std::string refused_;  // the log file last refused, said once
};

}  // namespace

RK_EXPORT ICommon* CreateObject() {
    static CLogStandIn log;
    return &log;
}
