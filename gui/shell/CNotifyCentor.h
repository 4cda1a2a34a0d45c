#pragma once
#include <glib.h>

#include <map>
#include <vector>

#include "logic_contract/INotifyCenter.h"

class CMsgReceiver;

// The GUI's notification centre. Notify may come from any thread: it only records, under the
// mutex, which receivers are to be told of which id (and keeps a copy of a payload). An 80 ms
// timeout on the GTK main thread then delivers the recorded ids, so receivers only ever run there.
class CNotifyCentor : public INotifyCenter {
public:
    using Callback = void (*)(unsigned id, CMsgReceiver* receiver);

    struct Entry {
        unsigned id;  // subscribed id in the map, posted id when pending
        Callback callback;
        CMsgReceiver* receiver;
    };

    // Made on first use; its timeout is attached to the default main context.
    static CNotifyCentor* Instance();

    ~CNotifyCentor() override;
    CNotifyCentor(const CNotifyCentor&) = delete;
    CNotifyCentor& operator=(const CNotifyCentor&) = delete;

    void Subscribe(unsigned id, Callback callback, CMsgReceiver* receiver, bool clearFirst);
    // Removes the receiver's first entry in id's category (every entry when receiver is null); once
    // the receiver stands nowhere in the category, every delivery still due to it there goes too.
    void Unsubscribe(unsigned id, CMsgReceiver* receiver) override;
    // Stores the payload first, then queues the deliveries, under one lock: a delivery never finds
    // an older payload.
    void Notify(unsigned id, const void* data, unsigned len) override;
    // Copies at most *len bytes of id's payload to *buf (when *buf is non-null) and sets *len to
    // the stored length; 0 when id has no payload.
    int GetPayload(unsigned id, void** buf, unsigned* len);
    bool IsSubscribed(CMsgReceiver* receiver) const;

    // Delivers what is pending now; the timeout calls it every 80 ms.
    void DeliverPending();
    static gboolean OnTimer(gpointer self);

private:
    CNotifyCentor();

    struct Payload {
        guint8* data;
        unsigned length;
    };

    guint timerId_ = 0;
    std::map<unsigned, std::vector<Entry>> subscriptions_;
    std::vector<Entry> pending_;
    // The batches being delivered, main thread only; more than one when a receiver runs a nested
    // main loop (a modal dialog).
    std::vector<std::vector<Entry>*> inFlight_;
    mutable GMutex mutex_;
    std::map<unsigned, Payload> payloads_;
};
