#include "sqlite_recovery/framework/Logger.h"

#include <atomic>

#include "sqlite_recovery/framework/Lockers.h"
#include "platform/DynamicLibrary.h"

namespace {
struct LoggerHolder {
    std::atomic<ILog*> log{nullptr};
    CRITICAL_SECTION lock;
};

LoggerHolder& Holder() {
    static LoggerHolder holder;
    return holder;
}

using CreateObjectFn = ICommon* (*)();
}  // namespace

ILog* GetLog() {
    LoggerHolder& holder = Holder();
    if (ILog* log = holder.log.load(std::memory_order_acquire)) return log;
    autolocker<critical_locker> guard(&holder.lock);
    if (ILog* log = holder.log.load(std::memory_order_acquire)) return log;
    ICommon* object = nullptr;
    if (platform::LibraryHandle library = platform::LoadLibraryW(L"Log.dll")) {
        if (auto create = reinterpret_cast<CreateObjectFn>(platform::GetProcAddress(library, "CreateObject")))
            object = create();
        // The handle is never freed: the logger lives until the process ends.
    }
    ILog* log = dynamic_cast<ILog*>(object);
    if (object && !log) object->Release();
    holder.log.store(log, std::memory_order_release);
    return log;
}
