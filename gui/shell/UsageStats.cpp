#include "gui/shell/UsageStats.h"

#include "outside/stats/ISmartSpy.h"

namespace {
constexpr const wchar_t* kLibraryName = L"Oxbery.dll";

template <class F>
void Guarded(F call) {
    try {
        call();
    } catch (...) {
        // The library's failures are not ours to report.
    }
}
}  // namespace

platform::LibraryHandle LoadUsageStatsLibrary() {
    static platform::LibraryHandle library = platform::LoadLibraryW(kLibraryName);
    return library;
}

int SendTextEvent(int id, const char* text) {
    static platform::LibraryHandle library = nullptr;
    static SpySetTextExAFn send = nullptr;
    if (!library) library = platform::LoadLibraryW(kLibraryName);
    if (library && !send) send = reinterpret_cast<SpySetTextExAFn>(platform::GetProcAddress(library, "SpySetTextExA"));
    if (!send) return 0;
    int result = 0;
    Guarded([&] { result = send(id, text); });
    return result;
}

ISmartSpy* CUsageStats::GetSpy() {
    if (fetched_) return spy_;
    fetched_ = true;
    platform::LibraryHandle library = loader_ ? loader_() : nullptr;
    auto get = reinterpret_cast<GetSmartSpyFn>(platform::GetProcAddress(library, "GetSmartSpy"));
    if (get) Guarded([&] { spy_ = get(); });
    return spy_;
}

void CUsageStats::SendEvent(int event) {
    if (ISmartSpy* spy = GetSpy()) Guarded([&] { spy->AddEvent(event); });
}

void CUsageStats::SendValue(int id, int64_t value) {
    if (ISmartSpy* spy = GetSpy()) Guarded([&] { spy->SetValue(id, value); });
}

void CUsageStats::SendPageEnd(const char* table2Url) {
    ISmartSpy* spy = GetSpy();
    if (!spy) return;
    Guarded([&] { spy->SetText(USAGE_TEXT_PAGE, table2Url ? table2Url : ""); });
    Guarded([&] { spy->SetPair(3, 5); });
}

void CUsageStats::SendShutdown(const char* table2Url) {
    SendPageEnd(table2Url);
    if (ISmartSpy* spy = GetSpy()) Guarded([&] { spy->Finish(); });
    // After its last call the object may be gone: nothing uses it again.
    spy_ = nullptr;
}
