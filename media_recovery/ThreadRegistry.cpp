#include "media_recovery/ThreadRegistry.h"

#include <boost/chrono.hpp>
#include <boost/thread/thread.hpp>
#include <vector>

#include "sqlite_recovery/framework/Logger.h"
#include "sqlite_recovery/framework/Lockers.h"

ThreadRegistry::ThreadRegistry() {}

ThreadRegistry::~ThreadRegistry() { WaitAll(); }

ThreadRegistry::Handle ThreadRegistry::Start(std::function<uint64_t()> body) {
    autolocker<critical_locker> guard(&lock_);
    if (shutDown_ || !body) return 0;
    try {
        auto thread = std::make_unique<boost::thread>([body] { body(); });
        Handle handle = next_++;
        threads_.emplace(handle, std::move(thread));
        return handle;
    } catch (...) {
        return 0;
    }
}

bool ThreadRegistry::Join(Handle handle) {
    std::unique_ptr<boost::thread> thread;
    {
        autolocker<critical_locker> guard(&lock_);
        auto found = threads_.find(handle);
        if (found == threads_.end()) return false;
        thread = std::move(found->second);
        threads_.erase(found);
    }
    if (thread->joinable() && thread->get_id() != boost::this_thread::get_id()) thread->join();
    return true;
}

void ThreadRegistry::WaitAll() {
    std::map<Handle, std::unique_ptr<boost::thread>> threads;
    {
        autolocker<critical_locker> guard(&lock_);
        if (shutDown_) return;
        shutDown_ = true;
        threads.swap(threads_);
    }
    for (auto& entry : threads) {
        boost::thread& thread = *entry.second;
        if (!thread.joinable()) continue;
        if (!thread.try_join_for(boost::chrono::seconds(15))) {
            RK_LOG("[Dredgel] A reader thread did not end within 15 seconds; left detached.");
            thread.detach();
        }
    }
}

bool ThreadRegistry::IsShutDown() {
    autolocker<critical_locker> guard(&lock_);
    return shutDown_;
}

size_t ThreadRegistry::Count() {
    autolocker<critical_locker> guard(&lock_);
    return threads_.size();
}

ThreadRegistry& GetThreadRegistry() {
    static ThreadRegistry registry;
    return registry;
}
