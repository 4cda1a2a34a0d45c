#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <random>
#include <set>
#include <thread>
#include <utility>

#include "sqlite_recovery/framework/ByteOrder.h"
#include "sqlite_recovery/framework/CDataContainer.h"
#include "sqlite_recovery/framework/HashSlots.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "sqlite_recovery/framework/ItemRecords.h"
#include "sqlite_recovery/framework/Lockers.h"
#include "sqlite_recovery/framework/ResultCode.h"

TEST(ResultCodeTest, OnlyTheTopByteOfTheHighHalfMeansFailure) {
    EXPECT_TRUE(Succeeded(RK_OK));
    EXPECT_TRUE(Succeeded(0x00FFFFFF00000001ULL));
    EXPECT_TRUE(Failed(0x0100000000000000ULL));  // failure even with error number 0
    ResultCode rc = RK_FAIL(RK_E_CANCELLED);
    EXPECT_TRUE(Failed(rc));
    EXPECT_EQ(ErrorNumber(rc), 13u);
    EXPECT_EQ(rc >> 32, 0x01000000u + __LINE__ - 3);
}

// The containers' maps take their nodes from a pool: records must survive growth, slots given back
// must be reused without mixing records up, and copies, moves and swaps must each keep working.
TEST(RecordMapTest, RecordsSurviveGrowthReuseCopiesMovesAndSwaps) {
    RecordMap<_SMS_INFOMATION> map;
    const auto record = [](unsigned id) { return _SMS_INFOMATION{id, id * 3, nullptr}; };
    const auto holds = [&](const RecordMap<_SMS_INFOMATION>& m, unsigned from, unsigned to) {
        if (m.size() != to - from) return false;
        for (unsigned id = from; id < to; ++id) {
            auto it = m.find(id);
            if (it == m.end() || it->second.id != id || it->second.check != id * 3) return false;
        }
        return true;
    };
    for (unsigned id = 0; id < 20000; ++id) map.emplace(id, record(id));  // many rehashes, many blocks
    EXPECT_TRUE(holds(map, 0, 20000));
    for (unsigned id = 0; id < 10000; ++id) map.erase(id);
    for (unsigned id = 20000; id < 30000; ++id) map.emplace(id, record(id));  // into the freed slots
    EXPECT_TRUE(holds(map, 10000, 30000));

    RecordMap<_SMS_INFOMATION> copy(map);  // a pool of its own
    EXPECT_NE(copy.get_allocator(), map.get_allocator());
    map.clear();
    EXPECT_TRUE(holds(copy, 10000, 30000));
    RecordMap<_SMS_INFOMATION> moved(std::move(copy));
    EXPECT_TRUE(holds(moved, 10000, 30000));
    copy.emplace(1, record(1));  // the map moved from stays usable
    EXPECT_TRUE(holds(copy, 1, 2));
    std::swap(copy, moved);
    EXPECT_TRUE(holds(copy, 10000, 30000));
    EXPECT_TRUE(holds(moved, 1, 2));
    map = copy;
    copy = RecordMap<_SMS_INFOMATION>();
    EXPECT_TRUE(holds(map, 10000, 30000));
}

// The row indexes' slots, against a multimap doing the same: hashes that share slots (few hashes,
// the two that stand for the empty and removed marks among them), removals leaving marks that
// later values fill, growth from nothing and from a reserve, and a clear.
TEST(HashSlotsTest, EveryValueFiledIsFoundUntilRemoved) {
    std::mt19937 random(46);
    for (size_t reserve : {size_t{0}, size_t{5000}}) {
        HashSlots<int> slots;
        // By the hash as the slots file it: 0 and 1 are the marks' and share the slots of 2 and 3,
        // where a look-up meets them too (callers compare what they find).
        std::multimap<size_t, int> model;
        const auto filedAs = [](size_t hash) { return hash < 2 ? hash + 2 : hash; };
        slots.Reserve(reserve);
        for (int step = 0; step < 20000; ++step) {
            const size_t hash = random() % 4 == 0 ? random() % 4 : random() % 3000;
            if (random() % 3 == 0) {
                auto it = model.find(filedAs(hash));
                const bool removed = slots.Remove(hash, [&](int v) { return it != model.end() && v == it->second; });
                EXPECT_EQ(removed, it != model.end());
                if (it != model.end()) model.erase(it);
            } else {
                slots.Add(hash, step);
                model.emplace(filedAs(hash), step);
            }
        }
        EXPECT_EQ(slots.Size(), model.size());
        for (size_t hash = 0; hash < 3000; ++hash) {
            std::set<int> found, filed;  // the values are all different
            EXPECT_FALSE(slots.Find(hash, [&](int v) { return !found.insert(v).second; }));  // each once
            for (auto range = model.equal_range(filedAs(hash)); range.first != range.second; ++range.first)
                filed.insert(range.first->second);
            ASSERT_EQ(found, filed) << hash;
        }
        EXPECT_TRUE(slots.Find(model.begin()->first, [&](int v) { return v == model.begin()->second; }));
        slots.Clear();
        EXPECT_EQ(slots.Size(), 0u);
        EXPECT_FALSE(slots.Find(model.begin()->first, [](int) { return true; }));
    }
}

class ContainerTest : public ::testing::Test {
protected:
    CDataContainer<_SMS_INFOMATION> box;
    static _SMS_INFOMATION Record(unsigned id) { return {id, 0, reinterpret_cast<ISMSSession*>(0x1000 + id)}; }
};

TEST_F(ContainerTest, FreshAndAllRecords) {
    EXPECT_EQ(box.PopFresh(), 0xFFFFFFFFu);
    EXPECT_EQ(box.Count(), 0);
    box.InsertItem(Record(1));
    box.InsertItem(Record(2));
    EXPECT_EQ(box.FreshCount(), 2);
    unsigned first = box.PopFresh();
    EXPECT_TRUE(first == 1 || first == 2);
    EXPECT_EQ(box.FreshCount(), 1);
    EXPECT_EQ(box.Count(), 2);
    box.ClearFresh();
    EXPECT_EQ(box.FreshCount(), 0);
    EXPECT_EQ(box.Count(), 2);
    EXPECT_EQ(box.PopFresh(), 0xFFFFFFFFu);
    int seen = 0;
    for (auto it = box.Begin(); it != box.End(); ++it) {
        EXPECT_EQ(it->second.session, Record(it->first).session);
        ++seen;
    }
    EXPECT_EQ(seen, 2);
}

TEST_F(ContainerTest, AtUnknownIdInsertsZeroRecordThatInsertItemThenReplaces) {
    box.InsertItem(Record(7));
    box.ClearFresh();
    _SMS_INFOMATION* probe = box.At(9);
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(probe->id, 0u);
    EXPECT_EQ(probe->session, nullptr);
    EXPECT_EQ(box.Count(), 2);
    EXPECT_EQ(box.FreshCount(), 0);
    probe->check = 1;  // the consumer ticked it meanwhile
    box.InsertItem(Record(9));
    EXPECT_EQ(box.At(9)->session, Record(9).session);
    EXPECT_EQ(box.At(9)->check, 1u);
    // A real record is kept: a second insert under the same id changes nothing.
    _SMS_INFOMATION other = Record(7);
    other.session = nullptr;
    box.InsertItem(other);
    EXPECT_EQ(box.At(7)->session, Record(7).session);
}

TEST_F(ContainerTest, KeywordIsStoredUpperCase) {
    EXPECT_FALSE(box.SetKeyword(nullptr));
    EXPECT_TRUE(box.SetKeyword("abc"));
    EXPECT_EQ(box.Keyword(), "ABC");
    EXPECT_FALSE(box.SetKeyword("ABC"));
    EXPECT_FALSE(box.SetKeyword("abc"));
    EXPECT_EQ(box.Begin().Keyword(), "ABC");
    EXPECT_TRUE(box.SetKeyword("\xc3\xa9t\xc3\xa9"));  // bytes >= 0x80 stay as they are
    EXPECT_EQ(box.Keyword(), "\xc3\xa9T\xc3\xa9");
    EXPECT_TRUE(box.SetKeyword(nullptr));
    EXPECT_FALSE(box.SetKeyword(nullptr));
}

TEST_F(ContainerTest, ReleaseLeavesTheContainerIntact) {
    box.InsertItem(Record(1));
    ICommon* common = &box;
    common->Release();
    EXPECT_EQ(box.Count(), 1);
}

// A consumer that locks the container from inside the data-changed call, on the analyser's thread.
class LockingSink : public IProgress {
public:
    explicit LockingSink(IDataContainer<_SMS_INFOMATION>* box) : box_(box) {}
    void OnProgress(const PROGRESS_INFO*) override {}
    void OnDataChanged(int kind) override {
        autolocker<IDataContainer<_SMS_INFOMATION>*> guard(box_);
        counted = box_->Count();
        lastKind = kind;
    }
    int ShouldContinue() override { return 1; }
    int counted = -1;
    int lastKind = 0;

private:
    IDataContainer<_SMS_INFOMATION>* box_;
};

TEST_F(ContainerTest, LockReenteredFromDataChangedOnTheSameThread) {
    LockingSink sink(&box);
    std::atomic<bool> readerGotIn{false};
    {
        autolocker<CDataContainer<_SMS_INFOMATION>*> guard(&box);
        box.InsertItem(Record(3));
        sink.OnDataChanged(DATA_KIND_MESSAGES);
        std::thread reader([&] {
            autolocker<IDataContainer<_SMS_INFOMATION>*> other(&box);
            readerGotIn = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_FALSE(readerGotIn);  // another thread waits while the analyser holds the lock
        reader.detach();
    }
    for (int i = 0; i < 200 && !readerGotIn; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(readerGotIn);
    EXPECT_EQ(sink.counted, 1);
    EXPECT_EQ(sink.lastKind, 2);
}

TEST(LockersTest, NullContainerIsIgnoredAndCriticalSectionGuardNests) {
    { autolocker<CDataContainer<_CONTACT_INFOMATION>*> guard(nullptr); }
    CRITICAL_SECTION cs;
    {
        autolocker<critical_locker> outer(&cs);
        autolocker<critical_locker> inner(&cs);
    }
    EXPECT_TRUE(cs.TryEnter());
    cs.Leave();
}

TEST(RecordLayoutTest, RecordsKeepTheirFieldOrder) {
    EXPECT_EQ(offsetof(_ARCHIVE_INFOMATION, type), 8u);
    EXPECT_EQ(offsetof(_ARCHIVE_INFOMATION, owner), 16u);
    EXPECT_EQ(offsetof(_ARCHIVE_INFOMATION, node), 24u);
    EXPECT_EQ(offsetof(_CONTACT_INFOMATION, data), 8u);
    EXPECT_EQ(sizeof(PROGRESS_INFO), 1068u);
}

// High bits set in every byte and an odd address: no sign spreads, nothing assumes alignment.
TEST(ByteOrderTest, BothOrdersAtAnyAddress) {
    static constexpr uint8_t kBytes[9] = {0x00, 0xF1, 0xE2, 0xD3, 0xC4, 0xB5, 0xA6, 0x97, 0x88};
    static_assert(LoadLE16(kBytes + 1) == 0xE2F1 && LoadBE16(kBytes + 1) == 0xF1E2, "16-bit loads");
    static_assert(LoadLE32(kBytes + 1) == 0xC4D3E2F1u && LoadBE32(kBytes + 1) == 0xF1E2D3C4u, "32-bit loads");
    EXPECT_EQ(LoadLE64(kBytes + 1), 0x8897A6B5C4D3E2F1ull);
    EXPECT_EQ(LoadBE64(kBytes + 1), 0xF1E2D3C4B5A69788ull);
}
