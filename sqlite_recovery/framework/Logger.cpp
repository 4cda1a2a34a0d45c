#include "sqlite_recovery/framework/Logger.h"

#include "sqlite_recovery/framework/Lockers.h"
#include "platform/DynamicLibrary.h"

namespace {
struct LoggerHolder {
    ILog* log = nullptr;  // guarded by lock
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
    autolocker<critical_locker> guard(&holder.lock);
    if (holder.log) return holder.log;
    ICommon* object = nullptr;
    if (platform::LibraryHandle library = platform::LoadLibraryW(L"Log.dll")) {
        if (auto create = reinterpret_cast<CreateObjectFn>(platform::GetProcAddress(library, "CreateObject")))
            object = create();
        // The handle is never freed: the logger lives until the process ends.
    }
    ILog* log = dynamic_cast<ILog*>(object);
    if (object && !log) object->Release();
    holder.log = log;
    return log;
}
