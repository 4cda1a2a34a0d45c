#include "gui/shell/CatchExeception.h"

#include <ucontext.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/DebugOutput.h"
#include "platform/FileSystem.h"
#include "platform/PlatformFile.h"
#include "platform/Process.h"

namespace {

constexpr const char* kEventName = "Kelvrin_Crashed";
constexpr size_t kLogBufferSize = 2048;
constexpr size_t kLogPrefixMax = 48;
constexpr size_t kLogTextMax = 2000;
constexpr size_t kModuleDirMax = 1000;
constexpr size_t kMapsChunk = 4096;

// A text built in place without allocating: usable in a signal handler.
class SafeText {
public:
    SafeText& Add(const char* text) {
        while (text && *text && length_ + 1 < sizeof buffer_) buffer_[length_++] = *text++;
        buffer_[length_] = '\0';
        return *this;
    }
    SafeText& Number(long long value, int width = 0) {
        if (value < 0) Add("-");
        return Digits(value < 0 ? 0ULL - static_cast<unsigned long long>(value) : value, 10, width);
    }
    SafeText& Hex(unsigned long long value) { return Digits(value, 16, 0); }
    const char* c_str() const { return buffer_; }
    size_t size() const { return length_; }

private:
    SafeText& Digits(unsigned long long rest, unsigned base, int width) {
        char digits[32];
        int n = 0;
        do {
            const unsigned digit = static_cast<unsigned>(rest % base);
            digits[n++] = static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10);
            rest /= base;
        } while (rest && n < 30);
        while (n < width && n < 30) digits[n++] = '0';
        char text[32];
        for (int i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
        text[n] = '\0';
        return Add(text);
    }

    char buffer_[512] = {};
    size_t length_ = 0;
};

// "HH:MM:SS " of the local time, from a UTC offset taken beforehand.
void AddClock(SafeText& text, long utcOffsetSeconds) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    long long seconds = (static_cast<long long>(now.tv_sec) + utcOffsetSeconds) % 86400;
    if (seconds < 0) seconds += 86400;
    text.Number(seconds / 3600, 2).Add(":").Number(seconds / 60 % 60, 2).Add(":").Number(seconds % 60, 2).Add(" ");
}

bool WriteAll(platform::PlatformFile& file, const char* data, size_t size) { return file.Write(data, size); }

}  // namespace

CatchExeception& CatchExeception::Instance() {
    // Never destroyed: a crash while the process exits still finds everything the handler needs.
    static CatchExeception* handler = new CatchExeception;
    return *handler;
}

CatchExeception::CatchExeception() { crashEvent_.Create(kEventName); }

void CatchExeception::Install() {
    if (installed_) return;
    const std::string folder = platform::ParentFolder(platform::GetExecutablePath());
    dumpPath_ = platform::JoinPath(folder, "KVRN");
    dumpPrefixLength_ = dumpPath_.size();
    // Room for any counter and the extension: the handler never grows the string.
    dumpPath_.reserve(dumpPrefixLength_ + 40);
    crashwickPath_ = platform::JoinPath(folder, "Crashwick");
    crashwickArgv_[0] = &crashwickPath_[0];
    logPath_ = std::string(GetModuleDir()) + "PR.log";
    time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    utcOffsetSeconds_ = local.tm_gmtoff;
    previous_ = platform::SetUnhandledCrashFilter(&CatchExeception::UnhandledExceptionFilter);
    installed_ = true;
}

void CatchExeception::UnhandledExceptionFilter(const platform::CrashInfo& crash) {
    CatchExeception& self = Instance();
    self.OnCrash2WriteDump(&crash, platform::CurrentThreadId(), platform::CurrentProcessId());
    self.crashEvent_.Set();
    if (self.installed_) platform::StartDetachedFromSignal(self.crashwickArgv_);
}

int CatchExeception::OnCrash2WriteDump(const platform::CrashInfo* crash, long threadId, long processId) {
    if (!installed_) return -1;
    SafeText number;
    number.Number(dumpCounter_++).Add(".dmp");
    dumpPath_.resize(dumpPrefixLength_);
    dumpPath_.append(number.c_str(), number.size());
    platform::PlatformFile file;
    if (!file.Open(dumpPath_, platform::PlatformFile::Mode::CreateAlways)) return -3;

    SafeText header;
    header.Add("Kelvrin crash dump\nprocess ").Number(processId).Add("\nthread ").Number(threadId).Add("\n");
    if (crash) {
        header.Add("signal ").Number(crash->signal).Add("\ncode ").Number(crash->code).Add("\naddress 0x");
        header.Hex(reinterpret_cast<uintptr_t>(crash->address)).Add("\n");
#if defined(__x86_64__)
        if (crash->context) {
            const auto* context = static_cast<const ucontext_t*>(crash->context);
            const greg_t* regs = context->uc_mcontext.gregs;
            header.Add("rip 0x").Hex(regs[REG_RIP]).Add("\nrsp 0x").Hex(regs[REG_RSP]);
            header.Add("\nrbp 0x").Hex(regs[REG_RBP]).Add("\n");
        }
#endif
    }
    header.Add("maps\n");
    bool written = WriteAll(file, header.c_str(), header.size());
    // The memory map, to place the addresses above in their modules.
    platform::PlatformFile maps;
    static const std::string kMaps = "/proc/self/maps";
    if (written && maps.Open(kMaps, platform::PlatformFile::Mode::Read)) {
        char chunk[kMapsChunk];
        for (long long n; written && (n = maps.Read(chunk, sizeof chunk)) > 0;)
            written = WriteAll(file, chunk, static_cast<size_t>(n));
    }
    if (!written) LogDumpFailure(file.LastError());
    return 0;
}

void CatchExeception::LogDumpFailure(int error) {
    SafeText line;
    AddClock(line, utcOffsetSeconds_);
    line.Add("CatchExeception::OnCrash2WriteDump got ").Number(error).Add("\r\n");
    platform::PlatformFile log;
    if (!log.Open(logPath_, platform::PlatformFile::Mode::OpenAlways)) return;
    const long long end = log.Size();
    if (end >= 0 && log.Seek(static_cast<uint64_t>(end))) log.Write(line.c_str(), line.size());
}

int CatchExeception::WriteLog(const char* format, ...) {
    static platform::PlatformFile log;
    int written = 0;
    try {
        char buffer[kLogBufferSize] = {};
        const time_t now = time(nullptr);
        tm local{};
        localtime_r(&now, &local);
        int prefix = std::snprintf(buffer, kLogPrefixMax, "%02d:%02d:%02d ", local.tm_hour, local.tm_min, local.tm_sec);
        if (prefix < 0) prefix = 0;
        va_list args;
        va_start(args, format);
        if (format) std::vsnprintf(buffer + prefix, kLogTextMax + 1, format, args);
        else buffer[prefix] = '\0';
        va_end(args);
        platform::OutputDebugStringA(buffer);
        if (!log.IsOpen()) log.Open(std::string(GetModuleDir()) + "PR.log", platform::PlatformFile::Mode::OpenAlways);
        if (log.IsOpen()) {
            const size_t length = std::strlen(buffer);
            const long long end = log.Size();
            if (end >= 0 && log.Seek(static_cast<uint64_t>(end)) && log.Write(buffer, length))
                written = static_cast<int>(length);
        }
    } catch (...) {
        // Logging never takes the program down.
    }
    return written;
}

const char* CatchExeception::GetModuleDir() {
    static const std::string folder = [] {
        std::string path = platform::ParentFolder(platform::GetExecutablePath()) + "/";
        if (path.size() > kModuleDirMax) path.resize(kModuleDirMax);
        return path;
    }();
    return folder.c_str();
}
