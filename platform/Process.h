#pragma once
#include <string>
#include <vector>

namespace platform {

// Starts the program at path with the arguments (argv[1] onwards) in the current folder and
// environment, without waiting for it. False when it could not be started.
bool StartProcess(const std::string& path, const std::vector<std::string>& arguments);

// For a signal handler: starts argv[0] with argv in a session of its own through fork and execve
// only (both async-signal-safe). argv ends with a null; every string is made beforehand. False
// when fork failed; a program that cannot be run ends its child at once.
bool StartDetachedFromSignal(char* const argv[]);

// Ids of the calling thread and process; async-signal-safe.
long CurrentThreadId();
long CurrentProcessId();

// Whether a process with this id is running (one of another user counts too).
bool ProcessExists(long pid);

}  // namespace platform
