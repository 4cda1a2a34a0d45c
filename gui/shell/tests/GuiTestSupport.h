#pragma once
#include <functional>
#include <string>
#include <vector>

// A fresh folder under $TMPDIR (or /tmp).
std::string MakeTempFolder();
void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);

// Removes a named event of the session whose folder is given: a program's events outlive it.
void RemoveSessionEvent(const std::string& session, const std::string& name);

// Runs the default main context until done() holds; false when the deadline passed first. The
// default deadline leaves room for a loaded machine and a sanitizer build.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 30000);

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
