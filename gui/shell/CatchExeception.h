#pragma once
#include <string>

#include "platform/CrashSignals.h"
#include "platform/NamedObjects.h"

// The crash handler: when the program crashes it writes a dump "KVRN<n>.dmp" beside the program,
// signals the event "Kelvrin_Crashed", starts the crash-report program Crashwick from the
// program's folder and lets the process end. Everything the crashing thread needs is made by
// Install, so that the handler itself only opens, writes, forks, executes and posts.
class CatchExeception {
public:
    static CatchExeception& Instance();
    CatchExeception(const CatchExeception&) = delete;
    CatchExeception& operator=(const CatchExeception&) = delete;

    // Installs the handler once; later calls change nothing.
    void Install();
    bool IsInstalled() const { return installed_; }

    static void UnhandledExceptionFilter(const platform::CrashInfo& crash);
    // Writes the next dump (KVRN0.dmp first): 0 when written, -1 before Install, -3 when the file
    // cannot be made. crash may be null (a dump asked for without a crash). Async-signal-safe.
    int OnCrash2WriteDump(const platform::CrashInfo* crash, long threadId, long processId);

    // "HH:MM:SS " and the formatted text (cut at 2000 bytes) to the debug output and to "PR.log"
    // beside the program; the number of bytes written to the file.
    static int WriteLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
    // The program's folder with a trailing '/'.
    static const char* GetModuleDir();

private:
    CatchExeception();
    // The log line of a failed dump, made without formatting functions.
    void LogDumpFailure(int error);

    platform::CrashFilter previous_ = nullptr;
    platform::NamedEvent crashEvent_;
    bool installed_ = false;
    int dumpCounter_ = 0;
    // Made by Install.
    std::string dumpPath_;  // "<folder>/KVRN", room reserved for the number and ".dmp"
    size_t dumpPrefixLength_ = 0;
    std::string crashwickPath_;
    char* crashwickArgv_[2] = {nullptr, nullptr};
    std::string logPath_;
    long utcOffsetSeconds_ = 0;
};
