#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "msgcenter/CMsgCenter.h"

namespace {

class TestCentre : public CMsgCenter {
public:
    TestCentre() = default;
};

// Hands notified ids to the fetching threads, as the GUI's centre hands them to its main thread.
class QueueCentre : public INotifyCenter {
public:
    void Notify(unsigned id, const void*, unsigned) override {
        std::lock_guard<std::mutex> guard(mutex_);
        ids_.push_back(id);
        ++notified;
        ready_.notify_one();
    }
    void Unsubscribe(unsigned, CMsgReceiver*) override {}

    // False once the producers are done and nothing is left.
    bool Next(unsigned& id) {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [&] { return !ids_.empty() || done_; });
        if (ids_.empty()) return false;
        id = ids_.front();
        ids_.pop_front();
        return true;
    }
    void Finish() {
        std::lock_guard<std::mutex> guard(mutex_);
        done_ = true;
        ready_.notify_all();
    }

    std::atomic<unsigned> notified{0};

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<unsigned> ids_;
    bool done_ = false;
};

struct Record {
    unsigned id;
    unsigned sequence;
    unsigned check;
};

}  // namespace

TEST(MsgCenterStressTest, ConcurrentPushAndFetchKeepEveryPayloadWhole) {
    constexpr int kProducers = 4, kConsumers = 3, kPushes = 5000;
    TestCentre centre;
    QueueCentre gui;
    centre.Initialize(&gui);

    std::atomic<unsigned> fetched{0}, broken{0};
    std::vector<std::thread> consumers;
    for (int c = 0; c < kConsumers; ++c) {
        consumers.emplace_back([&] {
            unsigned id;
            while (gui.Next(id)) {
                Record record{};
                unsigned len = sizeof record;
                ResultCode rc = centre.GetMsg(static_cast<_RELIKORDA_MSG>(id), &record, len);
                if (Failed(rc)) {
                    // Fetched already by another consumer, or replaced by a newer push.
                    if (ErrorNumber(rc) != RK_E_NOT_FOUND) ++broken;
                    continue;
                }
                if (record.id != id || record.check != (record.id ^ record.sequence ^ 0x5A5A5A5Au)) ++broken;
                ++fetched;
            }
        });
    }
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < kPushes; ++i) {
                // A small set of ids per producer, so that replacements happen too.
                Record record{MakeMsgId(2, static_cast<uint32_t>(p + 1), static_cast<uint32_t>(i % 16)),
                              static_cast<unsigned>(i), 0};
                record.check = record.id ^ record.sequence ^ 0x5A5A5A5Au;
                ResultCode rc = centre.PushMsg(record.id, i % 5 == 0 ? nullptr : &record, sizeof record);
                if (rc != RK_OK) ++broken;
            }
        });
    }
    for (auto& t : producers) t.join();
    gui.Finish();
    for (auto& t : consumers) t.join();

    EXPECT_EQ(broken.load(), 0u);
    EXPECT_EQ(gui.notified.load(), static_cast<unsigned>(kProducers * kPushes));
    EXPECT_GT(fetched.load(), 0u);
    // Every id was notified after its last push, so its consumer fetched whatever was left.
    EXPECT_EQ(centre.PendingCount(), 0u);
}
