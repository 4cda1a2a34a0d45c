#pragma once
#include <atomic>
#include <string>

#include "gui/pages/UpdateAnswer.h"
#include "platform/CriticalSection.h"

// How long a check may take and how much it takes in.
struct UpdateLimits {
    long connectSeconds = 5;
    long stallSeconds = 15;   // less than one byte a second for this long ends the transfer
    long totalSeconds = 60;
    long largestAnswer = 65536;
};

// The process-wide update check. A worker thread downloads the answer named by the language
// file's link "UpdateURL" into "update.ini" in the working folder, reads it and compares its
// version with the configured one; the GUI polls IsRunning and then reads the result. Made on
// first use and never destroyed, so that it outlives a check still running at exit.
class UpdateChecker {
public:
    enum : int { STATE_STARTED = 0, STATE_CHECKING = 1, STATE_DONE = 2 };
    enum : int { RESULT_NEWER = 0, RESULT_FAILED = 1, RESULT_LATEST = 2 };

    static UpdateChecker* Instance();

    // Starts a check on a worker thread unless one runs already (that one is shared then). The
    // link and the configured version ([CheckUpdate] "VersionForCheck") are read here, on the
    // GUI's main thread.
    void StartThread();
    bool IsRunning() const { return state_.load() != STATE_DONE; }
    int GetState() const { return state_.load(); }
    int GetResult() const { return result_.load(); }
    std::string GetUrl() const;
    std::string GetVersion() const;

    // One check on the calling thread: downloads link, compares with local (null: not configured)
    // and keeps the link and version; the result.
    int Check(const std::string& link, const char* local);
    // Fetches url into info->file and reads it; false on any failure, a status other than 200
    // included.
    bool Download(const std::string& url, UpdateInfo* info);

    void SetLimits(const UpdateLimits& limits) { limits_ = limits; }
    // The file the answer goes to, "update.ini" at first.
    void SetAnswerFile(const std::string& path) { answerFile_ = path; }

private:
    UpdateChecker() = default;
    static void* ThreadProc(void* data);
    void Parse(UpdateInfo* info);

    mutable CRITICAL_SECTION lock_;  // url_ and version_
    std::string url_;
    std::string version_;
    std::atomic<int> state_{STATE_DONE};
    std::atomic<int> result_{RESULT_FAILED};
    UpdateLimits limits_;
    std::string answerFile_ = "update.ini";
};
