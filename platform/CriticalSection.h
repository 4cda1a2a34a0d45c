#pragma once
#include <mutex>

namespace platform {

// A critical section: the owning thread may enter it again without blocking itself.
class CriticalSection {
public:
    CriticalSection() = default;
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter() { mutex_.lock(); }
    bool TryEnter() { return mutex_.try_lock(); }
    void Leave() { mutex_.unlock(); }

private:
    std::recursive_mutex mutex_;
};

}  // namespace platform

using CRITICAL_SECTION = platform::CriticalSection;
