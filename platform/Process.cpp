#include "platform/Process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

extern char** environ;

namespace platform {

bool StartProcess(const std::string& path, const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    // Nobody waits for the child: the system takes it over once this process ends.
    pid_t child = 0;
    return posix_spawn(&child, path.c_str(), nullptr, nullptr, argv.data(), environ) == 0;
}

bool StartDetachedFromSignal(char* const argv[]) {
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        setsid();
        // The crash signals' handlers are not the new program's business.
        for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) signal(sig, SIG_DFL);
        execve(argv[0], argv, environ);
        _exit(127);
    }
    return true;
}

long CurrentThreadId() { return static_cast<long>(syscall(SYS_gettid)); }

long CurrentProcessId() { return static_cast<long>(getpid()); }

bool ProcessExists(long pid) {
    if (pid <= 0) return false;
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace platform
