// Crashwick, the crash-report program: started by Kelvrin's crash handler from Kelvrin's folder.
// This stand-in reports nothing anywhere: it records that it was started and the newest dump
// ("KVRN<n>.dmp") beside it, as one line appended to the file named by RELIKORDA_CRASH_LOG, or to
// "Crashwick.log" beside it when unset.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace {

bool IsDumpName(const std::string& name) {
    if (name.size() < 9 || name.compare(0, 4, "KVRN") != 0 || name.compare(name.size() - 4, 4, ".dmp") != 0)
        return false;
    for (size_t i = 4; i + 4 < name.size(); ++i)
        if (name[i] < '0' || name[i] > '9') return false;
    return true;
}

// The most recently written dump in folder; empty when there is none.
std::string NewestDump(const std::string& folder) {
    std::vector<std::string> names;
    if (!platform::ListDirectory(folder, names)) return "";
    std::string newest;
    timespec newestTime{};
    for (const std::string& name : names) {
        struct stat info {};
        if (!IsDumpName(name) || stat(platform::JoinPath(folder, name).c_str(), &info) != 0) continue;
        const timespec& written = info.st_mtim;
        if (newest.empty() || written.tv_sec > newestTime.tv_sec ||
            (written.tv_sec == newestTime.tv_sec && written.tv_nsec > newestTime.tv_nsec)) {
            newest = name;
            newestTime = written;
        }
    }
    return newest;
}

}  // namespace

int main() {
    const std::string folder = platform::ParentFolder(platform::GetExecutablePath());
    const char* logPath = std::getenv("RELIKORDA_CRASH_LOG");
    const std::string log = logPath && *logPath ? logPath : platform::JoinPath(folder, "Crashwick.log");
    const std::string dump = NewestDump(folder);
    FILE* out = std::fopen(log.c_str(), "a");
    if (!out) return 1;
    std::fprintf(out, "Crashwick started; dump: %s\n",
                 dump.empty() ? "none" : platform::JoinPath(folder, dump).c_str());
    std::fclose(out);
    return 0;
}
