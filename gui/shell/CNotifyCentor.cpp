#include "gui/shell/CNotifyCentor.h"

#include <algorithm>
#include <cstring>

#include "logic_contract/RelikordaMsg.h"

namespace {
constexpr guint kDeliveryIntervalMs = 80;

class MutexGuard {
public:
    explicit MutexGuard(GMutex* mutex) : mutex_(mutex) { g_mutex_lock(mutex_); }
    ~MutexGuard() { g_mutex_unlock(mutex_); }
    MutexGuard(const MutexGuard&) = delete;
    MutexGuard& operator=(const MutexGuard&) = delete;

private:
    GMutex* mutex_;
};
}  // namespace

CNotifyCentor* CNotifyCentor::Instance() {
    static CNotifyCentor centre;
    return &centre;
}

CNotifyCentor::CNotifyCentor() {
    g_mutex_init(&mutex_);
    timerId_ = g_timeout_add(kDeliveryIntervalMs, &CNotifyCentor::OnTimer, this);
}

CNotifyCentor::~CNotifyCentor() {
    if (timerId_ != 0) g_source_remove(timerId_);
    {
        MutexGuard guard(&mutex_);
        for (auto& stored : payloads_) g_free(stored.second.data);
        payloads_.clear();
    }
    g_mutex_clear(&mutex_);
}

void CNotifyCentor::Subscribe(unsigned id, Callback callback, CMsgReceiver* receiver, bool clearFirst) {
    MutexGuard guard(&mutex_);
    std::vector<Entry>& entries = subscriptions_[MsgCategory(id)];
    if (clearFirst) entries.clear();
    entries.push_back(Entry{id, callback, receiver});
}

void CNotifyCentor::Unsubscribe(unsigned id, CMsgReceiver* receiver) {
    const unsigned category = MsgCategory(id);
    MutexGuard guard(&mutex_);
    auto found = subscriptions_.find(category);
    if (!receiver) {
        // Deliveries already due stay; OnTimer skips receivers no longer subscribed.
        if (found != subscriptions_.end()) subscriptions_.erase(found);
        return;
    }
    bool stillSubscribed = false;
    if (found != subscriptions_.end()) {
        std::vector<Entry>& entries = found->second;
        auto mine = [&](const Entry& e) { return e.receiver == receiver; };
        auto entry = std::find_if(entries.begin(), entries.end(), mine);
        if (entry != entries.end()) entries.erase(entry);
        stillSubscribed = std::any_of(entries.begin(), entries.end(), mine);
        if (entries.empty()) subscriptions_.erase(found);
    }
    if (stillSubscribed) return;
    // Every delivery of the category still due to this receiver goes, also those of a batch being
    // delivered: a receiver made later at the same address must not get them.
    auto due = [&](const Entry& e) { return e.receiver == receiver && MsgCategory(e.id) == category; };
    pending_.erase(std::remove_if(pending_.begin(), pending_.end(), due), pending_.end());
    for (std::vector<Entry>* batch : inFlight_) {
        for (Entry& e : *batch) {
            if (due(e)) e.callback = nullptr;
        }
    }
}

void CNotifyCentor::Notify(unsigned id, const void* data, unsigned len) {
    guint8* copy = nullptr;
    if (data && len != 0) {
        copy = static_cast<guint8*>(g_malloc0(len));
        std::memcpy(copy, data, len);
    }
    MutexGuard guard(&mutex_);
    if (copy) {
        auto stored = payloads_.find(id);
        if (stored != payloads_.end()) {
            g_free(stored->second.data);
            stored->second = Payload{copy, len};
        } else {
            payloads_.emplace(id, Payload{copy, len});
        }
    }
    auto found = subscriptions_.find(MsgCategory(id));
    if (found == subscriptions_.end()) return;
    for (const Entry& entry : found->second) pending_.push_back(Entry{id, entry.callback, entry.receiver});
}

int CNotifyCentor::GetPayload(unsigned id, void** buf, unsigned* len) {
    if (!buf || !len) return 0;
    MutexGuard guard(&mutex_);
    auto stored = payloads_.find(id);
    if (stored == payloads_.end()) return 0;
    if (*buf) std::memcpy(*buf, stored->second.data, std::min(*len, stored->second.length));
    *len = stored->second.length;
    return 1;
}

bool CNotifyCentor::IsSubscribed(CMsgReceiver* receiver) const {
    // Only the main thread changes the map, and it is the one asking.
    for (const auto& category : subscriptions_) {
        for (const Entry& entry : category.second) {
            if (entry.receiver == receiver) return true;
        }
    }
    return false;
}

void CNotifyCentor::DeliverPending() {
    std::vector<Entry> batch;
    {
        MutexGuard guard(&mutex_);
        batch.swap(pending_);
    }
    // Callbacks run without the mutex: a receiver may subscribe, unsubscribe or post. One
    // destroyed by an earlier callback of the batch is no longer subscribed and is skipped.
    inFlight_.push_back(&batch);
    for (size_t i = 0; i < batch.size(); ++i) {
        const Entry entry = batch[i];
        if (entry.callback && IsSubscribed(entry.receiver)) entry.callback(entry.id, entry.receiver);
    }
    inFlight_.pop_back();
}

gboolean CNotifyCentor::OnTimer(gpointer self) {
    if (!self) return FALSE;
    static_cast<CNotifyCentor*>(self)->DeliverPending();
    return TRUE;
}
