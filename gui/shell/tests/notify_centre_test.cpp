#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <new>
#include <thread>
#include <vector>

#include "gui/shell/CMsgReceiver.h"
#include "gui/shell/CNotifyCentor.h"
#include "gui/shell/CUIPublic.h"
#include "logic_contract/ILogicalController.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "gui/shell/tests/QuietController.h"

namespace {

struct Got {
    int group;
    int code;
    unsigned id;
};

class Recorder : public CMsgReceiver {
public:
    explicit Recorder(unsigned id = 0) : CMsgReceiver(id) {}
    void OnMessage(int group, int code) override {
        got.push_back(Got{group, code, LastId()});
        if (onMessage) onMessage();
    }
    std::vector<Got> got;
    std::function<void()> onMessage;
};

CNotifyCentor* Centre() { return CNotifyCentor::Instance(); }

// Answers GetMsg with the id it was asked for, and records the ids.
class IdController : public QuietController {
public:
    ResultCode GetMsg(unsigned id, void* buf, unsigned* len) override {
        asked.push_back(id);
        if (!buf || !len || *len < 4) return RK_FAIL(RK_E_BUFFER_TOO_SMALL);
        std::memcpy(buf, &id, 4);
        return RK_OK;
    }
    std::vector<unsigned> asked;
};

}  // namespace

TEST(NotifyCentreTest, PostsOfFourThreadsReachTheMainThreadEachInOrderWithTheirPayloads) {
    constexpr int kThreads = 4, kPosts = 1000;
    const std::thread::id mainThread = std::this_thread::get_id();
    Recorder receiver(0x04000000);
    std::vector<int> count(kThreads + 1, 0);
    int misordered = 0, offThread = 0, stalePayload = 0;
    receiver.onMessage = [&] {
        const Got& got = receiver.got.back();
        if (std::this_thread::get_id() != mainThread) ++offThread;
        const int seq = count[got.group]++;
        if (got.code != seq % 256) ++misordered;
        // The payload is stored before the delivery is queued: it is this post's or a later one's.
        uint32_t payload = 0;
        void* buffer = &payload;
        unsigned len = sizeof payload;
        if (!Centre()->GetPayload(got.id, &buffer, &len) || payload < static_cast<uint32_t>(seq) ||
            payload % 256 != static_cast<uint32_t>(got.code))
            ++stalePayload;
    };
    std::vector<std::thread> posters;
    for (int t = 1; t <= kThreads; ++t) {
        posters.emplace_back([t] {
            for (uint32_t seq = 0; seq < kPosts; ++seq)
                Centre()->Notify(MakeMsgId(4, static_cast<uint32_t>(t), seq % 256), &seq, sizeof seq);
        });
    }
    for (auto& poster : posters) poster.join();
    ASSERT_TRUE(PumpUntil([&] { return receiver.got.size() >= kThreads * kPosts; }, 20000));
    for (int t = 1; t <= kThreads; ++t) EXPECT_EQ(count[t], kPosts) << t;
    EXPECT_EQ(misordered, 0);
    EXPECT_EQ(offThread, 0);
    EXPECT_EQ(stalePayload, 0);
}

TEST(NotifyCentreTest, EachHeldIdMatchesOnAllThreeLevels) {
    struct Case {
        std::vector<unsigned> held;
        unsigned posted;
        int group, code;  // -1: dropped
    } cases[] = {
        {{0x02040000}, 0x02040017, 4, 0x17},
        {{0x02040000}, 0x02050001, -1, -1},
        {{0x01010005}, 0x01010005, 1, 5},
        {{0x01010005}, 0x01010001, -1, -1},  // delivered by the centre (same category), dropped here
        {{0x01000000}, 0x01030009, 3, 9},
        // Levels taken from different held ids never combine.
        {{0x04040000, 0x01010005}, 0x01040005, -1, -1},
        {{0x01000000, 0x02040000}, 0x02050001, -1, -1},
        {{0x04040000, 0x01010005}, 0x04040012, 4, 0x12},
    };
    for (const Case& c : cases) {
        Recorder receiver;
        for (unsigned id : c.held) receiver.Subscribe(id);
        Centre()->Notify(c.posted, nullptr, 0);
        Centre()->DeliverPending();
        EXPECT_EQ(receiver.LastId(), c.posted);
        if (c.group < 0) {
            EXPECT_TRUE(receiver.got.empty()) << std::hex << c.posted;
        } else {
            ASSERT_EQ(receiver.got.size(), 1u) << std::hex << c.posted;
            EXPECT_EQ(receiver.got[0].group, c.group);
            EXPECT_EQ(receiver.got[0].code, c.code);
        }
    }
    Recorder any(0x03050004);
    any.Dispatch(0);
    ASSERT_EQ(any.got.size(), 1u);
    EXPECT_EQ(any.got[0].group, 0);

    Recorder none;  // id 0: holds nothing, registered nowhere
    EXPECT_TRUE(none.HeldIds().empty());
    EXPECT_FALSE(Centre()->IsSubscribed(&none));
}

TEST(NotifyCentreTest, TwoPostsInOneTickGiveTwoDeliveriesToEachInPostingOrder) {
    Recorder a(0x02040000), b(0x02040004);
    Centre()->Notify(0x02040004, nullptr, 0);
    Centre()->Notify(0x02040011, nullptr, 0);
    Centre()->Notify(0x02040004, nullptr, 0);
    Centre()->DeliverPending();
    ASSERT_EQ(a.got.size(), 3u);
    EXPECT_EQ(a.got[0].code, 4);
    EXPECT_EQ(a.got[1].code, 0x11);
    EXPECT_EQ(a.got[2].code, 4);
    EXPECT_EQ(b.got.size(), 2u);
}

TEST(NotifyCentreTest, ADestroyedReceiverGetsNothingAndNeitherDoesANewOneAtItsAddress) {
    Recorder killer(0x03000000);  // subscribed first: its callbacks come first in a batch
    bool armed = false;
    alignas(Recorder) unsigned char storage[sizeof(Recorder)];
    auto* receiver = new (storage) Recorder(0x03050004);
    Centre()->Notify(0x03050004, nullptr, 0);
    Centre()->Notify(0x03050004, nullptr, 0);
    receiver->~Recorder();
    receiver = new (storage) Recorder(0x03050004);
    Centre()->DeliverPending();
    EXPECT_TRUE(receiver->got.empty());

    // Destroyed by an earlier callback of the same batch, and replaced at the same address meanwhile.
    killer.onMessage = [&] {
        if (!armed) return;
        armed = false;
        receiver->~Recorder();
        receiver = new (storage) Recorder(0x03050004);
    };
    armed = true;
    Centre()->Notify(0x03050004, nullptr, 0);
    Centre()->DeliverPending();
    EXPECT_TRUE(receiver->got.empty());
    Centre()->Notify(0x03050004, nullptr, 0);
    Centre()->DeliverPending();
    EXPECT_EQ(receiver->got.size(), 1u);
    receiver->~Recorder();

    // Dropping one of two held ids of a category keeps what is due through the other.
    Recorder twice(0x03050004);
    twice.Subscribe(0x03000000);
    Centre()->Notify(0x03050004, nullptr, 0);
    twice.Unsubscribe(false, 0x03050004);
    Centre()->DeliverPending();
    EXPECT_EQ(twice.got.size(), 2u);  // queued for both entries, both still to a subscribed receiver
}

TEST(NotifyCentreTest, UnsubscribeWithoutReceiverEmptiesOneCategory) {
    Recorder a(0x02040000), b(0x02040004), c(0x03050004);
    Centre()->Unsubscribe(0x02000000, nullptr);
    EXPECT_FALSE(Centre()->IsSubscribed(&a));
    EXPECT_FALSE(Centre()->IsSubscribed(&b));
    EXPECT_TRUE(Centre()->IsSubscribed(&c));
    Centre()->Notify(0x02040004, nullptr, 0);
    Centre()->Notify(0x03050004, nullptr, 0);
    Centre()->DeliverPending();
    EXPECT_TRUE(a.got.empty());
    EXPECT_EQ(c.got.size(), 1u);
}

TEST(NotifyCentreTest, PayloadsAreKeptReplacedOnlyByDataAndCopiedWithinTheBuffer) {
    const unsigned id = 0x0404000F;  // nobody holds category 4 here: the payload is stored all the same
    const uint32_t counts[2] = {12, 3};
    Centre()->Notify(id, counts, 8);
    Centre()->Notify(id, counts, 0);
    Centre()->Notify(id, nullptr, 8);

    void* none = nullptr;
    unsigned len = 0;
    ASSERT_EQ(Centre()->GetPayload(id, &none, &len), 1);
    EXPECT_EQ(len, 8u);

    unsigned char small[8] = {0, 0, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE};
    void* buffer = small;
    len = 4;
    ASSERT_EQ(Centre()->GetPayload(id, &buffer, &len), 1);
    EXPECT_EQ(len, 8u);  // the stored length
    EXPECT_EQ(small[0], 12);
    EXPECT_EQ(small[4], 0xEE);  // never past the given length

    len = 77;
    EXPECT_EQ(Centre()->GetPayload(0x04040015 + 0x100000, &buffer, &len), 0);
    EXPECT_EQ(len, 77u);
}

TEST(NotifyCentreTest, ReceiversFetchPayloadsThroughTheController) {
    IdController controller;
    CUIPublic::Instance()->SetLogicalController(&controller);
    Recorder receiver(0x02040004);
    unsigned out = 0, len = 4;
    EXPECT_EQ(receiver.GetMsg(&out, &len), RK_OK);  // before any delivery: id 0
    Centre()->Notify(0x02040004, nullptr, 0);
    Centre()->DeliverPending();
    EXPECT_EQ(receiver.GetMsg(&out, &len), RK_OK);
    EXPECT_EQ(out, 0x02040004u);
    EXPECT_EQ(receiver.GetMsgById(0x03050004, &out, &len), RK_OK);
    EXPECT_EQ(controller.asked, (std::vector<unsigned>{0, 0x02040004, 0x03050004}));

    receiver.SetCurrentMsg(-1);
    EXPECT_EQ(CUIPublic::Instance()->GetCurrentMsg(), 0x02040004u);
    receiver.SetCurrentMsg(7);
    EXPECT_EQ(CUIPublic::Instance()->GetCurrentMsg(), 7u);

    CUIPublic::Instance()->SetLogicalController(nullptr);
    out = 0xABCD;
    for (ResultCode rc : {receiver.GetMsg(&out, &len), receiver.GetMsgById(1, &out, &len)}) {
        EXPECT_TRUE(Failed(rc));
        EXPECT_EQ(ErrorNumber(rc), RK_E_FAIL);
    }
    EXPECT_EQ(out, 0xABCDu);
}
