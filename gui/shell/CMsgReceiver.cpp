#include "gui/shell/CMsgReceiver.h"

#include "gui/shell/CNotifyCentor.h"
#include "gui/shell/CUIPublic.h"
#include "logic_contract/ILogicalController.h"

CMsgReceiver::CMsgReceiver(unsigned id) {
    if (id != 0) Subscribe(id);
}

CMsgReceiver::~CMsgReceiver() { Unsubscribe(true, 0); }

void CMsgReceiver::Subscribe(unsigned id) {
    if (id == 0) return;
    CNotifyCentor::Instance()->Subscribe(id, &CMsgReceiver::OnNotify, this, false);
    heldIds_.push_back(id);
}

void CMsgReceiver::Unsubscribe(bool all, unsigned id) {
    // The held ids stay, so a later Unsubscribe of all is harmless.
    for (unsigned held : heldIds_) {
        if (all || held == id) CNotifyCentor::Instance()->Unsubscribe(held, this);
    }
}

void CMsgReceiver::OnNotify(unsigned id, CMsgReceiver* receiver) {
    if (receiver) receiver->Dispatch(id);
}

bool CMsgReceiver::Accepts(unsigned id) const {
    // One held id must accept every level: levels taken from different held ids would let a
    // receiver holding 0x04040000 and 0x01010005 take 0x01040005.
    for (unsigned held : heldIds_) {
        if (MsgHeldIdAccepts(held, id)) return true;
    }
    return false;
}

void CMsgReceiver::Dispatch(unsigned id) {
    lastId_ = id;
    if (id == 0) {
        OnMessage(0, 0);
    } else if (Accepts(id)) {
        OnMessage(static_cast<int>(MsgGroup(id)), static_cast<int>(MsgCode(id)));
    }
}

ResultCode CMsgReceiver::GetMsg(void* buf, unsigned* len) { return GetMsgById(lastId_, buf, len); }

ResultCode CMsgReceiver::GetMsgById(unsigned id, void* buf, unsigned* len) {
    ILogicalController* controller = CUIPublic::Instance()->GetLogicalController();
    if (!controller) return RK_FAIL(RK_E_FAIL);
    return controller->GetMsg(id, buf, len);
}

void CMsgReceiver::SetCurrentMsg(int id) {
    CUIPublic::Instance()->SetCurrentMsg(id < 0 ? lastId_ : static_cast<unsigned>(id));
}
