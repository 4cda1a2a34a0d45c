// "Oxbery.dll": the usage-statistics library. This stand-in sends nothing anywhere: it writes one
// line per call to the file named by RELIKORDA_STATS_LOG (nothing when unset).
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "outside/stats/ISmartSpy.h"
#include "platform/CriticalSection.h"
#include "platform/Export.h"
#include "platform/StringConversion.h"

namespace {

CRITICAL_SECTION& LogLock() {
    static CRITICAL_SECTION lock;
    return lock;
}

void WriteLine(const std::string& line) {
    const char* path = std::getenv("RELIKORDA_STATS_LOG");
    if (!path || !*path) return;
    LogLock().Enter();
    if (FILE* file = std::fopen(path, "a")) {
        std::fputs(line.c_str(), file);
        std::fputc('\n', file);
        std::fclose(file);
    }
    LogLock().Leave();
}

// Texts stay on their line.
std::string OneLine(const char* text) {
    if (!text) return "(null)";
    std::string line;
    for (const char* p = text; *p; ++p) line += (*p == '\n' || *p == '\r') ? ' ' : *p;
    return line;
}

std::string OneLine(const wchar_t* text) { return text ? OneLine(platform::WideToUtf8(text).c_str()) : "(null)"; }

class CSmartSpyStandIn : public ISmartSpy {
public:
    void Finish() override { WriteLine("Finish"); }
    void Reserved1() override { WriteLine("Slot1"); }
    void SetPair(int first, int second) override {
        WriteLine("Pair " + std::to_string(first) + " " + std::to_string(second));
    }
    void Reserved3() override { WriteLine("Slot3"); }
    void SetValue(int id, int64_t value) override {
        WriteLine("Value " + std::to_string(id) + " " + std::to_string(value));
    }
    void SetTextW(int id, const wchar_t* text) override {
        WriteLine("TextW " + std::to_string(id) + " " + OneLine(text));
    }
    void SetText(int id, const char* text) override { WriteLine("Text " + std::to_string(id) + " " + OneLine(text)); }
    void Reserved7() override { WriteLine("Slot7"); }
    void AddEvent(int event) override { WriteLine("Event " + std::to_string(event)); }
};

}  // namespace

RK_EXPORT ISmartSpy* GetSmartSpy() {
    static CSmartSpyStandIn spy;
    WriteLine("GetSmartSpy");
    return &spy;
}

RK_EXPORT int SpySetTextExA(int id, const char* text) {
    WriteLine("SpySetTextExA " + std::to_string(id) + " " + OneLine(text));
    return 1;
}

RK_EXPORT int InstallSpy(int joined, int reserved) {
    WriteLine("InstallSpy " + std::to_string(joined) + " " + std::to_string(reserved));
    return 1;
}

RK_EXPORT int SpySetTextEx(int id, const wchar_t* text) {
    WriteLine("SpySetTextEx " + std::to_string(id) + " " + OneLine(text));
    return 1;
}
