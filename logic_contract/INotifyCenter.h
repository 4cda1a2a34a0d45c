#pragma once
#include "platform/Export.h"

class CMsgReceiver;

// Where messages for the GUI are posted. Notify may be called on any thread; delivery to the
// receivers happens later, on the GUI's main thread.
class RK_INTERFACE INotifyCenter {
public:
    virtual ~INotifyCenter();
    // Posts id; a non-null data with a non-zero len is copied and kept under id.
    virtual void Notify(unsigned id, const void* data, unsigned len) = 0;
    // Removes the receiver's subscription for id's category (GUI main thread only).
    virtual void Unsubscribe(unsigned id, CMsgReceiver* receiver) = 0;
};
