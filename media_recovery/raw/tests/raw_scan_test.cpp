// The sector walk: dispatch, the queue of candidates of unknown size, the ring, and stopping.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "media_recovery/CStorageDeviceWithCache.h"
#include "media_recovery/raw/tests/CarveCollector.h"
#include "testing/MemoryDevice.h"

namespace {

// An analyser driven by a lambda, matching sectors with its tag byte at its key offset (the first
// byte unless told otherwise).
class FakeAnalyser : public IRawFileAnalyser {
public:
    FakeAnalyser(uint8_t tag, std::function<bool(const uint8_t*, RawHit&)> header,
                 std::function<bool(RawHit&, IStorageDevice*)> size = nullptr, bool anyLead = false,
                 uint32_t offset = 0)
        : IRawFileAnalyser(9), tag_(tag), header_(std::move(header)), size_(std::move(size)), any_(anyLead),
          offset_(offset) {}
    bool IsHeader(const uint8_t* s, RawHit& hit) override {
        ++calls;
        return s[offset_] == tag_ && header_(s, hit);
    }
    uint32_t GetLeadOffset() const override { return offset_; }
    bool ComputeSize(RawHit& hit, IStorageDevice* dev) override {
        ++sizeCalls;
        return size_ ? size_(hit, dev) : true;
    }
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        if (any_)
            set.set();
        else
            set.set(tag_);
    }
    int calls = 0;
    int sizeCalls = 0;

private:
    uint8_t tag_;
    std::function<bool(const uint8_t*, RawHit&)> header_;
    std::function<bool(RawHit&, IStorageDevice*)> size_;
    bool any_;
    uint32_t offset_;
};

struct ScanRun {
    std::vector<CarvedRecord> carved;
    RawCarveScanner scanner;
    void Start(IStorageDevice& dev, uint32_t chunk, const RawAnalyserList& list) {
        scanner.SetOutput([this](RawHit& hit) {
            carved.push_back({hit.startSector, hit.size, hit.fileTypeId, "", hit.extraName, ""});
            return true;
        });
        ASSERT_TRUE(scanner.BeginSearch(&dev, chunk));
        scanner.UseAnalysers(list);
    }
    void ScanAll(IStorageDevice& dev, uint32_t chunk, IProgress* sink = nullptr) {
        for (uint64_t f = 0; f < dev.GetSectorCount(); f += chunk)
            scanner.ScanChunk(f, std::min<uint64_t>(chunk, dev.GetSectorCount() - f), sink);
    }
};

TEST(RawScan, ZeroSectorsAreNeverOffered) {
    MemoryDevice dev(std::vector<uint8_t>(512 * 64), 512);
    RawCarveScanner scanner;
    std::vector<CarvedRecord> out = CarveDevice(dev, 16, nullptr, &scanner);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(scanner.HeaderTests(), 0u);
}

TEST(RawScan, DispatchAsksOnlyAnalysersOfTheLeadByteInListOrder) {
    std::vector<uint8_t> bytes(512 * 8);
    bytes[512 * 2] = 'A';
    bytes[512 * 3] = 'Z';
    MemoryDevice dev(bytes, 512);
    int order = 0, firstAt = 0, secondAt = 0;
    FakeAnalyser first('A', [&](const uint8_t*, RawHit& h) { firstAt = ++order; h.size = 100; h.fileTypeId = 9; return true; });
    FakeAnalyser second('A', [&](const uint8_t*, RawHit&) { secondAt = ++order; return true; });
    FakeAnalyser any('A', [&](const uint8_t*, RawHit&) { return false; }, nullptr, true);
    ScanRun run;
    run.Start(dev, 8, {&any, &first, &second});
    run.ScanAll(dev, 8);
    run.scanner.EndSearch();
    EXPECT_EQ(any.calls, 2);     // both non-zero sectors
    EXPECT_EQ(first.calls, 1);   // only the 'A' sector
    EXPECT_EQ(second.calls, 0);  // the first match ends the search for the sector
    EXPECT_EQ(firstAt, 1);
    ASSERT_EQ(run.carved.size(), 1u);
    EXPECT_EQ(run.carved[0].startSector, 2u);
    EXPECT_EQ(run.carved[0].size, 100u);
}

TEST(RawScan, AnalysersKeyedFurtherInAreAskedOnlyForTheirByteAndStillInListOrder) {
    std::vector<uint8_t> bytes(512 * 8);
    uint8_t* s1 = &bytes[512 * 1];
    s1[0] = 'A';
    s1[4] = 'f';  // both keys
    bytes[512 * 2] = 'B';
    bytes[512 * 2 + 300] = 'u';
    bytes[512 * 3 + 3] = 0x20;  // a length field, then the key
    bytes[512 * 3 + 4] = 'f';
    bytes[512 * 4] = 'A';
    MemoryDevice dev(bytes, 512);
    std::vector<char> asked;
    auto note = [&](char who, bool match) {
        return [&asked, who, match](const uint8_t*, RawHit& h) {
            asked.push_back(who);
            h.size = 10;
            h.fileTypeId = 9;
            return match;
        };
    };
    FakeAnalyser at4('f', note('4', false), nullptr, false, 4);
    FakeAnalyser at0('A', note('0', true));
    FakeAnalyser at300('u', note('u', true), nullptr, false, 300);
    ScanRun run;
    run.Start(dev, 8, {&at4, &at0, &at300});
    run.ScanAll(dev, 8);
    run.scanner.EndSearch();
    EXPECT_EQ(std::string(asked.begin(), asked.end()), "40u40");
    EXPECT_EQ(run.scanner.HeaderTests(), 5u);
    EXPECT_EQ(run.carved.size(), 3u);  // sectors 1, 2 and 4
}

TEST(RawScan, ARejectingAnalyserLeavesNoSizeBehind) {
    std::vector<uint8_t> bytes(512 * 8);
    bytes[512] = 'A';
    MemoryDevice dev(bytes, 512);
    FakeAnalyser rejecting('A', [](const uint8_t*, RawHit& h) { h.size = 4096; h.fileTypeId = 9; return false; });
    // The next analyser has a size rule and fixes nothing in its header test.
    FakeAnalyser sized('A', [](const uint8_t*, RawHit& h) { h.fileTypeId = 47; return true; },
                       [](RawHit& h, IStorageDevice*) { h.size = 700; return true; });
    ScanRun run;
    run.Start(dev, 8, {&rejecting, &sized});
    run.ScanAll(dev, 8);
    run.scanner.EndSearch();
    ASSERT_EQ(run.carved.size(), 1u);
    EXPECT_EQ(run.carved[0].size, 700u);
    EXPECT_EQ(run.carved[0].typeId, 47u);
}

TEST(RawScan, UnsizableAndFailingHitsDropOnlyThemselves) {
    // Sectors tagged 'U' stay unsized, 'F' fail, 'G' size to 1000; in the order U F G U G.
    std::vector<uint8_t> bytes(512 * 400);
    const char tags[] = "UFGUG";
    for (int i = 0; i < 5; ++i) bytes[512 * (10 + 70 * i)] = static_cast<uint8_t>(tags[i]);
    MemoryDevice dev(bytes, 512);
    auto header = [](const uint8_t*, RawHit& h) { h.fileTypeId = 47; return true; };
    FakeAnalyser u('U', header, [](RawHit&, IStorageDevice*) { return true; });
    FakeAnalyser f('F', header, [](RawHit&, IStorageDevice*) { return false; });
    FakeAnalyser g('G', header, [](RawHit& h, IStorageDevice*) { h.size = 1000; return true; });
    // A small ring (16-sector chunks, 320 sectors) so that hits are sized during the scan too.
    ScanRun run;
    run.Start(dev, 16, {&u, &f, &g});
    run.ScanAll(dev, 16);
    EXPECT_GE(run.carved.size(), 1u);  // the first G was sized while scanning
    run.scanner.EndSearch();
    ASSERT_EQ(run.carved.size(), 2u);
    EXPECT_EQ(run.carved[0].startSector, 150u);
    EXPECT_EQ(run.carved[1].startSector, 290u);
    EXPECT_EQ(run.scanner.PendingCount(), 0u);
}

TEST(RawScan, AFailureWhenTheSearchEndsDropsOnlyThatHit) {
    std::vector<uint8_t> bytes(512 * 64);
    bytes[512 * 3] = 'F';
    bytes[512 * 9] = 'G';
    bytes[512 * 20] = 'G';
    MemoryDevice dev(bytes, 512);
    auto header = [](const uint8_t*, RawHit& h) { h.fileTypeId = 47; return true; };
    // Both size rules read a sector past the device's end: nothing is sized before the end.
    auto pastTheEnd = [](IStorageDevice* d) {
        uint8_t sector[512];
        d->ReadSectors(sector, 64, 1);
    };
    FakeAnalyser f('F', header, [&](RawHit&, IStorageDevice* d) { return pastTheEnd(d), false; });
    FakeAnalyser g('G', header, [&](RawHit& h, IStorageDevice* d) { return pastTheEnd(d), h.size = 1000, true; });
    ScanRun run;
    run.Start(dev, 64, {&f, &g});
    run.ScanAll(dev, 64);
    EXPECT_TRUE(run.carved.empty());
    EXPECT_EQ(run.scanner.PendingCount(), 3u);
    run.scanner.EndSearch();
    ASSERT_EQ(run.carved.size(), 2u);
    EXPECT_EQ(run.carved[0].startSector, 9u);
    EXPECT_EQ(run.carved[1].startSector, 20u);
}

TEST(RawScan, QueueIsBounded) {
    size_t n = RawCarveScanner::kMaxPending + 500;
    std::vector<uint8_t> bytes(512 * n, 0);
    for (size_t i = 0; i < n; ++i) bytes[512 * i] = 'Q';
    MemoryDevice dev(bytes, 512);
    FakeAnalyser q('Q', [](const uint8_t*, RawHit& h) { h.fileTypeId = 47; return true; },
                   [](RawHit& h, IStorageDevice*) { h.size = 512; return true; });
    ScanRun run;
    run.Start(dev, static_cast<uint32_t>(n), {&q});
    run.ScanAll(dev, static_cast<uint32_t>(n));
    EXPECT_LE(run.scanner.PendingCount(), RawCarveScanner::kMaxPending);
    run.scanner.EndSearch();
    EXPECT_EQ(run.carved.size(), n);
}

TEST(RawScan, SizesAreCappedAndClippedToTheDevice) {
    std::vector<uint8_t> bytes(512 * 32);
    bytes[512 * 30] = 'B';
    bytes[512 * 2] = 'C';
    MemoryDevice dev(bytes, 512);
    FakeAnalyser b('B', [](const uint8_t*, RawHit& h) { h.size = 1u << 30; h.fileTypeId = 9; return true; });
    FakeAnalyser c('C', [](const uint8_t*, RawHit& h) { h.fileTypeId = 9; return true; },
                   [](RawHit& h, IStorageDevice*) { h.size = 300u << 20; return true; });
    ScanRun run;
    run.Start(dev, 8, {&b, &c});
    run.ScanAll(dev, 8);
    run.scanner.EndSearch();
    ASSERT_EQ(run.carved.size(), 2u);
    for (const CarvedRecord& r : run.carved) {
        if (r.startSector == 30) EXPECT_EQ(r.size, 1024u);  // header size: clipped at the device's end
        else EXPECT_EQ(r.size, 30u * 512);                   // computed size: likewise
    }
}

// A candidate is sized as soon as the ring holds all that its size rule reads (tried each time the
// ring's reach past it has doubled), the ring then lets go of what lies before the scan, and the
// candidates behind it wait their turn.
TEST(RawScan, ACandidateIsSizedOnceTheRingHoldsWhatItsRuleReads) {
    std::vector<uint8_t> bytes(512 * 16 * 20);
    bytes[512 * 5] = 'S';
    bytes[512 * 20] = 'T';
    MemoryDevice dev(bytes, 512);
    auto header = [](const uint8_t*, RawHit& h) { h.fileTypeId = 47; return true; };
    auto reads = [](uint64_t sectors) {
        return [sectors](RawHit& h, IStorageDevice* d) {
            std::vector<uint8_t> data(sectors * 512);
            if (!d->ReadSectors(data.data(), h.startSector, sectors)) return false;
            h.size = sectors * 512;
            return true;
        };
    };
    FakeAnalyser big('S', header, reads(40));
    FakeAnalyser small('T', header, reads(1));
    ScanRun run;
    run.Start(dev, 16, {&big, &small});
    const size_t pendingAfter[] = {1, 2, 2, 0};
    for (uint64_t chunk = 0; chunk < 4; ++chunk) {
        run.scanner.ScanChunk(chunk * 16, 16, nullptr);
        EXPECT_EQ(run.scanner.PendingCount(), pendingAfter[chunk]) << chunk;
    }
    EXPECT_EQ(big.sizeCalls, 3);  // with the ring reaching 11, 27 and 59 sectors past it, not 43
    ASSERT_EQ(run.carved.size(), 2u);
    EXPECT_EQ(run.carved[0].startSector, 5u);
    EXPECT_EQ(run.carved[0].size, 40u * 512);
    EXPECT_EQ(run.carved[1].startSector, 20u);
    EXPECT_EQ(run.scanner.Ring().HeldSectors(), 16u);
    run.scanner.EndSearch();
}

class StopAfter : public IProgress {
public:
    explicit StopAfter(int n) : left(n) {}
    void OnProgress(const PROGRESS_INFO*) override {}
    void OnDataChanged(int) override {}
    int ShouldContinue() override { return left-- > 0; }
    int left;
};

TEST(RawScan, ASinkThatStopsEndsTheChunk) {
    std::vector<uint8_t> bytes(512 * 16);
    for (int i = 0; i < 16; ++i) bytes[512 * i] = 'S';
    MemoryDevice dev(bytes, 512);
    FakeAnalyser s('S', [](const uint8_t*, RawHit& h) { h.size = 10; h.fileTypeId = 9; return true; });
    ScanRun run;
    run.Start(dev, 16, {&s});
    StopAfter sink(3);
    run.ScanAll(dev, 16, &sink);
    run.scanner.EndSearch();
    EXPECT_EQ(s.calls, 3);
    EXPECT_EQ(run.carved.size(), 3u);
}

TEST(RawScan, UnreadableChunkKeepsTheRingInStep) {
    // Chunks of 4 sectors; chunk 1 is unreadable. A candidate in chunk 2 is sized from the ring
    // and must see its own bytes, not those of a neighbour.
    std::vector<uint8_t> bytes(512 * 200);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(1 + (i / 512) % 50);
    bytes[512 * 8] = 'R';
    MemoryDevice dev(bytes, 512);
    dev.MarkBad(5);
    uint8_t seen = 0;
    FakeAnalyser r('R', [](const uint8_t*, RawHit& h) { h.fileTypeId = 9; return true; },
                   [&](RawHit& h, IStorageDevice* d) {
                       std::vector<uint8_t> buf(512);
                       if (!d->ReadSectors(buf.data(), h.startSector + 1, 1)) return false;
                       seen = buf[0];
                       h.size = 512;
                       return true;
                   });
    ScanRun run;
    run.Start(dev, 4, {&r});
    dev.ClearBad();
    dev.MarkBad(5);
    run.ScanAll(dev, 4);
    run.scanner.EndSearch();
    EXPECT_EQ(seen, 1 + 9);
    ASSERT_EQ(run.carved.size(), 1u);
}

// The read-ahead cache as the scan's device, counting the reads that reach it.
class CountingCache : public CStorageDeviceWithCache {
public:
    using CStorageDeviceWithCache::CStorageDeviceWithCache;
    int ReadSectors(void* buffer, uint64_t first, uint64_t count) override {
        ++reads;
        return CStorageDeviceWithCache::ReadSectors(buffer, first, count);
    }
    int reads = 0;
};

TEST(RawScan, ThroughTheCacheChunksAreScannedAndRingedWhereTheyLie) {
    // Candidates every 7 chunks, each sized from a sector 3 chunks on, which the ring holds.
    const uint32_t L = 4;
    std::vector<uint8_t> bytes(512 * L * 80);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(1 + (i / 512) % 50);
    for (size_t c = 1; c < 76; c += 7) bytes[512 * (c * L + 1)] = 'S';
    MemoryDevice dev(bytes, 512);
    auto sizer = [](RawHit& h, IStorageDevice* d) {
        std::vector<uint8_t> buf(512);
        if (!d->ReadSectors(buf.data(), h.startSector + 3 * 4, 1)) return false;
        h.size = 512 * static_cast<uint64_t>(buf[0]);
        return true;
    };
    FakeAnalyser plain('S', [](const uint8_t*, RawHit& h) { h.fileTypeId = 9; return true; }, sizer);
    ScanRun direct;
    direct.Start(dev, L, {&plain});
    direct.ScanAll(dev, L);
    direct.scanner.EndSearch();

    FakeAnalyser lent('S', [](const uint8_t*, RawHit& h) { h.fileTypeId = 9; return true; }, sizer);
    CountingCache cache(&dev);
    cache.SetChunkSectors(L);
    ASSERT_EQ(cache.Start(), 1);
    ScanRun run;
    run.Start(cache, L, {&lent});
    for (uint64_t i = 0; i < cache.GetChunkCount(); ++i) {
        ASSERT_EQ(cache.LoadChunk(i), 1);
        run.scanner.ScanChunk(i * L, L, nullptr);
        // Nothing waiting to be sized: the ring keeps no chunk but the one just scanned.
        if (run.scanner.PendingCount() == 0) {
            EXPECT_EQ(run.scanner.Ring().FirstHeldSector(), i * L) << i;
            EXPECT_EQ(run.scanner.Ring().HeldSectors(), L) << i;
        }
    }
    run.scanner.EndSearch();
    cache.Stop();
    EXPECT_EQ(cache.reads, 0);  // neither the scan nor the sizing copied a chunk out of the cache
    ASSERT_EQ(run.carved.size(), direct.carved.size());
    for (size_t i = 0; i < run.carved.size(); ++i) {
        EXPECT_EQ(run.carved[i].startSector, direct.carved[i].startSector);
        EXPECT_EQ(run.carved[i].size, direct.carved[i].size);
    }
    EXPECT_GE(run.carved.size(), 10u);
}

}  // namespace
