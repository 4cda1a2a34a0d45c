#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "msgcenter/CMsgCenter.h"

namespace {

// A centre of its own per test; the process-wide one is only checked for being one.
class TestCentre : public CMsgCenter {
public:
    TestCentre() = default;
};

class RecordingCentre : public INotifyCenter {
public:
    void Notify(unsigned id, const void* data, unsigned len) override {
        ids.push_back(id);
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(len, 0u);
    }
    void Unsubscribe(unsigned, CMsgReceiver*) override {}
    std::vector<unsigned> ids;
};

uint64_t Payload(uint64_t value) { return value; }

}  // namespace

TEST(MsgCenterTest, PushBeforeInitializeIsRefusedAndNothingIsKept) {
    TestCentre centre;
    uint64_t value = Payload(7);
    ResultCode rc = centre.PushMsg(MSG_SCAN_PROGRESS, &value, sizeof value);
    EXPECT_TRUE(Failed(rc));
    EXPECT_EQ(ErrorNumber(rc), RK_E_NOT_INITIALIZED);
    EXPECT_EQ(centre.PendingCount(), 0u);
}

TEST(MsgCenterTest, FetchRulesAndReplacement) {
    TestCentre centre;
    RecordingCentre gui;
    ASSERT_EQ(centre.Initialize(&gui), RK_OK);

    uint64_t first = 1, second = 2;
    ASSERT_EQ(centre.PushMsg(MSG_SCAN_PROGRESS, &first, 8), RK_OK);
    ASSERT_EQ(centre.PushMsg(MSG_SCAN_PROGRESS, &second, 8), RK_OK);
    // A push without payload is notified and keeps the pending one.
    ASSERT_EQ(centre.PushMsg(MSG_SCAN_PROGRESS, nullptr, 8), RK_OK);
    ASSERT_EQ(centre.PushMsg(MSG_SCAN_PROGRESS, &first, 0), RK_OK);
    EXPECT_EQ(centre.PendingCount(), 1u);
    EXPECT_EQ(gui.ids, std::vector<unsigned>(4, MSG_SCAN_PROGRESS));

    uint64_t out = 0;
    unsigned len = 0;
    EXPECT_EQ(ErrorNumber(centre.GetMsg(MSG_SCAN_PROGRESS, &out, len)), RK_E_INVALID_ARGUMENT);
    len = 8;
    EXPECT_EQ(ErrorNumber(centre.GetMsg(MSG_SCAN_PROGRESS, nullptr, len)), RK_E_INVALID_ARGUMENT);

    uint32_t small = 0;
    len = 4;
    ResultCode rc = centre.GetMsg(MSG_SCAN_PROGRESS, &small, len);
    EXPECT_TRUE(Failed(rc));
    EXPECT_EQ(ErrorNumber(rc), RK_E_BUFFER_TOO_SMALL);
    EXPECT_EQ(len, 8u);
    EXPECT_EQ(small, 0u);

    unsigned big = 64;
    unsigned char buffer[64] = {};
    ASSERT_EQ(centre.GetMsg(MSG_SCAN_PROGRESS, buffer, big), RK_OK);
    EXPECT_EQ(big, 64u);  // left as given
    std::memcpy(&out, buffer, 8);
    EXPECT_EQ(out, 2u);
    EXPECT_EQ(ErrorNumber(centre.GetMsg(MSG_SCAN_PROGRESS, buffer, big)), RK_E_NOT_FOUND);
    EXPECT_TRUE(Failed(centre.GetMsg(MSG_SCAN_PROGRESS, buffer, big)));
}

TEST(MsgCenterTest, CopiesOwnTheirItems) {
    auto* original = new TestCentre;
    RecordingCentre gui;
    original->Initialize(&gui);
    uint64_t value = 42;
    original->PushMsg(MSG_SCAN_PROGRESS, &value, 8);

    CMsgCenter copy(*original);
    TestCentre assigned;
    assigned = *original;
    delete original;  // its items go; the copies' stay valid

    for (CMsgCenter* centre : {&copy, static_cast<CMsgCenter*>(&assigned)}) {
        uint64_t out = 0;
        unsigned len = 8;
        ASSERT_EQ(centre->GetMsg(MSG_SCAN_PROGRESS, &out, len), RK_OK);
        EXPECT_EQ(out, 42u);
        EXPECT_EQ(centre->PushMsg(MSG_SCAN_PROGRESS, nullptr, 0), RK_OK);  // the notify centre came along
    }
    EXPECT_EQ(gui.ids.size(), 3u);
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// The address space the process has mapped now.
static rlim_t MappedBytes() {
    unsigned long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%lu", &pages) != 1) pages = 0;
        std::fclose(statm);
    }
    return static_cast<rlim_t>(pages) * 4096;
}

TEST(MsgCenterTest, AnUnallocatablePayloadIsOutOfMemoryAndStoresNothing) {
    TestCentre centre;
    RecordingCentre gui;
    centre.Initialize(&gui);
    uint64_t kept = 5;
    centre.PushMsg(MSG_SCAN_PROGRESS, &kept, 8);

    // With the address space capped, a 1 GiB copy cannot be made; its bytes are never read.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
    rlimit capped = saved;
    capped.rlim_cur = MappedBytes() + (256ull << 20);
    char small[8] = {};
    ASSERT_EQ(setrlimit(RLIMIT_AS, &capped), 0);
    ResultCode rc = centre.PushMsg(MSG_SCAN_PROGRESS, small, 1u << 30);
    setrlimit(RLIMIT_AS, &saved);

    EXPECT_TRUE(Failed(rc));
    EXPECT_EQ(ErrorNumber(rc), RK_E_OUT_OF_MEMORY);
    EXPECT_EQ(gui.ids.size(), 1u);  // not notified
    uint64_t out = 0;
    unsigned len = 8;
    ASSERT_EQ(centre.GetMsg(MSG_SCAN_PROGRESS, &out, len), RK_OK);  // the earlier payload stays
    EXPECT_EQ(out, 5u);
}
#endif
