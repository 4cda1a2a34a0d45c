#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "media_recovery/CStorageDeviceWithCache.h"
#include "testing/MemoryDevice.h"
#include "media_recovery/ThreadRegistry.h"

namespace {

std::vector<uint8_t> ReadVia(IStorageDevice& device, uint64_t first, uint64_t count, int* ok = nullptr) {
    std::vector<uint8_t> buffer(count * device.GetSectorSize(), 0xEE);
    int result = device.ReadSectors(buffer.data(), first, count);
    if (ok) *ok = result;
    return buffer;
}

// A device whose reads take a while (delayMs), noting which thread made each: the test's own
// reads are told from the read-ahead thread's.
class SlowDevice : public MemoryDevice {
public:
    using MemoryDevice::MemoryDevice;
    int ReadSectors(void* buffer, uint64_t first, uint64_t count) override {
        if (delayMs) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        {
            std::lock_guard<std::mutex> guard(mutex_);
            (std::this_thread::get_id() == main_ ? mine : others)++;
        }
        return MemoryDevice::ReadSectors(buffer, first, count);
    }
    int Mine() {
        std::lock_guard<std::mutex> guard(mutex_);
        return mine;
    }
    int delayMs = 2;
    std::thread::id main_ = std::this_thread::get_id();
    std::mutex mutex_;
    int mine = 0, others = 0;
};

TEST(StorageCache, LastChunkOfOneSectorAndReadsAcrossChunkEnds) {
    const uint32_t L = 16;
    const uint64_t k = 25;  // more chunks than the queue holds
    MemoryDevice disk(PatternBytes(512, k * L + 1), 512);
    CStorageDeviceWithCache cache(&disk);
    ASSERT_EQ(cache.SetChunkSectors(L), 1);
    EXPECT_EQ(cache.GetChunkCount(), k + 1);
    EXPECT_EQ(cache.Open(), 1);
    EXPECT_EQ(cache.GetSectorSize(), 512u);
    EXPECT_EQ(cache.GetSectorCount(), k * L + 1);
    ASSERT_EQ(cache.Start(), 1);
    for (uint64_t i = 0; i <= k; ++i) {
        ASSERT_EQ(cache.LoadChunk(i), 1) << i;
        uint64_t first = i * L;
        uint64_t n = i == k ? 1 : L;
        EXPECT_EQ(ReadVia(cache, first, n), disk.Bytes(first, n)) << i;
        // Across the window's end (served partly by copy, partly by the device), and before it.
        if (i < k) {
            uint64_t count = std::min<uint64_t>(L, k * L + 1 - (first + 3));
            EXPECT_EQ(ReadVia(cache, first + 3, count), disk.Bytes(first + 3, count)) << i;
        }
        if (i > 0 && first + 3 <= k * L + 1) {
            EXPECT_EQ(ReadVia(cache, first - 2, 5), disk.Bytes(first - 2, 5)) << i;
        }
    }
    // Past the device's end the short last window serves nothing stale: the device refuses.
    int ok = 1;
    ReadVia(cache, k * L, 2, &ok);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(cache.LoadChunk(k + 1), 0);
    EXPECT_EQ(cache.GetWindowChunk(), static_cast<int64_t>(k));
    EXPECT_EQ(cache.GetUnreadableSectors(), 0u);
    cache.Stop();
}

TEST(StorageCache, WhereEachRequestGoes) {
    // Only this thread's reads are counted: the read-ahead thread goes on reading meanwhile.
    SlowDevice disk(PatternBytes(4096, 100), 4096);
    disk.delayMs = 0;
    CStorageDeviceWithCache cache(&disk);
    cache.SetChunkSectors(10);
    int before = disk.Mine();
    auto reads = [&] {
        const int made = disk.Mine() - before;
        before = disk.Mine();
        return made;
    };
    EXPECT_EQ(ReadVia(cache, 5, 10), disk.Bytes(5, 10));  // no window yet: the device
    EXPECT_EQ(reads(), 1);
    ASSERT_EQ(cache.Start(), 1);
    for (uint64_t i = 0; i < 3; ++i) ASSERT_EQ(cache.LoadChunk(i), 1);
    reads();
    EXPECT_EQ(ReadVia(cache, 20, 10), disk.Bytes(20, 10));  // the window: a copy
    EXPECT_EQ(reads(), 0);
    EXPECT_EQ(ReadVia(cache, 15, 8), disk.Bytes(15, 8));  // starts before: two device reads
    EXPECT_EQ(reads(), 2);
    EXPECT_EQ(ReadVia(cache, 25, 10), disk.Bytes(25, 10));  // runs past the end: one device read
    EXPECT_EQ(reads(), 1);
    EXPECT_EQ(ReadVia(cache, 60, 3), disk.Bytes(60, 3));
    EXPECT_EQ(reads(), 1);
}

TEST(StorageCache, SmallVolumesAndShortLastChunk) {
    // No more chunks than the read-ahead begins with: Start reads what there is and starts no reader.
    MemoryDevice disk(PatternBytes(512, 64 + 10), 512);
    CStorageDeviceWithCache cache(&disk);
    cache.SetChunkSectors(64);
    size_t threads = GetThreadRegistry().Count();
    ASSERT_EQ(cache.Start(), 1);
    EXPECT_EQ(GetThreadRegistry().Count(), threads);
    for (uint64_t i = 0; i < 2; ++i) ASSERT_EQ(cache.LoadChunk(i), 1);
    EXPECT_EQ(ReadVia(cache, 64, 10), disk.Bytes(64, 10));
    EXPECT_EQ(cache.LoadChunk(2), 0);

    MemoryDevice tiny(PatternBytes(512, 1), 512);
    CStorageDeviceWithCache one(&tiny);
    one.SetChunkSectors(8192);
    ASSERT_EQ(one.Start(), 1);
    ASSERT_EQ(one.LoadChunk(0), 1);
    EXPECT_EQ(ReadVia(one, 0, 1), tiny.Bytes(0, 1));

    CStorageDeviceWithCache none(nullptr);
    EXPECT_EQ(none.Open(), 0);
    EXPECT_EQ(none.Start(), 0);
    EXPECT_EQ(none.LoadChunk(0), 0);
    EXPECT_EQ(none.GetSectorSize(), 512u);
}

TEST(StorageCache, UnreadableSectorsReadAsZerosAndTheScanGoesOn) {
    MemoryDevice disk(PatternBytes(512, 40 * 8), 512);
    disk.MarkBad(3);      // read by Start
    disk.MarkBad(250);    // read by the reader thread
    disk.MarkBad(251);
    CStorageDeviceWithCache cache(&disk);
    cache.SetChunkSectors(8);
    ASSERT_EQ(cache.Start(), 1);
    for (uint64_t i = 0; i < 40; ++i) {
        ASSERT_EQ(cache.LoadChunk(i), 1) << i;
        std::vector<uint8_t> want = disk.Bytes(i * 8, 8);
        for (uint64_t s : {3ull, 250ull, 251ull})
            if (s / 8 == i) std::fill(want.begin() + (s % 8) * 512, want.begin() + (s % 8 + 1) * 512, 0);
        std::vector<uint8_t> got(8 * 512);
        // Inside the window: served from memory, with the damage zeroed.
        ASSERT_EQ(cache.ReadSectors(got.data(), i * 8, 8), 1);
        EXPECT_EQ(got, want) << i;
    }
    EXPECT_EQ(cache.GetUnreadableSectors(), 3u);
}

TEST(StorageCache, StopWhileTheReaderWaitsAndDestroyWithoutStop) {
    MemoryDevice disk(PatternBytes(512, 1000 * 4), 512);
    size_t threads = GetThreadRegistry().Count();
    {
        CStorageDeviceWithCache cache(&disk);
        cache.SetChunkSectors(4);
        ASSERT_EQ(cache.Start(), 1);
        ASSERT_EQ(cache.LoadChunk(0), 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the reader fills the queue and waits
        uint64_t reads = disk.Reads();
        auto before = std::chrono::steady_clock::now();
        cache.Stop();
        EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
        EXPECT_EQ(GetThreadRegistry().Count(), threads);
        EXPECT_EQ(disk.Reads(), reads);  // no read after the stop
        // After a stop the remaining chunks are read on demand.
        ASSERT_EQ(cache.LoadChunk(1), 1);
        EXPECT_EQ(ReadVia(cache, 4, 4), disk.Bytes(4, 4));
    }
    {
        CStorageDeviceWithCache cache(&disk);  // its destructor ends the reader and frees the queue
        cache.SetChunkSectors(4);
        ASSERT_EQ(cache.Start(), 1);
        cache.LoadChunk(0);
        cache.LoadChunk(1);
    }
    EXPECT_EQ(GetThreadRegistry().Count(), threads);
}

TEST(StorageCache, OutOfOrderLoadsAreReadDirectly) {
    MemoryDevice disk(PatternBytes(512, 30 * 4), 512);
    CStorageDeviceWithCache cache(&disk);
    cache.SetChunkSectors(4);
    ASSERT_EQ(cache.Start(), 1);
    ASSERT_EQ(cache.LoadChunk(5), 1);  // skips 0..4
    EXPECT_EQ(ReadVia(cache, 20, 4), disk.Bytes(20, 4));
    ASSERT_EQ(cache.LoadChunk(2), 1);  // already gone from the queue
    EXPECT_EQ(ReadVia(cache, 8, 4), disk.Bytes(8, 4));
    ASSERT_EQ(cache.LoadChunk(6), 1);
    EXPECT_EQ(ReadVia(cache, 24, 4), disk.Bytes(24, 4));
    ASSERT_EQ(cache.LoadChunk(6), 1);  // twice
    EXPECT_EQ(ReadVia(cache, 24, 4), disk.Bytes(24, 4));
    for (uint64_t i = 7; i < 30; ++i) {
        ASSERT_EQ(cache.LoadChunk(i), 1);
        EXPECT_EQ(ReadVia(cache, i * 4, 4), disk.Bytes(i * 4, 4)) << i;
    }
}

namespace {
int g_marked = 0;  // calls of FirstBytes
void FirstBytes(const uint8_t* sectors, size_t count, uint32_t size, uint8_t* marks) {
    ++g_marked;
    for (size_t i = 0; i < count; ++i) marks[i] = sectors[i * size];
}
}  // namespace

TEST(StorageCache, ChunksAreLentWhereTheyWereReadAndTheirBuffersReused) {
    const uint32_t L = 8;
    const uint64_t chunks = 60;
    MemoryDevice disk(PatternBytes(512, chunks * L - 3), 512);  // a short last chunk
    std::deque<std::shared_ptr<const uint8_t>> held;  // the last 20 chunks, as the carving ring keeps them
    std::shared_ptr<const uint8_t> survivor;
    {
        CStorageDeviceWithCache cache(&disk);
        cache.SetChunkSectors(L);
        ASSERT_EQ(cache.Start(), 1);
        EXPECT_EQ(cache.LendSectors(0, 1), nullptr);  // no window yet
        for (uint64_t i = 0; i < chunks; ++i) {
            ASSERT_EQ(cache.LoadChunk(i), 1);
            uint64_t first = i * L, n = i + 1 == chunks ? L - 3 : L;
            std::shared_ptr<const uint8_t> lent = cache.LendSectors(first, n);
            ASSERT_NE(lent, nullptr) << i;
            EXPECT_EQ(std::vector<uint8_t>(lent.get(), lent.get() + n * 512), disk.Bytes(first, n)) << i;
            // The same memory, not a copy; nothing outside the window.
            EXPECT_EQ(cache.LendSectors(first + 2, n - 2).get(), lent.get() + 2 * 512);
            EXPECT_EQ(cache.LendSectors(first, n + 1), nullptr);
            if (i > 0) {
                EXPECT_EQ(cache.LendSectors(first - 1, 2), nullptr);
            }
            // Marks are made once for a range of the window, and again once the window is another.
            const int before = g_marked;
            const uint8_t* marks = cache.LendMarks(first, n, FirstBytes);
            ASSERT_NE(marks, nullptr);
            for (uint64_t k = 0; k < n; ++k) EXPECT_EQ(marks[k], disk.Bytes(first + k, 1)[0]) << i;
            EXPECT_EQ(cache.LendMarks(first, n, FirstBytes), marks);
            EXPECT_EQ(cache.LendMarks(first, n + 1, FirstBytes), nullptr);
            EXPECT_EQ(g_marked, before + 1);
            if (i == 5) {
                ASSERT_EQ(cache.LoadChunk(i), 1);
                EXPECT_NE(cache.LendMarks(first, n, FirstBytes), nullptr);
                EXPECT_EQ(g_marked, before + 2);
            }
            held.push_back(lent);
            if (held.size() > 20) held.pop_front();
        }
        // A held chunk is never refilled: the oldest one still holds its own sectors.
        uint64_t oldest = chunks - 20;
        EXPECT_EQ(std::vector<uint8_t>(held.front().get(), held.front().get() + L * 512), disk.Bytes(oldest * L, L));
        // Ten queued, one being read, the window and the twenty held at most.
        EXPECT_LE(cache.BuffersMade(), 32u);
        survivor = held.back();
        cache.Stop();
    }
    // The memory outlives the cache while it is held.
    EXPECT_EQ(std::vector<uint8_t>(survivor.get(), survivor.get() + 512), disk.Bytes((chunks - 1) * L, 1));

    // Nobody holding the chunks: the queue, the chunk being read and the window are all it takes.
    CStorageDeviceWithCache cache(&disk);
    cache.SetChunkSectors(L);
    ASSERT_EQ(cache.Start(), 1);
    for (uint64_t i = 0; i < chunks; ++i) ASSERT_EQ(cache.LoadChunk(i), 1);
    EXPECT_LE(cache.BuffersMade(), 12u);
    EXPECT_EQ(cache.BufferBytes(), L * 512u);

    // A device smaller than one chunk costs a buffer of its own size.
    MemoryDevice tiny(PatternBytes(512, 3), 512);
    CStorageDeviceWithCache small(&tiny);
    small.SetChunkSectors(8192);
    ASSERT_EQ(small.Start(), 1);
    ASSERT_EQ(small.LoadChunk(0), 1);
    EXPECT_EQ(small.BuffersMade(), 1u);
    EXPECT_EQ(small.BufferBytes(), 3 * 512u);
}

TEST(StorageCache, AWaitingLoadReadsTheChunksDueMeanwhileAndNothingTwice) {
    const uint32_t L = 4;
    const uint64_t chunks = 60;
    SlowDevice disk(PatternBytes(512, chunks * L), 512);
    CStorageDeviceWithCache cache(&disk);
    cache.SetChunkSectors(L);
    ASSERT_EQ(cache.Start(), 1);  // the first ten, read here beside the reader
    int mineAtStart = disk.mine;
    for (uint64_t i = 0; i < chunks; ++i) {
        ASSERT_EQ(cache.LoadChunk(i), 1);
        std::shared_ptr<const uint8_t> lent = cache.LendSectors(i * L, L);
        ASSERT_NE(lent, nullptr);
        EXPECT_EQ(std::vector<uint8_t>(lent.get(), lent.get() + L * 512), disk.Bytes(i * L, L)) << i;
    }
    // The scan kept catching up with the reader: the read-ahead grew to all it may be.
    EXPECT_EQ(cache.ReadAheadDepth(), 10u);
    cache.Stop();
    EXPECT_EQ(disk.mine + disk.others, static_cast<int>(chunks));  // every chunk read once
    EXPECT_GT(disk.others, 10);
    EXPECT_GT(disk.mine, mineAtStart + 5);  // the scan thread read while it waited
}

TEST(StorageCache, TheReadAheadBeginsTwoChunksDeep) {
    MemoryDevice disk(PatternBytes(512, 40 * 8), 512);
    CStorageDeviceWithCache cache(&disk);
    cache.SetChunkSectors(8);
    ASSERT_EQ(cache.Start(), 1);
    // Nobody loads: the reader holds two chunks ready and reads no more (a third at most, when it
    // was done with one before Start had queued the one it read itself).
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_GE(disk.Reads(), 2u);
    EXPECT_LE(disk.Reads(), 3u);
    EXPECT_EQ(cache.ReadAheadDepth(), 2u);
    EXPECT_EQ(cache.BuffersMade(), disk.Reads());
    cache.Stop();
}

TEST(ThreadRegistryTest, JoinsAndRefusesAfterShutDown) {
    ThreadRegistry registry;
    std::atomic<int> ran{0};
    ThreadRegistry::Handle done = registry.Start([&] { return static_cast<uint64_t>(++ran); });
    ASSERT_NE(done, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    auto before = std::chrono::steady_clock::now();
    registry.WaitAll();  // the thread has ended already: at once
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
    EXPECT_EQ(ran.load(), 1);
    EXPECT_TRUE(registry.IsShutDown());
    EXPECT_EQ(registry.Start([&] { return static_cast<uint64_t>(++ran); }), 0u);
    EXPECT_EQ(registry.Count(), 0u);
    EXPECT_FALSE(registry.Join(done));
}

}  // namespace
