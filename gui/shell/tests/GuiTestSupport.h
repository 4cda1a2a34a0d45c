#pragma once
#include <functional>
#include <string>
#include <vector>

// A fresh folder under $TMPDIR (or /tmp).
std::string MakeTempFolder();
void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);

// Runs the default main context until done() holds; false when the deadline passed first.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 10000);

// The statistics library's record of calls, in a file of its own for the test.
class StatsLog {
public:
    StatsLog();
    ~StatsLog();
    std::vector<std::string> Lines() const;
    void Clear() const;

private:
    std::string path_;
};
