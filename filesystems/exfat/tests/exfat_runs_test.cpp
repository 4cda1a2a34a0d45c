// The pieces of the whole-device exFAT search on sectors made here: the sector recognizer, directory
// runs, the fragment bookkeeping, the volume rebuild and the searcher's boot and FAT evidence.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>

#include "filesystems/exfat/CExFatCompleteSearch.h"
#include "filesystems/exfat/ExFatDirectoryInfo.h"
#include "filesystems/exfat/ExFatSectorRecognizer.h"
#include "filesystems/exfat/ExFatVolumeCollection.h"
#include "filesystems/exfat/ExFatVolumeFragments.h"
#include "filesystems/exfat/ExFatVolumeRebuild.h"
#include "filesystems/exfat/tests/ExFatEntryBuilders.h"
#include "filesystems/exfat/tests/ExFatTestSupport.h"
#include "media_recovery/CStorageDeviceWithCache.h"
#include "testing/MemoryDevice.h"

using namespace exfattest;

namespace {

// Sectors of 512 bytes, zeroed, into which entries are put.
struct Sectors {
    explicit Sectors(size_t count) : bytes(count * 512) {}
    uint8_t* At(size_t sector) { return bytes.data() + sector * 512; }
    // Puts the entries from entry slot `slot` of `sector` on, running on into the next sectors.
    void Put(size_t sector, size_t slot, const Entry& entries) {
        std::memcpy(At(sector) + slot * 32, entries.data(), entries.size());
    }
    std::vector<uint8_t> bytes;
};

Entry Part(const Entry& set, size_t fromEntry, size_t toEntry) {
    return Entry(set.begin() + fromEntry * 32, set.begin() + toEntry * 32);
}

// Three-entry sets filling `count` slots.
Entry Filler(size_t count, uint32_t firstCluster) {
    Entry out;
    for (size_t i = 0; i < count / 3; ++i) {
        Entry s = Set(true, u"f" + std::u16string(1, static_cast<char16_t>(u'a' + i)), firstCluster + i, 100);
        out.insert(out.end(), s.begin(), s.end());
    }
    return out;
}

struct Recognizer {
    Recognizer() { r.SetVolumeParameters(1u << 24, 25, 9, 16); }
    // Scans a sector of s; what lies after `end` sectors of s is out of reach.
    bool Scan(Sectors& s, size_t sector, size_t reach = 3) {
        return r.ScanDirectorySector(sector, s.At(sector), s.At(sector) + reach * 512);
    }
    std::vector<std::string> Names(ExFatDirectoryInfo* run) {
        std::vector<std::string> out;
        for (auto* list : {&run->live, &run->deleted})
            for (const ExFatEntryRecord& rec : *list) out.push_back(rec.name);
        return out;
    }
    ExFatSectorRecognizer r;
};

const std::u16string kLong = u"A name of thirty-one characters";  // three name entries: a set of five

}  // namespace

TEST(ExFatSectorRecognizer, ASetRunningIntoTheNextSectorIsFinishedThere) {
    Sectors s(4);
    s.Put(0, 0, Filler(12, 10));
    s.Put(0, 12, Set(true, kLong, 40, 1000));  // entries 12..15 and the next sector's first
    Recognizer t;
    EXPECT_FALSE(t.Scan(s, 0));
    EXPECT_EQ(t.r.CurrentRun()->live.size(), 4u);
    EXPECT_TRUE(t.Scan(s, 1));  // the set ends, then a 0x00 entry ends the run
    ExFatDirectoryInfo* run = t.r.CurrentRun();
    ASSERT_EQ(run->live.size(), 5u);
    EXPECT_EQ(run->live.back().sector, 0u);
    EXPECT_STREQ(run->live.back().name, "A name of thirty-one characters");
    EXPECT_EQ(run->sectorCount, 2u);
    EXPECT_EQ(t.r.HeadCount(), 0u);
}

// A set whose only fault is a time (an access time of 0) is a file when its checksum holds; one
// whose checksum fails is passed over, and the sets after it in the sector still count.
TEST(ExFatSectorRecognizer, ASetWithAnImpossibleTimeIsKeptByItsChecksumElsePassedOver) {
    Entry zeroAccess = Set(true, u"zero.jpg", 10, 100), stale = Set(true, u"stale.jpg", 11, 100);
    for (size_t i = 16; i < 20; ++i) zeroAccess[i] = stale[i] = 0;
    uint16_t sum = 0;  // the phone wrote the time and the checksum together
    for (size_t i = 0; i < zeroAccess.size(); ++i)
        if (i != 2 && i != 3) sum = static_cast<uint16_t>(((sum >> 1) | (sum << 15)) + zeroAccess[i]);
    Put16(&zeroAccess[2], sum);
    Sectors s(2);
    s.Put(0, 0, zeroAccess);
    s.Put(0, 3, stale);
    s.Put(0, 6, Set(true, u"after.jpg", 12, 100));
    Recognizer t;
    t.Scan(s, 0);
    ASSERT_NE(t.r.CurrentRun(), nullptr);
    EXPECT_EQ(t.Names(t.r.CurrentRun()), (std::vector<std::string>{"zero.jpg", "after.jpg"}));
}

// A set cut between two runs, head first or tail first, live or deleted (a deleted set whose
// checksum was made while it was live), joins by its checksum with as many entries in the head as
// lie there.
TEST(ExFatSectorRecognizer, ACutSetJoinsItsOtherHalfWhicheverComesFirst) {
    Entry deleted = Set(true, kLong, 40, 1000);
    for (size_t e = 0; e < deleted.size(); e += 32) deleted[e] &= 0x7F;
    for (const Entry& set : {Set(true, kLong, 40, 1000), deleted}) {
        for (bool headFirst : {true, false}) {
            SCOPED_TRACE(headFirst ? "head first" : "tail first");
            const size_t head = headFirst ? 10 : 50, tail = headFirst ? 50 : 10;
            Sectors s(60);
            s.Put(head, 0, Filler(9, 10));
            s.Put(head, 9, Set(true, u"sixteen letters!", 30, 100));
            s.Put(head, 13, Part(set, 0, 3));  // file, stream, first name: the rest is elsewhere
            s.Put(tail, 0, Part(set, 3, 5));
            s.Put(tail, 2, Filler(3, 90));
            Recognizer t;
            std::vector<std::string> joined;
            for (size_t sector : {size_t{10}, size_t{50}}) {
                EXPECT_TRUE(t.Scan(s, sector, 1));
                ExFatDirectoryInfo* run = t.r.CurrentRun();
                EXPECT_EQ((run->flags & ExFatDirectoryInfo::kSetLeaves) != 0, sector == head);
                EXPECT_EQ((run->flags & ExFatDirectoryInfo::kBeginsInsideSet) != 0, sector == tail);
                if (sector == 50)
                    for (const std::string& n : t.Names(run)) joined.push_back(n);
                t.r.TakeRun();
            }
            EXPECT_NE(std::find(joined.begin(), joined.end(), "A name of thirty-one characters"), joined.end());
            EXPECT_EQ(t.r.FindLinkedRun(head), tail);
            EXPECT_EQ(t.r.FindLinkingRun(tail), head);
            EXPECT_EQ(t.r.HeadCount() + t.r.TailCount(), 0u);
        }
    }
}

TEST(ExFatSectorRecognizer, WhatEndsARun) {
    const Entry label = [] {
        Entry e(32);
        e[0] = 0x83;
        return e;
    }();
    const Entry bitmap = [] {
        Entry e(32);
        e[0] = 0x81, Put32(&e[20], 2), Put64(&e[24], 4096);
        return e;
    }();
    Entry upcase = bitmap;
    upcase[0] = 0x82;
    Entry vendor(32);
    vendor[0] = 0xE1;
    Entry withVendor = Set(true, u"camera.jpg", 20, 5000, {vendor});
    Entry unknown(32);
    unknown[0] = 0xE5;
    struct Case {
        const char* what;
        std::vector<Entry> entries;
        bool ends;
        size_t records;
        bool runKept;
    } cases[] = {
        {"two live labels", {label, label, Filler(3, 10)}, true, 0, true},
        {"two bitmaps", {bitmap, bitmap, Filler(3, 10)}, true, 0, true},
        {"two up-case tables", {upcase, upcase, Filler(3, 10)}, true, 0, true},
        {"an end-of-folder entry first", {Entry(32, 0), Filler(3, 10)}, true, 0, false},
        {"a vendor entry inside a set", {withVendor, Filler(12, 30)}, false, 5, true},
        {"a benign type no device writes first", {unknown, Filler(3, 10)}, true, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Sectors s(3);
        size_t slot = 0;
        for (const Entry& e : c.entries) s.Put(0, slot, e), slot += e.size() / 32;
        Recognizer t;
        EXPECT_EQ(t.Scan(s, 0), c.ends);
        ExFatDirectoryInfo* run = t.r.CurrentRun();
        EXPECT_EQ(run->live.size(), c.records);
        EXPECT_EQ(run->firstSector != ExFatDirectoryInfo::kNoSector, c.runKept);
    }
}

// The whole-device search passes over, at rest, the sectors these tests say hold nothing: a
// recognizer at rest must keep nothing of any of them. Every kind of entry that counts, behind 0 to
// 5 benign ones, whole (counted) and with a byte set that it must have zero (passed over), and
// sectors of random bytes, most of which are passed over.
TEST(ExFatSectorRecognizer, WhatTheSiftPassesOverHoldsNothing) {
    const auto passedOver = [](const ExFatSectorRecognizer& r, const uint8_t* p) {
        bool readOn = false;
        return !r.FirstTypeMayCount(p) || r.FirstFourHoldNoEntry(p, readOn) || (readOn && r.PastFourHoldNoEntry(p));
    };
    const auto keepsNothing = [](Sectors& s) {
        Recognizer t;
        t.Scan(s, 0);
        const ExFatDirectoryInfo* run = t.r.CurrentRun();
        return t.r.AtRest() && (!run || run->IsEmpty());
    };
    Entry label(32), bitmap(32), upcase(32), other(32);
    label[0] = 0x83;
    bitmap[0] = 0x81, Put32(&bitmap[20], 2), Put64(&bitmap[24], 4096);
    upcase = bitmap, upcase[0] = 0x82;
    other[0] = 0x10;  // no entry counts by it
    Entry unknownBenign(32);
    unknownBenign[0] = 0xB3;  // benign, but of a type no device writes
    const Entry live = Set(true, u"a.jpg", 10, 100), deleted = Set(false, u"b.jpg", 12, 100);
    struct Decisive {
        const char* what;
        Entry entries;
        size_t mustBeZero;  // a byte of the first entry that its validator asks to be zero; 0: none
    } decisive[] = {{"label", label, 24},        {"bitmap", bitmap, 8},          {"up-case table", upcase, 8},
                    {"live set", live, 25},       {"deleted set", deleted, 25},   {"stream", Part(live, 1, 2), 16},
                    {"name", Part(live, 2, 3), 1}, {"no entry", other, 0},
                    {"unknown benign", unknownBenign, 0}};
    for (const Decisive& d : decisive) {
        for (size_t benign = 0; benign <= 5; ++benign) {
            for (bool broken : {false, true}) {
                SCOPED_TRACE(std::string(d.what) + " behind " + std::to_string(benign) + (broken ? ", broken" : ""));
                Sectors s(3);
                for (size_t i = 0; i < benign; ++i) {
                    Entry b(32);
                    b[0] = "\xA0\xE1\x22\x60\xA1"[i];  // benign primaries and vendor secondaries
                    s.Put(0, i, b);
                }
                s.Put(0, benign, d.entries);
                if (broken && d.mustBeZero) s.At(0)[benign * 32 + d.mustBeZero] = 0x5A;
                const bool nothing = keepsNothing(s);
                EXPECT_EQ(nothing, broken || !d.mustBeZero);
                EXPECT_EQ(passedOver(Recognizer().r, s.At(0)), nothing);
            }
        }
    }
    Sectors all(3);
    for (size_t i = 0; i < 16; ++i) all.At(0)[i * 32] = 0xE1;
    EXPECT_TRUE(keepsNothing(all));
    EXPECT_TRUE(passedOver(Recognizer().r, all.At(0)));
    std::mt19937 random(46);
    size_t passed = 0;
    for (int i = 0; i < 4000; ++i) {
        Sectors s(3);
        for (uint8_t& b : s.bytes) b = static_cast<uint8_t>(random());
        if (!passedOver(Recognizer().r, s.At(0))) continue;
        ++passed;
        ASSERT_TRUE(keepsNothing(s)) << "random sector " << i;
    }
    EXPECT_GT(passed, 3980u);
}

TEST(ExFatSectorRecognizer, NothingPastTheLoadedChunkIsRead) {
    // The rest of the set lies in the next sector, but that sector is not loaded.
    Sectors s(2);
    s.Put(0, 0, Filler(12, 10));
    s.Put(0, 12, Set(true, kLong, 40, 1000));
    Recognizer t;
    EXPECT_TRUE(t.Scan(s, 0, 1));
    EXPECT_EQ(t.r.HeadCount(), 1u);
    EXPECT_TRUE(t.r.CurrentRun()->flags & ExFatDirectoryInfo::kSetLeaves);
}

TEST(ExFatDirectoryInfo, BoundsOrderAndClaims) {
    ExFatEntryRecord r;
    auto record = [&](uint32_t first, uint64_t length, bool noFatChain, uint16_t attributes = 0x20) {
        r = ExFatEntryRecord();
        r.inUse = 1, r.firstCluster = first, r.dataLength = length, r.noFatChain = noFatChain ? 1 : 0;
        r.attributes = attributes;
        return r;
    };
    ExFatDirectoryInfo run;
    run.FinishSet(record(10, 100, false));
    run.FinishSet(record(4, 100, false));
    run.FinishSet(record(7, 3 * 0x1000, false, 0x10));
    run.FinishSet(record(0, 0, false));  // an empty file has no cluster
    EXPECT_EQ(run.directoryBound, 0x1000u);
    EXPECT_EQ(run.lowestFirstCluster, 4u);
    EXPECT_EQ(run.subdirectories.size(), 1u);
    run.Finish(9);
    std::vector<uint32_t> order;
    for (const ExFatEntryRecord& rec : run.live) order.push_back(rec.firstCluster);
    EXPECT_EQ(order, (std::vector<uint32_t>{0, 4, 7, 10}));
    EXPECT_EQ(run.directoryBound, 8u);

    // ceil(10000 / 3) = 3334 bytes: at least 4096.
    ExFatDirectoryInfo estimate;
    estimate.FinishSet(record(100, 10000, true));
    estimate.FinishSet(record(103, 10, true));
    estimate.Finish(9);
    EXPECT_EQ(estimate.lowerBound, 8u);

    ExFatDirectoryInfo shared;
    shared.FinishSet(record(50, 10, false));
    shared.FinishSet(record(50, 10, false));
    ExFatClusterClaims used;
    EXPECT_FALSE(shared.ClaimClusters(used, 4096));

    // A 4 GiB contiguous video is one claim, not a million.
    ExFatDirectoryInfo video;
    video.FinishSet(record(1000, 4ULL << 30, true));
    ExFatClusterClaims claims;
    EXPECT_TRUE(video.ClaimClusters(claims, 4096));
    EXPECT_EQ(claims.IntervalCount(), 1u);
    EXPECT_FALSE(claims.Claim(1000 + (1 << 20) - 1, 1));
    EXPECT_TRUE(claims.Claim(1000 + (1 << 20), 1));

    ExFatDirectoryInfo root;
    root.flags = ExFatDirectoryInfo::kRootEntries;
    EXPECT_TRUE(root.HasContent());
}

TEST(ExFatVolumeFragments, TheCandidatesTests) {
    ExFatVolume v;
    v.heapStart = 1000, v.sectorsPerCluster = 8, v.volumeLength = 8000;
    ExFatDirectoryInfo run;
    run.sectorCount = 1;
    for (auto [first, inside] : {std::pair<uint64_t, bool>{1008, false}, {1016, true}, {8999, true}, {9000, false}}) {
        run.firstSector = first;
        EXPECT_EQ(FragmentInsideVolume(v, &run), inside) << first;
    }

    run.firstSector = 1016;
    TakeFragmentChain(v, &run, false);
    EXPECT_TRUE(IsFragmentTaken(v, &run));
    EXPECT_EQ(run.flags, 0u);
    EXPECT_TRUE(v.runMarks.empty());
    EXPECT_EQ(v.alignedKeys, (std::vector<uint64_t>{1016}));

    // Own cluster 100 (sector 1784): files from 101 pass, from 102 not, a shared cluster not.
    auto owned = [&](std::vector<uint32_t> clusters) {
        ExFatDirectoryInfo f;
        f.firstSector = 1000 + 98 * 8;
        for (uint32_t c : clusters) {
            ExFatEntryRecord r;
            r.inUse = 1, r.firstCluster = c, r.dataLength = 10;
            f.FinishSet(r);
        }
        return IsOwnClusterBeforeFiles(&f, v, 512);
    };
    EXPECT_TRUE(owned({101, 105}));
    EXPECT_FALSE(owned({102, 105}));
    EXPECT_FALSE(owned({101, 101}));
    EXPECT_FALSE(owned({100, 105}));

    ExFatVolume keys;
    keys.heapStart = 1000, keys.sectorsPerCluster = 8;
    for (uint64_t k : {1008, 1013, 1040, 1045, 1060}) AddFragmentKey(keys, k);
    MergeMisalignedKeys(keys, 4096);
    EXPECT_EQ(keys.sectorSize, 4096u);
    EXPECT_EQ(keys.alignedKeys, (std::vector<uint64_t>{1008, 1040, 1013}));
    ExFatVolume none;
    none.heapStart = 1000, none.sectorsPerCluster = 8;
    AddFragmentKey(none, 1013);
    MergeMisalignedKeys(none, 512);
    EXPECT_TRUE(none.alignedKeys.empty());
}

namespace {

// A collection of runs made by hand, and a rebuild over it.
struct Runs {
    ExFatDirectoryInfo* Add(uint64_t first, uint32_t sectors, std::vector<ExFatEntryRecord> records,
                            uint32_t flags = 0) {
        auto run = std::make_unique<ExFatDirectoryInfo>();
        run->firstSector = first, run->sectorCount = sectors, run->flags = flags;
        for (const ExFatEntryRecord& r : records) run->FinishSet(r);
        return collection.AddRun(std::move(run), recognizer, 9);
    }
    static ExFatEntryRecord File(uint32_t first, uint64_t length, bool folder = false) {
        ExFatEntryRecord r;
        r.inUse = 1, r.firstCluster = first, r.dataLength = length, r.noFatChain = folder ? 0 : 1;
        r.attributes = folder ? 0x10 : 0x20;
        return r;
    }
    ExFatSectorRecognizer recognizer;
    ExFatVolumeCollection collection;
    std::vector<uint64_t> upcase;
    ExFatVolumeRebuild rebuild{collection, upcase, 1u << 24, 512};
};

}  // namespace

TEST(ExFatVolumeRebuild, TheUpcaseTablePlacesTheRootRun) {
    Runs t;
    t.upcase = {10000};
    // Files of 1000 bytes two clusters apart: a cluster of at least 512 bytes; a folder of 16
    // sectors: at most 16 sectors.
    ExFatDirectoryInfo* root = t.Add(10064, 1, {Runs::File(1000, 1000), Runs::File(1002, 600),
                                                Runs::File(1003, 16 * 512, true)}, ExFatDirectoryInfo::kRootEntries);
    root->upcaseFirstCluster = 3, root->upcaseDataLength = 5836;
    root->lowerBound = 2;  // as if its files had said so
    std::vector<ExFatVolume*> found;
    ExFatVolumeRebuild::NewCandidates made;
    t.rebuild.CandidatesFromUpcase(root, found, made);
    std::set<uint32_t> sizes;
    for (auto& c : made) {
        sizes.insert(c->sectorsPerCluster);
        EXPECT_EQ(c->heapStart, 10000u - c->sectorsPerCluster);
        EXPECT_EQ(c->rootCluster, 64 / c->sectorsPerCluster + 3);
        EXPECT_TRUE(c->fromUpcase);
    }
    EXPECT_EQ(sizes, (std::set<uint32_t>{2, 4, 8, 16}));
    EXPECT_TRUE(found.empty());
}

TEST(ExFatVolumeRebuild, PlacesOfTheRootClusterAreBoundedAndNeedFiles) {
    Runs t;
    // Only empty files and a FirstCluster of 1: no file says where the root cannot lie.
    ExFatDirectoryInfo* empty = t.Add(5000, 1, {Runs::File(0, 0)}, ExFatDirectoryInfo::kRootEntries);
    std::vector<ExFatVolume*> found;
    ExFatVolumeRebuild::NewCandidates made;
    t.rebuild.CandidatesFromRootPlace(empty, found, made);
    EXPECT_TRUE(made.empty());
    // The first file a million clusters in: at most the cap's number of places are made.
    ExFatDirectoryInfo* far = t.Add(10000000, 1, {Runs::File(1000000, 10)}, ExFatDirectoryInfo::kRootEntries);
    far->directoryBound = 1;
    t.rebuild.CandidatesFromRootPlace(far, found, made);
    EXPECT_EQ(made.size(), ExFatVolumeRebuild::kMostRootPlaceCandidates);
    // Near the device's start, with the first file four billion clusters in: the places end where
    // the heap would begin before the device.
    made.clear();
    ExFatDirectoryInfo* near = t.Add(100, 1, {Runs::File(0xF0000000, 10)}, ExFatDirectoryInfo::kRootEntries);
    near->directoryBound = 1;
    t.rebuild.CandidatesFromRootPlace(near, found, made);
    EXPECT_EQ(made.size(), 101u);  // root clusters 2 to 102
}

TEST(ExFatVolumeRebuild, ARunThatBeginsInsideASetIsNeitherPlacedNorMatched) {
    Runs t;
    // A folder at cluster 20 whose run begins inside a set, named by a parent run at cluster 10.
    t.Add(1000 + 8, 1, {Runs::File(11, 100), Runs::File(20, 512, true)});
    t.Add(1000 + 18, 1, {Runs::File(21, 100), Runs::File(22, 100)}, ExFatDirectoryInfo::kBeginsInsideSet);
    ExFatVolume geometry;
    geometry.heapStart = 1000, geometry.sectorsPerCluster = 1;
    EXPECT_FALSE(t.rebuild.MatchChain(t.collection.Run(0), geometry, false, nullptr));
    t.rebuild.PlaceByOwnCluster(t.collection.Run(0));
    const size_t before = t.collection.Candidates().size();
    t.rebuild.BuildVolumes();
    for (auto& c : t.collection.Candidates()) EXPECT_FALSE(IsFragmentTaken(*c, t.collection.Run(1)));
    EXPECT_GE(t.collection.Candidates().size(), before);
}

TEST(ExFatVolumeRebuild, OfTwoVolumesWithTheSameMarksTheFirstInOrderStays) {
    ExFatVolume a, b, c;
    for (ExFatVolume* v : {&a, &b, &c}) v->runMarks = {{100, 1}, {200, 1}};
    a.evidence = EXFAT_EVIDENCE_ROOT_RUN, b.evidence = EXFAT_EVIDENCE_ROOT_RUN | EXFAT_EVIDENCE_OWN_CLUSTER;
    c.evidence = EXFAT_EVIDENCE_MAIN_BOOT;
    c.runMarks = {{300, 1}};
    std::vector<ExFatVolume*> kept = ExFatVolumeRebuild::KeepDistinctVolumes({&a, &b, &c}, 512);
    EXPECT_EQ(kept, (std::vector<ExFatVolume*>{&c, &b}));
    // Equal evidence: more runs held goes first.
    ExFatDirectoryInfo r1, r2;
    a.evidence = b.evidence;
    a.takenRuns = {&r1, &r2};
    kept = ExFatVolumeRebuild::KeepDistinctVolumes({&b, &a}, 512);
    EXPECT_EQ(kept, (std::vector<ExFatVolume*>{&a}));
}

TEST(ExFatVolumeCollection, CandidatesAreCutBackNewestFirst) {
    ExFatVolumeCollection collection;
    for (uint64_t h = 0; h < ExFatVolumeCollection::kMostCandidates + 10; ++h) {
        auto v = std::make_unique<ExFatVolume>();
        v->heapStart = 1000 + h;
        collection.AddCandidate(std::move(v));
    }
    ExFatVolume* newest = collection.Candidates().back().get();
    collection.MarkAccepted(newest);
    collection.ApplyCandidateCap();
    EXPECT_EQ(collection.Candidates().size(), ExFatVolumeCollection::kCandidatesKept);
    EXPECT_EQ(collection.Candidates().back().get(), newest);
    EXPECT_EQ(collection.Candidates().front()->heapStart, 1000u);
    EXPECT_EQ(collection.FindCandidate(1000 + ExFatVolumeCollection::kCandidatesKept, 0), nullptr);
}

namespace {

// Scans all chunks but the search's end, so that its candidates can be looked at.
void ScanOnly(CExFatCompleteSearch& searcher, MemoryDevice& device, IDirecotryTreeBuilder& builder, uint32_t chunk) {
    searcher.SetDevice(&device);
    searcher.SetChunkSectors(chunk);
    searcher.SetBuilder(&builder);
    for (uint64_t first = 0; first < device.GetSectorCount(); first += chunk)
        ASSERT_EQ(searcher.ScanChunk(first, std::min<uint64_t>(chunk, device.GetSectorCount() - first), nullptr), 1);
}

// The same through the read-ahead cache, which lends each chunk.
void ScanLent(CExFatCompleteSearch& searcher, MemoryDevice& device, IDirecotryTreeBuilder& builder, uint32_t chunk) {
    CStorageDeviceWithCache cache(&device);
    ASSERT_EQ(cache.SetChunkSectors(chunk), 1);
    ASSERT_EQ(cache.Start(), 1);
    searcher.SetDevice(&cache);
    searcher.SetChunkSectors(chunk);
    searcher.SetBuilder(&builder);
    for (uint64_t i = 0; i < cache.GetChunkCount(); ++i) {
        ASSERT_EQ(cache.LoadChunk(i), 1);
        const uint64_t first = i * chunk;
        ASSERT_EQ(searcher.ScanChunk(first, std::min<uint64_t>(chunk, device.GetSectorCount() - first), nullptr), 1);
    }
    cache.Stop();
    searcher.SetDevice(&device);
}

}  // namespace

// Boot sectors 12 apart (also across chunks), a backup alone, one near the device start, and the
// starts of the FATs they name.
TEST(CExFatCompleteSearch, BootAndFatEvidence) {
    struct Case {
        const char* what;
        std::vector<size_t> boots;
        uint8_t fats;
        std::vector<size_t> fatStarts;
        uint32_t chunk;
        std::vector<std::pair<uint64_t, uint32_t>> candidates;  // volume start, evidence
    } cases[] = {
        {"main and backup", {100, 112}, 1, {}, 4096, {{100, 0xC0000000}}},
        {"main and backup in two chunks", {100, 112}, 1, {}, 108, {{100, 0xC0000000}}},
        {"a backup alone", {112}, 1, {}, 4096, {{112, 0x80000000}, {100, 0x40000000}}},
        {"near the start", {5}, 1, {}, 4096, {{5, 0x80000000}}},
        {"one FAT", {100}, 1, {124, 140, 700}, 4096, {{100, 0x80000001}, {88, 0x40000000}}},
        {"two FATs", {100}, 2, {140}, 4096, {{100, 0x80000002}, {88, 0x40000000}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Sectors s(1024);
        const std::vector<uint8_t> boot = BootSector(800, 24, 16, 100, 600, 4, 9, 0, c.fats);
        for (size_t at : c.boots) std::memcpy(s.At(at), boot.data(), 512);
        for (size_t at : c.fatStarts) std::memset(s.At(at), 0xFF, 8), s.At(at)[0] = 0xF8;
        MemoryDevice device(std::move(s.bytes), 512);
        CExFatCompleteSearch searcher;
        RecordingBuilder builder;
        ScanOnly(searcher, device, builder, c.chunk);
        std::vector<std::pair<uint64_t, uint32_t>> made;
        for (auto& v : searcher.Collection().Candidates()) made.push_back({v->volumeStart, v->evidence});
        EXPECT_EQ(made, c.candidates);
    }
}

// A set of nineteen entries begun in a sector's last slot ends 576 bytes past that sector: it is
// seen whole wherever a chunk ends, the chunks read or lent by the cache.
TEST(CExFatCompleteSearch, ALongSetPastAChunkEndIsSeenWhole) {
    const std::u16string name(255, u'n');  // the stream and 17 name entries
    for (const uint32_t chunk : {1u, 2u, 9u, 10u, 11u, 4096u}) {
        for (const bool lent : {false, true}) {
            SCOPED_TRACE(std::to_string(chunk) + (lent ? " lent" : " read"));
            Sectors s(64);
            s.Put(9, 0, Filler(15, 10));
            s.Put(9, 15, Set(true, name, 40, 1000));
            MemoryDevice device(std::move(s.bytes), 512);
            CExFatCompleteSearch searcher;
            RecordingBuilder builder;
            if (lent) ScanLent(searcher, device, builder, chunk);
            else ScanOnly(searcher, device, builder, chunk);
            ASSERT_EQ(searcher.Collection().RunCount(), 1u);
            const ExFatDirectoryInfo* run = searcher.Collection().Run(0);
            EXPECT_EQ(run->firstSector, 9u);
            ASSERT_EQ(run->live.size(), 6u);
            EXPECT_EQ(std::string(run->live.back().name), std::string(255, 'n'));
            EXPECT_EQ(run->flags & ExFatDirectoryInfo::kSetLeaves, 0u);
        }
    }
}

// More runs than may wait are processed while the scan goes on.
TEST(CExFatCompleteSearch, RunsAreProcessedWhileTheScanGoesOn) {
    const size_t runs = CExFatCompleteSearch::kMostWaitingRuns + 100;
    Sectors s(2 * runs + 4);
    for (size_t i = 0; i < runs; ++i) s.Put(2 * i + 1, 0, Set(true, u"photo.jpg", 100 + 3 * i, 1000));
    MemoryDevice device(std::move(s.bytes), 512);
    CExFatCompleteSearch searcher;
    RecordingBuilder builder;
    ScanOnly(searcher, device, builder, 8192);
    EXPECT_EQ(searcher.Collection().RunCount(), runs);
    EXPECT_GE(searcher.Collection().cursor, 99u);
    searcher.EndSearch();
    EXPECT_EQ(builder.calls, (std::vector<std::string>{"end 33"}));
    EXPECT_EQ(searcher.GetPartitions(nullptr, 0), 0);
}

// Two runs that each begin inside a set whose head ends the other: the second link would close a
// loop and is refused, and the end of the search ends.
TEST(CExFatCompleteSearch, RunLinksNeverCloseALoop) {
    const Entry first = Set(true, kLong, 40, 1000), second = Set(true, u"Another name of thirty-one units", 41, 900);
    Sectors s(64);
    s.Put(10, 0, Part(second, 3, 5));
    s.Put(10, 2, Filler(12, 10));
    s.Put(10, 14, Part(first, 0, 2));
    s.Put(50, 0, Part(first, 2, 5));
    s.Put(50, 3, Set(true, u"sixteen letters!", 30, 100));
    s.Put(50, 7, Filler(6, 20));
    s.Put(50, 13, Part(second, 0, 3));
    MemoryDevice device(std::move(s.bytes), 512);
    CExFatCompleteSearch searcher;
    RecordingBuilder builder;
    ScanOnly(searcher, device, builder, 32);
    ASSERT_EQ(searcher.Collection().RunCount(), 2u);
    ExFatDirectoryInfo* x = searcher.Collection().Run(0);
    ExFatDirectoryInfo* y = searcher.Collection().Run(1);
    EXPECT_EQ(x->next, y);
    EXPECT_EQ(y->previous, x);
    EXPECT_EQ(y->next, nullptr);
    EXPECT_EQ(x->previous, nullptr);
    EXPECT_EQ(x->live.size() + y->live.size(), 9u);  // seven whole sets and both cut ones
    searcher.EndSearch();
}

// Halves of cut sets wait at most so many at a time.
TEST(ExFatSectorRecognizer, WaitingHalvesAreCapped) {
    const size_t sectors = ExFatSectorRecognizer::kMostHeads + 10;
    Sectors s(2 * sectors + 2);
    for (size_t i = 0; i < sectors; ++i) {
        s.Put(2 * i, 0, Filler(9, 10));
        s.Put(2 * i, 9, Set(true, u"sixteen letters!", 30, 100));
        s.Put(2 * i, 13, Part(Set(true, kLong, static_cast<uint32_t>(100 + i), 1000), 0, 3));
    }
    Recognizer t;
    for (size_t i = 0; i < sectors; ++i) {
        t.Scan(s, 2 * i, 1);
        t.r.TakeRun();
    }
    EXPECT_EQ(t.r.HeadCount(), ExFatSectorRecognizer::kMostHeads);
}
