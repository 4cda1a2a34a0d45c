#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "platform/CriticalSection.h"

namespace boost {
class thread;
}

// The process's record of the library's own threads, so that none outlives the library: its
// destruction (at exit or unload) joins every thread still recorded.
class ThreadRegistry {
public:
    using Handle = uint64_t;

    ThreadRegistry();
    ~ThreadRegistry();
    ThreadRegistry(const ThreadRegistry&) = delete;
    ThreadRegistry& operator=(const ThreadRegistry&) = delete;

    // Starts body on a new thread; 0 (and nothing started) once the registry is shut down or when
    // the thread cannot be made.
    Handle Start(std::function<uint64_t()> body);
    // Waits for that thread to end and forgets it; false for an unknown handle.
    bool Join(Handle handle);
    // Shuts the registry and joins every recorded thread, giving each up to 15 seconds; one that
    // does not end by then is left to run detached and logged.
    void WaitAll();
    bool IsShutDown();
    size_t Count();

private:
    CRITICAL_SECTION lock_;
    bool shutDown_ = false;
    Handle next_ = 1;
    std::map<Handle, std::unique_ptr<boost::thread>> threads_;
};

ThreadRegistry& GetThreadRegistry();
