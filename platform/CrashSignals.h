#pragma once

namespace platform {

// What the crash signal handler knows of a crash.
struct CrashInfo {
    int signal;             // SIGSEGV, SIGBUS, SIGFPE, SIGILL or SIGABRT
    int code;               // si_code
    const void* address;    // the faulting address
    const void* context;    // the thread's ucontext_t
};

// Runs on the crashing thread, on an alternate stack: only async-signal-safe calls.
using CrashFilter = void (*)(const CrashInfo& crash);

// Installs filter for the crash signals, each handled on an alternate stack of its own; returns
// the filter installed before (null the first time). After the filter the signal takes its
// default action, so the process ends as it would have.
CrashFilter SetUnhandledCrashFilter(CrashFilter filter);

}  // namespace platform
