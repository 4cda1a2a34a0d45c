#pragma once
#include <list>

#include "logic_contract/INotifyCenter.h"
#include "logic_contract/RelikordaMsg.h"
#include "platform/CriticalSection.h"
#include "platform/Export.h"
#include "sqlite_recovery/framework/ResultCode.h"

// One pending message: its id and a copy of its payload (null and 0 when it has none).
struct MsgCenterItem {
    unsigned id;
    unsigned char* data;
    unsigned length;
};

// The process-wide queue between the logic and the GUI: the logic pushes an id with an optional
// payload, the GUI's centre is told the id alone, and the GUI fetches the payload once by id.
// Exported whole from libHubvane.so.
class RK_INTERFACE CMsgCenter {
public:
    static CMsgCenter& Instance();

    ~CMsgCenter();
    // A copy owns copies of the pending items and has a lock of its own.
    CMsgCenter(const CMsgCenter& other);
    CMsgCenter& operator=(const CMsgCenter& other);

    ResultCode Initialize(INotifyCenter* notifyCentre);
    // Keeps a copy of the payload (replacing a pending one of the same id) and notifies id.
    ResultCode PushMsg(unsigned id, void* data, unsigned len);
    // Copies the oldest pending payload of id into buf and removes it. A buffer smaller than the
    // payload gets the payload's length in len and error 8; the item stays pending.
    ResultCode GetMsg(_RELIKORDA_MSG id, void* buf, unsigned& len);
    // Drops the oldest pending item of id.
    void RemovePreMsg(_RELIKORDA_MSG id);

    // The number of pending items (for tests and diagnostics).
    unsigned PendingCount();

protected:
    CMsgCenter();

private:
    void CopyPendingFrom(const CMsgCenter& other);
    void FreePending();

    std::list<MsgCenterItem*> pending_;
    INotifyCenter* notifyCentre_ = nullptr;
    mutable CRITICAL_SECTION lock_;
};
