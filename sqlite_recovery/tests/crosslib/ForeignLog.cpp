// A stand-in "Log.dll" whose CreateObject hands out an object that is no ILog.
#include <atomic>

#include "sqlite_recovery/framework/ICommon.h"
#include "platform/Export.h"

namespace {
std::atomic<int> created{0};
std::atomic<int> released{0};

class CNotALog : public ICommon {
public:
    void Release() override {
        ++released;
        delete this;
    }
};
}  // namespace

RK_EXPORT ICommon* CreateObject() {
    ++created;
    return new CNotALog;
}
RK_EXPORT int ForeignLogCreated() { return created; }
RK_EXPORT int ForeignLogReleased() { return released; }
