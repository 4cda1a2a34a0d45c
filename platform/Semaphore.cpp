#include "platform/Semaphore.h"

#include <chrono>

namespace platform {

Semaphore::Semaphore(uint32_t initial, uint32_t maximum) : count_(initial), maximum_(maximum) {}

bool Semaphore::Release(uint32_t count) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (count == 0 || count > maximum_ - count_) return false;
        count_ += count;
    }
    available_.notify_all();
    return true;
}

void Semaphore::Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    available_.wait(lock, [this] { return count_ > 0; });
    --count_;
}

bool Semaphore::WaitFor(uint32_t milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!available_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return count_ > 0; }))
        return false;
    --count_;
    return true;
}

uint32_t Semaphore::Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
}

}  // namespace platform
