#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

// A counting semaphore with a maximum count: a release that would pass the maximum is refused.
class Semaphore {
public:
    Semaphore(uint32_t initial, uint32_t maximum);
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    bool Release(uint32_t count = 1);
    void Wait();
    // False when the time ran out first.
    bool WaitFor(uint32_t milliseconds);
    uint32_t Count() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable available_;
    uint32_t count_;
    uint32_t maximum_;
};

}  // namespace platform
