#pragma once
#include <chrono>
#include <cstdio>
#include <string>

#include "outside/logic/JobSupport.h"

// Progress as the console shows it. On a terminal one line is redrawn in place: the phase, its
// percentage and, once that can be judged, the time left. Elsewhere (a log, a pipe) a line is
// written each time the phase passes another tenth, so that a log shows the run moving without
// a line per step. The end of a phase is always a line of its own.
class ConsoleProgressDisplay : public IJobProgress {
public:
    ConsoleProgressDisplay(std::FILE* out, bool inPlace) : out_(out), inPlace_(inPlace) {}
    void Update(const std::string& phase, double share) override;
    void Finish(const std::string& phase) override;
    void Fail(const std::string& phase, const std::string& what) override;

private:
    using Clock = std::chrono::steady_clock;
    void Start(const std::string& phase);
    void End(const std::string& phase, const std::string& outcome);

    std::FILE* out_;
    bool inPlace_;
    std::string phase_;
    Clock::time_point started_;
    std::string shown_;  // the line on the terminal now
    int tenths_ = 0;     // tenths already written as lines
};

// "about 1 min 5 s left", "about 40 s left"; empty when the time left cannot be judged yet
// (too little done or too little time gone).
std::string RemainingTimeText(double share, double elapsedSeconds);
