#include "outside/logic/ConsoleProgressDisplay.h"


std::string RemainingTimeText(double share, double elapsedSeconds) {
    long left = 0;
    if (!EstimateSecondsLeft(share, elapsedSeconds, &left)) return "";
    std::string text = "about ";
    if (left >= 3600) text += std::to_string(left / 3600) + " h " + std::to_string(left % 3600 / 60) + " min";
    else if (left >= 60) text += std::to_string(left / 60) + " min " + std::to_string(left % 60) + " s";
    else text += std::to_string(left) + " s";
    return text + " left";
}

void ConsoleProgressDisplay::Start(const std::string& phase) {
    phase_ = phase;
    started_ = Clock::now();
    shown_.clear();
    tenths_ = 0;
}

void ConsoleProgressDisplay::Update(const std::string& phase, double share) {
    if (phase != phase_) Start(phase);
    if (!(share >= 0)) share = 0;  // also NaN
    if (share > 1) share = 1;
    int percent = static_cast<int>(share * 100);
    double elapsed = std::chrono::duration<double>(Clock::now() - started_).count();
    std::string left = RemainingTimeText(share, elapsed);
    std::string line = phase + ": " + std::to_string(percent) + "%" + (left.empty() ? "" : ", " + left);
    if (inPlace_) {
        if (line == shown_) return;
        shown_ = line;
        std::fprintf(out_, "\r%s\033[K", line.c_str());
    } else {
        int tenths = percent / 10;
        if (tenths <= tenths_ || tenths >= 10) return;  // the end has its own line
        tenths_ = tenths;
        std::fprintf(out_, "%s: %d%%%s\n", phase.c_str(), tenths * 10, left.empty() ? "" : (", " + left).c_str());
    }
    std::fflush(out_);
}

void ConsoleProgressDisplay::Finish(const std::string& phase) { End(phase, "done"); }

void ConsoleProgressDisplay::Fail(const std::string& phase, const std::string& what) { End(phase, what); }

void ConsoleProgressDisplay::End(const std::string& phase, const std::string& outcome) {
    std::fprintf(out_, inPlace_ ? "\r%s: %s\033[K\n" : "%s: %s\n", phase.c_str(), outcome.c_str());
    std::fflush(out_);
    phase_.clear();
    shown_.clear();
    tenths_ = 0;
}
