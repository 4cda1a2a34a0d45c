#pragma once
#include <vector>

#include "logic_contract/RelikordaMsg.h"
#include "sqlite_recovery/framework/ResultCode.h"

// Base of every window or page that receives messages. A receiving class derives from its widget
// class first and from this second. All of it runs on the GUI's main thread.
class CMsgReceiver {
public:
    // A non-zero id subscribes at once.
    explicit CMsgReceiver(unsigned id = 0);
    // Removes every subscription before the widget part goes.
    virtual ~CMsgReceiver();
    CMsgReceiver(const CMsgReceiver&) = delete;
    CMsgReceiver& operator=(const CMsgReceiver&) = delete;

    // Called for each delivered message that one of the held ids accepts.
    virtual void OnMessage(int group, int code) = 0;

    // Subscribes to a further id (0 does nothing).
    void Subscribe(unsigned id);
    // Removes the subscriptions of every held id (all) or of the held ids equal to id.
    void Unsubscribe(bool all, unsigned id);

    // The callback the centre calls; forwards to Dispatch.
    static void OnNotify(unsigned id, CMsgReceiver* receiver);
    void Dispatch(unsigned id);
    // True when one held id accepts id at all three levels.
    bool Accepts(unsigned id) const;

    // The payload of the last delivered id (or of the given one) through the logic controller;
    // error 1 without a controller, the buffer untouched.
    ResultCode GetMsg(void* buf, unsigned* len);
    ResultCode GetMsgById(unsigned id, void* buf, unsigned* len);
    // The application's current message id := id, or the last delivered id when id is negative.
    void SetCurrentMsg(int id);

    unsigned LastId() const { return lastId_; }
    const std::vector<unsigned>& HeldIds() const { return heldIds_; }

private:
    unsigned lastId_ = 0;
    std::vector<unsigned> heldIds_;
};
