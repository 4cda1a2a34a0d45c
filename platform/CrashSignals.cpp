#include "platform/CrashSignals.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace platform {

namespace {

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
// Room for the filter and for the sanitizers' own needs on the alternate stack.
constexpr size_t kAltStackSize = 256 * 1024;

std::atomic<CrashFilter> g_filter{nullptr};
alignas(16) char g_altStack[kAltStackSize];
std::atomic<bool> g_inFilter{false};

void OnCrashSignal(int sig, siginfo_t* info, void* context) {
    CrashFilter filter = g_filter.load();
    // A crash inside the filter ends the process without running it again.
    if (filter && !g_inFilter.exchange(true)) {
        CrashInfo crash{sig, info ? info->si_code : 0, info ? info->si_addr : nullptr, context};
        filter(crash);
    }
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(sig, &fallback, nullptr);
    // A fault re-raises itself when the handler returns; a raised signal does not.
    raise(sig);
}

void InstallHandlers() {
    stack_t stack{};
    stack.ss_sp = g_altStack;
    stack.ss_size = kAltStackSize;
    stack.ss_flags = 0;
    sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_sigaction = &OnCrashSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int sig : kCrashSignals) sigaction(sig, &action, nullptr);
}

}  // namespace

CrashFilter SetUnhandledCrashFilter(CrashFilter filter) {
    static const bool installed = (InstallHandlers(), true);
    (void)installed;
    return g_filter.exchange(filter);
}

}  // namespace platform
