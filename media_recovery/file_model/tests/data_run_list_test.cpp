#include <gtest/gtest.h>
#include <thread>
#include <atomic>

#include <limits>
#include <memory>
#include <vector>

#include "media_recovery/file_model/CDataRunList.h"
#include "media_recovery/file_model/MappingPairs.h"

namespace {

std::vector<std::pair<int64_t, uint64_t>> Runs(IDataRunList* list) {
    std::vector<std::pair<int64_t, uint64_t>> runs;
    for (DataRun* r = list->First(); r; r = list->Next()) runs.emplace_back(r->start, r->length);
    return runs;
}

std::vector<uint8_t> Encode(const std::vector<DataRun>& runs) {
    CDataRunList list;
    for (const DataRun& r : runs) list.PushRun(r);
    size_t size = 0;
    std::unique_ptr<uint8_t[]> pairs(EncodeMappingPairs(&list, &size));
    return pairs ? std::vector<uint8_t>(pairs.get(), pairs.get() + size) : std::vector<uint8_t>();
}

std::vector<std::pair<int64_t, uint64_t>> Decode(const std::vector<uint8_t>& bytes) {
    CDataRunList list;
    EXPECT_EQ(DecodeMappingPairs(&list, bytes.data(), static_cast<int>(bytes.size())), 1);
    return Runs(&list);
}

TEST(DataRunList, CursorWalk) {
    CDataRunList list;
    EXPECT_EQ(list.First(), nullptr);
    EXPECT_TRUE(list.IsEnd());
    EXPECT_EQ(list.Next(), nullptr);
    DataRun a(1, 2), b(10, 1);
    list.AppendRun(&a);
    list.AppendRun(&b);
    ASSERT_NE(list.First(), nullptr);
    EXPECT_FALSE(list.IsEnd());
    EXPECT_EQ(list.Next()->start, 10);
    EXPECT_EQ(list.Next(), nullptr);
    EXPECT_TRUE(list.IsEnd());
    EXPECT_EQ(list.Next(), nullptr);
    EXPECT_EQ(list.GetKind(), RUN_LIST_PLAIN);
    EXPECT_EQ(list.IsResident(), 0);
    DataRun halves(0x89ABCDEFu, 0x01234567u, 5u, 1u);
    EXPECT_EQ(halves.start, 0x0123456789ABCDEF);
    EXPECT_EQ(halves.length, 0x100000005u);
}

TEST(DataRunList, AppendMergesOnlyRealContinuations) {
    CDataRunList list;
    DataRun a(100, 5), b(105, 3);
    list.AppendRun(&a);
    list.AppendRun(&b);
    list.AppendRun(nullptr);
    EXPECT_EQ(Runs(&list), (std::vector<std::pair<int64_t, uint64_t>>{{100, 8}}));

    CDataRunList holes;
    DataRun c(100, 5), sparse(kSparseRunStart, 4), d(109, 2), e(-1, 1);
    holes.AppendRun(&c);
    holes.AppendRun(&sparse);
    holes.AppendRun(&d);
    EXPECT_EQ(holes.RunCount(), 3u);
    // A hole never joins a real run: {0, n} then a hole, and a hole after a run that ends at -1 + 1.
    CDataRunList zero;
    DataRun z(0, 0);
    zero.AppendRun(&z);
    zero.AppendRun(&e);
    EXPECT_EQ(zero.RunCount(), 2u);

    // The end of a run near the top of the range is not computed by wrapping.
    CDataRunList top;
    DataRun high(std::numeric_limits<int64_t>::max() - 1, 5), wrapped(3, 1);
    top.AppendRun(&high);
    top.AppendRun(&wrapped);
    EXPECT_EQ(top.RunCount(), 2u);
    DataRun huge(0, std::numeric_limits<uint64_t>::max()), after(0, 1);
    CDataRunList big;
    big.AppendRun(&huge);
    big.AppendRun(&after);
    EXPECT_EQ(big.RunCount(), 2u);
}

TEST(DataRunList, CloneIsPlainAndMerged) {
    CResidentNTFSDataRunList resident(42);
    resident.PushRun(DataRun(7, 1));
    resident.PushRun(DataRun(8, 2));
    EXPECT_EQ(resident.IsResident(), 1);
    EXPECT_EQ(resident.GetResidentValue(), 42u);
    IDataRunList* copy = resident.Clone();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetKind(), RUN_LIST_PLAIN);
    EXPECT_EQ(copy->GetResidentValue(), 0u);
    EXPECT_EQ(Runs(copy), (std::vector<std::pair<int64_t, uint64_t>>{{7, 3}}));
    copy->Release();
}

TEST(DataRunList, Ext2BlockRuns) {
    CExt2DataRunList list;
    list.AddBlockRun(DataRun(0, 3));
    list.AddBlockRun(DataRun(0, 2));
    EXPECT_EQ(Runs(&list), (std::vector<std::pair<int64_t, uint64_t>>{{0, 5}}));
    CExt2DataRunList other;
    other.AddBlockRun(DataRun(5, 3));
    other.AddBlockRun(DataRun(8, 1));
    other.AddBlockRun(DataRun(20, 1));
    EXPECT_EQ(Runs(&other), (std::vector<std::pair<int64_t, uint64_t>>{{5, 4}, {20, 1}}));
    EXPECT_EQ(other.GetKind(), RUN_LIST_EXT2);
}

TEST(MappingPairs, FieldSizes) {
    EXPECT_EQ(MappingFieldSize(127), 1);
    EXPECT_EQ(MappingFieldSize(128), 2);
    EXPECT_EQ(MappingFieldSize(-128), 1);
    EXPECT_EQ(MappingFieldSize(-129), 2);
    EXPECT_EQ(MappingFieldSize(0x800000), 4);
    EXPECT_EQ(MappingFieldSize(-0x800000), 3);
    EXPECT_EQ(MappingFieldSize(int64_t{1} << 55), 8);
    EXPECT_EQ(MappingFieldSize(-(int64_t{1} << 55)), 7);
    EXPECT_EQ(MappingFieldSize(std::numeric_limits<int64_t>::min()), 8);
}

TEST(MappingPairs, EncodingVectors) {
    EXPECT_EQ(Encode({DataRun(0x10, 0x80)}), (std::vector<uint8_t>{0x12, 0x80, 0x00, 0x10, 0x00}));
    // A delta of -0x800000 takes three bytes, +0x800000 four.
    EXPECT_EQ(Encode({DataRun(0x1000000, 1), DataRun(0x800000, 1)}),
              (std::vector<uint8_t>{0x41, 0x01, 0x00, 0x00, 0x00, 0x01, 0x31, 0x01, 0x00, 0x00, 0x80, 0x00}));
    EXPECT_EQ(Encode({DataRun(0x800000, 1)}), (std::vector<uint8_t>{0x41, 0x01, 0x00, 0x00, 0x80, 0x00, 0x00}));
    // A hole has no offset bytes; the next offset is relative to the last real start.
    EXPECT_EQ(Encode({DataRun(100, 5), DataRun(kSparseRunStart, 4), DataRun(109, 2)}),
              (std::vector<uint8_t>{0x11, 0x05, 0x64, 0x01, 0x04, 0x11, 0x02, 0x09, 0x00}));
    EXPECT_TRUE(Encode({}).empty());
    EXPECT_EQ(EncodeMappingPairs(nullptr), nullptr);
}

TEST(MappingPairs, DecodingRoundTripsAndSignExtends) {
    std::vector<DataRun> runs{DataRun(0x1000000, 1), DataRun(0x800000, 7), DataRun(kSparseRunStart, 3),
                              DataRun(0x123456789A, 0x10000), DataRun(5, 1), DataRun(int64_t{1} << 56, 2),
                              DataRun(7, ~uint64_t{0})};  // a length that reads as negative
    std::vector<std::pair<int64_t, uint64_t>> want;
    for (const DataRun& r : runs) want.emplace_back(r.start, r.length);
    EXPECT_EQ(Decode(Encode(runs)), want);
    // Each odd width: 3, 5, 6 and 7 bytes negative.
    for (int64_t delta : {-0x800000LL, -(1LL << 39), -(1LL << 47), -(1LL << 55)}) {
        int64_t start = 1LL << 60;
        auto got = Decode(Encode({DataRun(start, 1), DataRun(start + delta, 1)}));
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[1].first, start + delta);
    }
}

TEST(MappingPairs, HostileStringsStayInside) {
    EXPECT_TRUE(Decode({0x99, 1, 2, 3}).empty());           // nibbles above 8
    EXPECT_TRUE(Decode({0x44, 1, 2, 3}).empty());           // fields pass the end
    EXPECT_EQ(Decode({0x11, 1, 1, 0x11, 1}).size(), 1u);   // second pair cut off
    EXPECT_EQ(Decode({0x11, 1, 1}).size(), 1u);             // no terminator: bounded by size
    CDataRunList list;
    EXPECT_EQ(DecodeMappingPairs(&list, nullptr, 5), 1);
    EXPECT_EQ(DecodeMappingPairs(&list, reinterpret_cast<const uint8_t*>("\x11"), 0), 1);
    EXPECT_EQ(list.RunCount(), 0u);
}

TEST(MappingPairs, PackAndUnpack) {
    EXPECT_EQ(PackDataRuns(nullptr), nullptr);
    CDataRunList empty;
    EXPECT_EQ(PackDataRuns(&empty), nullptr);
    EXPECT_EQ(UnpackDataRuns(nullptr), nullptr);

    CExt2DataRunList ext;
    ext.PushRun(DataRun(10, 2));
    ext.PushRun(DataRun(12, 3));  // kept apart by the producer, and by the round trip
    std::unique_ptr<PackedDataRuns> packed(PackDataRuns(&ext));
    ASSERT_NE(packed, nullptr);
    EXPECT_EQ(packed->residentValue, 0);
    IDataRunList* back = UnpackDataRuns(packed.get());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetKind(), RUN_LIST_NONRESIDENT);
    EXPECT_EQ(Runs(back), (std::vector<std::pair<int64_t, uint64_t>>{{10, 2}, {12, 3}}));
    back->Release();

    CResidentNTFSDataRunList resident(0x10007);
    resident.PushRun(DataRun(3, 1));
    resident.PushRun(DataRun(9, 1));
    std::unique_ptr<PackedDataRuns> packedResident(PackDataRuns(&resident));
    ASSERT_NE(packedResident, nullptr);
    EXPECT_EQ(packedResident->residentValue, 7);
    IDataRunList* one = UnpackDataRuns(packedResident.get());
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->GetKind(), RUN_LIST_RESIDENT);
    EXPECT_EQ(one->GetResidentValue(), 7u);
    EXPECT_EQ(Runs(one), (std::vector<std::pair<int64_t, uint64_t>>{{3, 1}}));
    one->Release();
}

// Lists keep their first runs in place and the rest elsewhere; packed strings are short or long.
// Across both boundaries: run pointers stay valid while the list grows, a cursor past the end stays
// there, and every length packs and unpacks to the same runs.
TEST(DataRunList, GrowingListsAndPackedStrings) {
    for (size_t count : {1u, 2u, 3u, 40u, 700u}) {
        SCOPED_TRACE(count);
        CExt2DataRunList list;
        std::vector<DataRun*> seen;
        std::vector<std::pair<int64_t, uint64_t>> expected;
        for (size_t i = 0; i < count; ++i) {
            // Gaps keep runs apart; every fourth one is a hole, and offsets reach past 24 bits.
            DataRun run(i % 4 == 3 ? kSparseRunStart : static_cast<int64_t>(i * 0x10000 + 7), i + 1);
            ASSERT_TRUE(list.PushRun(run));
            seen.push_back(list.Last());
            expected.emplace_back(run.start, run.length);
        }
        for (size_t i = 0; i < count; ++i) EXPECT_EQ(seen[i]->length, i + 1);
        EXPECT_EQ(Runs(&list), expected);
        EXPECT_TRUE(list.IsEnd());
        list.PushRun(DataRun(1, 1));
        EXPECT_TRUE(list.IsEnd());  // a cursor past the end does not move onto a new run
        EXPECT_EQ(list.Next(), nullptr);
        expected.emplace_back(1, 1);

        std::unique_ptr<IDataRunList> clone(list.Clone());
        EXPECT_EQ(Runs(clone.get()), expected);
        PackedDataRuns packed;
        ASSERT_TRUE(PackDataRunsInto(&list, &packed));
        EXPECT_EQ(packed.pairs == packed.local, packed.size <= sizeof packed.local);
        std::unique_ptr<IDataRunList> back(UnpackDataRuns(&packed));
        EXPECT_EQ(Runs(back.get()), expected);
        CDataRunList none;
        EXPECT_FALSE(PackDataRunsInto(&none, &packed));  // cleared, whatever it held
        EXPECT_EQ(packed.pairs, nullptr);
        EXPECT_EQ(packed.size, 0u);
    }
}

// Ext run lists come from a pool: lists made on one thread and released on another, while more are
// made, keep their runs, and released slots are handed out again.
TEST(DataRunList, PooledListsAcrossThreads) {
    constexpr int kLists = 20000;
    std::vector<CExt2DataRunList*> made(kLists);
    std::atomic<int> ready{0};
    std::thread maker([&] {
        for (int i = 0; i < kLists; ++i) {
            made[i] = new CExt2DataRunList;
            made[i]->AddBlockRun(DataRun(i + 1, 1));
            ready.store(i + 1, std::memory_order_release);
        }
    });
    int bad = 0;
    for (int i = 0; i < kLists; ++i) {
        while (ready.load(std::memory_order_acquire) <= i) std::this_thread::yield();
        DataRun* run = made[i]->First();
        if (!run || run->start != i + 1 || made[i]->Next() != nullptr) ++bad;
        if (i % 2) made[i]->Release();  // freed here while the maker goes on
    }
    maker.join();
    EXPECT_EQ(bad, 0);
    for (int i = 0; i < kLists; i += 2) {
        DataRun* run = made[i]->First();
        EXPECT_TRUE(run && run->start == i + 1);
        delete made[i];
    }
    std::unique_ptr<CExt2DataRunList> again(new (std::nothrow) CExt2DataRunList);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->First(), nullptr);
}

}  // namespace
