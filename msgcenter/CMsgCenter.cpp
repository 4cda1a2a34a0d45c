#include "msgcenter/CMsgCenter.h"

#include <cstring>
#include <new>

#include "sqlite_recovery/framework/Lockers.h"

namespace {

MsgCenterItem* NewItem(unsigned id, const void* data, unsigned len) {
    auto* item = new (std::nothrow) MsgCenterItem{id, nullptr, 0};
    if (!item) return nullptr;
    if (len != 0) {
        item->data = new (std::nothrow) unsigned char[len];
        if (!item->data) {
            delete item;
            return nullptr;
        }
        std::memcpy(item->data, data, len);
        item->length = len;
    }
    return item;
}

void DeleteItem(MsgCenterItem* item) {
    if (!item) return;
    delete[] item->data;
    delete item;
}

}  // namespace

CMsgCenter& CMsgCenter::Instance() {
    static CMsgCenter centre;
    return centre;
}

CMsgCenter::CMsgCenter() = default;

CMsgCenter::~CMsgCenter() { FreePending(); }

CMsgCenter::CMsgCenter(const CMsgCenter& other) { CopyPendingFrom(other); }

CMsgCenter& CMsgCenter::operator=(const CMsgCenter& other) {
    if (this == &other) return *this;
    autolocker<critical_locker> guard(&lock_);
    FreePending();
    CopyPendingFrom(other);
    return *this;
}

void CMsgCenter::CopyPendingFrom(const CMsgCenter& other) {
    autolocker<critical_locker> guard(&other.lock_);
    notifyCentre_ = other.notifyCentre_;
    for (const MsgCenterItem* item : other.pending_) {
        // Shared items would be freed twice; an item that cannot be copied is left out.
        if (MsgCenterItem* copy = NewItem(item->id, item->data, item->length)) pending_.push_back(copy);
    }
}

void CMsgCenter::FreePending() {
    for (MsgCenterItem* item : pending_) DeleteItem(item);
    pending_.clear();
}

ResultCode CMsgCenter::Initialize(INotifyCenter* notifyCentre) {
    autolocker<critical_locker> guard(&lock_);
    notifyCentre_ = notifyCentre;
    return RK_OK;
}

ResultCode CMsgCenter::PushMsg(unsigned id, void* data, unsigned len) {
    autolocker<critical_locker> guard(&lock_);
    if (!notifyCentre_) return RK_FAIL(RK_E_NOT_INITIALIZED);
    if (data && len != 0) {
        // A payload that cannot be kept is a failure, never an empty payload reported as success.
        MsgCenterItem* item = NewItem(id, data, len);
        if (!item) return RK_FAIL(RK_E_OUT_OF_MEMORY);
        RemovePreMsg(static_cast<_RELIKORDA_MSG>(id));
        pending_.push_back(item);
    }
    notifyCentre_->Notify(id, nullptr, 0);
    return RK_OK;
}

ResultCode CMsgCenter::GetMsg(_RELIKORDA_MSG id, void* buf, unsigned& len) {
    autolocker<critical_locker> guard(&lock_);
    if (!buf || len == 0) return RK_FAIL(RK_E_INVALID_ARGUMENT);
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
        MsgCenterItem* item = *it;
        if (item->id != static_cast<unsigned>(id)) continue;
        if (len < item->length) {
            len = item->length;
            return RK_FAIL(RK_E_BUFFER_TOO_SMALL);
        }
        if (item->length) std::memcpy(buf, item->data, item->length);
        pending_.erase(it);
        DeleteItem(item);
        return RK_OK;
    }
    return RK_FAIL(RK_E_NOT_FOUND);
}

void CMsgCenter::RemovePreMsg(_RELIKORDA_MSG id) {
    autolocker<critical_locker> guard(&lock_);
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
        if ((*it)->id == static_cast<unsigned>(id)) {
            DeleteItem(*it);
            pending_.erase(it);
            return;
        }
    }
}

unsigned CMsgCenter::PendingCount() {
    autolocker<critical_locker> guard(&lock_);
    return static_cast<unsigned>(pending_.size());
}
