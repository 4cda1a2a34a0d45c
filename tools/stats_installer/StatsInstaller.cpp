#include "tools/stats_installer/StatsInstaller.h"

#include <climits>
#include <cwchar>
#include <cwctype>
#include <string>

#include "outside/stats/ISmartSpy.h"
#include "platform/DebugOutput.h"
#include "platform/DynamicLibrary.h"
#include "platform/Registry.h"

namespace {

constexpr const wchar_t* kLibraryName = L"Oxbery.dll";
constexpr uint32_t kConsentRoom = 32;
constexpr int kPageEvent = 3584;

template <class F>
void Guarded(F call) {
    try {
        call();
    } catch (...) {
        // The library's failures are not the installer's.
    }
}

// An export of a load of the library of its own, resolved on the first call and kept in *slot.
void* ResolveOnce(void** slot, bool* tried, const char* name) {
    if (!*tried) {
        *tried = true;
        *slot = platform::GetProcAddress(platform::LoadLibraryW(kLibraryName), name);
    }
    return *slot;
}

// A debug line of its own.
void DebugLine(const std::wstring& text) { platform::OutputDebugStringW((text + L"\n").c_str()); }

ISmartSpy* StatisticsObject() {
    static ISmartSpy* spy = nullptr;
    static bool tried = false;
    if (!spy && !tried) {
        tried = true;
        auto get = reinterpret_cast<GetSmartSpyFn>(
            platform::GetProcAddress(platform::LoadLibraryW(kLibraryName), "GetSmartSpy"));
        if (get) Guarded([&] { spy = get(); });
    }
    return spy;
}

// _wtoi: blanks, a sign and digits; values beyond an int are held at its ends.
int WideToInt(const wchar_t* text) {
    while (std::iswspace(static_cast<wint_t>(*text))) ++text;
    const bool negative = *text == L'-';
    if (*text == L'-' || *text == L'+') ++text;
    long long value = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        value = value * 10 + (*text - L'0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

// The event the argument asks for: false when it holds no backslash or is too long.
bool SendArgumentEvent(const wchar_t* argument, int joined) {
    wchar_t copy[kLongestArgument + 1] = {};
    if (std::wcslen(argument) > static_cast<size_t>(kLongestArgument)) return false;
    std::wcscpy(copy, argument);
    wchar_t* separator = std::wcschr(copy, L'\\');
    if (!separator) return false;
    *separator = L'\0';
    const wchar_t* text = separator + 1;
    if (WideToInt(copy) != 0) {
        CallSpySetTextEx(kTextEventNumbered, text);
    } else {
        CallInstallSpy(joined != 0);
        CallSpySetTextEx(kTextEventInstalled, text);
    }
    return true;
}

void FinishStatistics() {
    if (ISmartSpy* spy = StatisticsObject()) Guarded([&] { spy->SetTextW(kPageEvent, nullptr); });
    if (ISmartSpy* spy = StatisticsObject()) Guarded([&] { spy->SetPair(3, 5); });
    if (ISmartSpy* spy = StatisticsObject()) Guarded([&] { spy->Finish(); });
}

}  // namespace

int ReadImprovementFlag() {
    platform::RegKey key = nullptr;
    if (platform::RegOpenKeyW(platform::kHkeyLocalMachine, kConsentKey, &key) != platform::kRegSuccess) return 0;
    uint8_t value[kConsentRoom] = {};
    uint32_t size = kConsentRoom;
    const long status = platform::RegQueryValueExW(key, kConsentValue, nullptr, nullptr, value, &size);
    platform::RegCloseKey(key);
    return status == platform::kRegSuccess ? 1 : 0;
}

int CallInstallSpy(int joined) {
    static void* address = nullptr;
    static bool tried = false;
    auto install = reinterpret_cast<InstallSpyFn>(ResolveOnce(&address, &tried, "InstallSpy"));
    int result = 0;
    if (install) Guarded([&] { result = install(joined, 0); });
    return result;
}

int CallSpySetTextEx(int id, const wchar_t* text) {
    static void* address = nullptr;
    static bool tried = false;
    auto send = reinterpret_cast<SpySetTextExFn>(ResolveOnce(&address, &tried, "SpySetTextEx"));
    int result = 0;
    if (send) Guarded([&] { result = send(id, text); });
    return result;
}

int InstallerMain(int argc, wchar_t** argv) {
    const int joined = ReadImprovementFlag();
    wchar_t line[128];
    std::swprintf(line, sizeof line / sizeof line[0], L"install spy argc = %d, isjoined = %d", argc, joined);
    DebugLine(line);
    if (argc <= 1 || !argv || !argv[1]) return 0;
    DebugLine(argv[0] ? argv[0] : L"");
    DebugLine(argv[1]);
    SendArgumentEvent(argv[1], joined);
    FinishStatistics();
    return 0;
}
