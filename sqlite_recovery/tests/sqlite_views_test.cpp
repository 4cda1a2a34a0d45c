// The views of a database with its write-ahead log, against pairs made by the sqlite3 program and
// the same pairs checkpointed by sqlite3 itself.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <map>
#include <set>

#include "sqlite_recovery/engine/CFileIOSQLite.h"
#include "sqlite_recovery/engine/CFileIOSQLiteEx.h"
#include "sqlite_recovery/engine/CFileIOWin32.h"
#include "sqlite_recovery/engine/CSQLiteFileIOManager.h"
#include "sqlite_recovery/engine/SQLiteFormat.h"
#include "sqlite_recovery/engine/WalFile.h"
#include "sqlite_recovery/tests/SqliteTestSupport.h"
#include "platform/StringConversion.h"

using namespace sqlite_test;

namespace {

std::wstring W(const std::string& s) { return platform::Utf8ToWide(s); }

// Every page of a view, read in one call.
std::vector<std::string> ReadPages(IFileIO* view, uint32_t pageSize) {
    int64_t size = 0;
    EXPECT_TRUE(Succeeded(view->GetSize(&size)));
    std::vector<uint8_t> all(static_cast<size_t>(size));
    EXPECT_TRUE(Succeeded(view->Seek(0, nullptr)));
    unsigned done = 0;
    EXPECT_TRUE(Succeeded(view->Read(all.data(), static_cast<unsigned>(size), &done)));
    EXPECT_EQ(done, static_cast<unsigned>(size));
    std::vector<std::string> pages;
    for (int64_t at = 0; at < size; at += pageSize)
        pages.emplace_back(reinterpret_cast<const char*>(all.data() + at), pageSize);
    return pages;
}

struct Pair {
    CSQLiteFileIOManager manager;
    explicit Pair(const std::string& db) { EXPECT_TRUE(Succeeded(manager.Open(W(db).c_str()))); }
    IFileIO* View(int index, int* flag = nullptr) {
        IFileIO* v = nullptr;
        int f = -7;
        EXPECT_TRUE(Succeeded(manager.GetView(&v, index, &f)));
        if (flag) *flag = f;
        return v;
    }
};

// Copies db and log into dir, letting the caller damage the log first (hand-made changes: no tool
// writes a broken log).
std::string CopyPair(const TempDir& dir, const std::string& name, const std::function<void(std::vector<uint8_t>&)>& edit) {
    const std::string db = dir.Join(name + ".db");
    WriteFileBytes(db, ReadFileBytes(Fixture(name + ".db")));
    std::vector<uint8_t> wal = ReadFileBytes(Fixture(name + ".db-wal"));
    edit(wal);
    WriteFileBytes(db + "-wal", wal);
    return db;
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// Writes the header's and every frame's checksum again after a hand-made change, each frame's
// continuing the one before it in the file, as SQLite writes one log generation.
void Reseal(std::vector<uint8_t>& w, uint32_t pageSize = 4096) {
    const bool bigEndian = w[3] == 0x83;
    uint32_t sum[2] = {0, 0};
    WalChecksum(w.data(), 24, bigEndian, sum);
    Put32(w, 24, sum[0]);
    Put32(w, 28, sum[1]);
    for (size_t at = 32; at + 24 + pageSize <= w.size(); at += 24 + pageSize) {
        WalChecksum(w.data() + at, 8, bigEndian, sum);
        WalChecksum(w.data() + at + 24, pageSize, bigEndian, sum);
        Put32(w, at + 16, sum[0]);
        Put32(w, at + 20, sum[1]);
    }
}

}  // namespace

TEST(SqliteViews, PlainDatabaseIsOneView) {
    Pair pair(Fixture("values_4096_sdoff.db"));
    EXPECT_FALSE(pair.manager.IsWalMode());
    EXPECT_EQ(pair.manager.GetViewCount(), 1);
    int flag = -7;
    IFileIO* v = nullptr;
    ASSERT_TRUE(Succeeded(pair.manager.GetView(&v, 0, &flag)));
    EXPECT_EQ(flag, -7);  // left untouched
    EXPECT_NE(dynamic_cast<CFileIOWin32*>(v), nullptr);
    v->Release();
}

TEST(SqliteViews, CommittedViewEqualsTheCheckpointedPair) {
    for (const char* name : {"wal", "wal_frames", "wal_stale", "wal_tail"}) {
        SCOPED_TRACE(name);
        Pair pair(Fixture(std::string(name) + ".db"));
        ASSERT_EQ(pair.manager.GetViewCount(), 2);
        int flag = -1;
        IFileIO* v1 = pair.View(1, &flag);
        ASSERT_NE(v1, nullptr);
        EXPECT_EQ(flag, 1);
        const uint32_t ps = pair.manager.Wal()->pageSize;
        EXPECT_EQ(pair.manager.Wal()->framesLeftOut, 0u);  // sqlite3's own logs pass their checksums
        const std::vector<uint8_t> checkpointed = ReadFileBytes(Fixture(std::string(name) + ".checkpointed.db"));
        const std::vector<std::string> pages = ReadPages(v1, ps);
        ASSERT_EQ(pages.size() * ps, checkpointed.size());
        for (size_t k = 0; k < pages.size(); ++k)
            EXPECT_EQ(std::memcmp(pages[k].data(), checkpointed.data() + k * ps, ps), 0) << "page " << k + 1;
        v1->Release();
    }
}

TEST(SqliteViews, EveryPageVersionIsInOneOfTheViews) {
    for (const char* name : {"wal", "wal_frames", "wal_stale", "wal_tail"}) {
        SCOPED_TRACE(name);
        Pair pair(Fixture(std::string(name) + ".db"));
        const WalFile* wal = pair.manager.Wal();
        ASSERT_NE(wal, nullptr);
        const uint32_t ps = wal->pageSize;
        int flag = -1;
        IFileIO* v0 = pair.View(0, &flag);
        IFileIO* v1 = pair.View(1);
        EXPECT_EQ(flag, 0);
        const std::vector<std::string> all = ReadPages(v0, ps), committed = ReadPages(v1, ps);
        ASSERT_GE(all.size(), committed.size());
        for (size_t k = 0; k < committed.size(); ++k) EXPECT_EQ(all[k], committed[k]) << "page " << k + 1;
        // Which frames does the committed view use? Every other frame, and every main-file page
        // whose place a frame took, is an extra page of view 0.
        auto* c = dynamic_cast<CFileIOSQLite*>(v1);
        ASSERT_NE(c, nullptr);
        std::set<int> used;
        for (uint64_t k = 0; k < committed.size(); ++k)
            if (c->FrameOfPage(k) >= 0) used.insert(c->FrameOfPage(k));
        const std::vector<uint8_t> main = ReadFileBytes(Fixture(std::string(name) + ".db"));
        size_t replaced = 0;
        for (size_t k = 0; k < main.size() / ps; ++k)
            if (k >= committed.size() || c->FrameOfPage(k) >= 0) ++replaced;
        EXPECT_EQ(all.size(), committed.size() + (wal->frames.size() - used.size()) + replaced);
        std::multiset<std::string> everywhere(all.begin(), all.end());
        everywhere.insert(committed.begin(), committed.end());
        for (const WalFrame& f : wal->frames)
            EXPECT_TRUE(everywhere.count(std::string(reinterpret_cast<const char*>(f.image), ps)));
        for (size_t k = 0; k < main.size() / ps; ++k)
            EXPECT_TRUE(everywhere.count(std::string(reinterpret_cast<const char*>(main.data() + k * ps), ps)));
        v0->Release();
        v1->Release();
    }
}

TEST(SqliteViews, TwoCurrentFramesOfOnePage) {
    // wal.db updated one row twice: its page has several current frames before the last commit.
    Pair pair(Fixture("wal.db"));
    const WalFile* wal = pair.manager.Wal();
    std::map<uint32_t, std::vector<int>> current;
    for (int i = 0; i <= wal->lastCommit; ++i)
        if (!wal->frames[i].stale) current[wal->frames[i].pageNumber].push_back(i);
    uint32_t page = 0;
    for (const auto& [p, frames] : current)
        if (frames.size() >= 2) page = p;
    ASSERT_NE(page, 0u);
    IFileIO* v1 = pair.View(1);
    IFileIO* v0 = pair.View(0);
    auto* c = dynamic_cast<CFileIOSQLite*>(v1);
    auto* ex = dynamic_cast<CFileIOSQLiteEx*>(v0);
    EXPECT_EQ(c->FrameOfPage(page - 1), current[page].back());  // the later one
    bool earlierIsExtra = false;
    for (size_t e = ex->CommittedPageCount(); e < ex->PageTable().size(); ++e)
        if (ex->PageTable()[e].kind == 2 && static_cast<int>(ex->PageTable()[e].index) == current[page].front())
            earlierIsExtra = true;
    EXPECT_TRUE(earlierIsExtra);
    v0->Release();
    v1->Release();
}

TEST(SqliteViews, FramesAfterTheLastCommitAreExtraPages) {
    Pair pair(Fixture("wal_tail.db"));
    const WalFile* wal = pair.manager.Wal();
    ASSERT_LT(static_cast<size_t>(wal->lastCommit) + 1, wal->frames.size());
    IFileIO* v0 = pair.View(0);
    auto* ex = dynamic_cast<CFileIOSQLiteEx*>(v0);
    std::set<uint32_t> extraFrames;
    for (const ViewPageEntry& e : ex->PageTable())
        if (e.kind == 2) extraFrames.insert(e.index);
    for (size_t j = wal->lastCommit + 1; j < wal->frames.size(); ++j) EXPECT_TRUE(extraFrames.count(static_cast<uint32_t>(j)));
    v0->Release();
}

TEST(SqliteViews, UnusableLogsGiveOnePlainView) {
    TempDir dir;
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> edit;
    };
    const Case cases[] = {
        {"511 bytes", [](std::vector<uint8_t>& w) { w.resize(511); }},
        {"bad magic", [](std::vector<uint8_t>& w) { Put32(w, 0, 0x377F0684); }},
        {"version", [](std::vector<uint8_t>& w) { Put32(w, 4, 3007001); }},
        {"page size 1000", [](std::vector<uint8_t>& w) { Put32(w, 8, 1000); }},
        {"page size not the database's", [](std::vector<uint8_t>& w) { Put32(w, 8, 1024); }},
        {"no commit frame",
         [](std::vector<uint8_t>& w) {
             for (size_t at = 32; at + 4096 + 24 <= w.size(); at += 4096 + 24) Put32(w, at + 4, 0);
         }},
        {"commit size beyond every page",
         [](std::vector<uint8_t>& w) {
             Put32(w, 32 + 4, 0x7FFFFFFF);
             Reseal(w);
         }},
        {"header checksum", [](std::vector<uint8_t>& w) { w[24] ^= 1; }},
        // Hostile: every frame after the header is random bytes.
        {"random frames",
         [](std::vector<uint8_t>& w) {
             std::mt19937 rng(7);
             for (size_t at = 32; at < w.size(); ++at) w[at] = static_cast<uint8_t>(rng());
         }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        const std::string db = CopyPair(dir, "wal", k.edit);
        CSQLiteFileIOManager m;
        ASSERT_TRUE(Succeeded(m.Open(W(db).c_str())));
        EXPECT_EQ(m.GetViewCount(), 1);
        IFileIO* v = nullptr;
        ASSERT_TRUE(Succeeded(m.GetView(&v, 1, nullptr)));
        EXPECT_NE(dynamic_cast<CFileIOWin32*>(v), nullptr);
        v->Release();
    }
    // Not in WAL mode by its header: one view even beside a good log.
    const std::string db = CopyPair(dir, "wal", [](std::vector<uint8_t>&) {});
    std::vector<uint8_t> bytes = ReadFileBytes(db);
    bytes[18] = bytes[19] = 1;
    WriteFileBytes(db, bytes);
    CSQLiteFileIOManager m;
    ASSERT_TRUE(Succeeded(m.Open(W(db).c_str())));
    EXPECT_EQ(m.GetViewCount(), 1);
    EXPECT_TRUE(Failed(m.Open(nullptr)));
    EXPECT_TRUE(Failed(m.Open(W(dir.Join("missing.db")).c_str())));
}

TEST(SqliteViews, FramesOfPageZeroAreSkipped) {
    TempDir dir;
    const std::string db = CopyPair(dir, "wal", [](std::vector<uint8_t>& w) {
        Put32(w, 32, 0);
        Reseal(w);
    });
    CSQLiteFileIOManager m;
    ASSERT_TRUE(Succeeded(m.Open(W(db).c_str())));
    ASSERT_EQ(m.GetViewCount(), 2);
    const size_t frames = (ReadFileBytes(db + "-wal").size() - 32) / (4096 + 24);
    EXPECT_EQ(m.Wal()->frames.size(), frames - 1);
    for (const WalFrame& f : m.Wal()->frames) EXPECT_NE(f.pageNumber, 0u);
}

TEST(SqliteViews, OnlyStaleCommits) {
    // Salts changed in the header: every frame is stale, and view 1 ends at the last stale commit.
    TempDir dir;
    const std::string db = CopyPair(dir, "wal_stale", [](std::vector<uint8_t>& w) {
        Put32(w, 16, 0x12345678);
        uint32_t sum[2] = {0, 0};
        WalChecksum(w.data(), 24, w[3] == 0x83, sum);
        Put32(w, 24, sum[0]);
        Put32(w, 28, sum[1]);
    });
    CSQLiteFileIOManager m;
    ASSERT_TRUE(Succeeded(m.Open(W(db).c_str())));
    ASSERT_EQ(m.GetViewCount(), 2);
    const WalFile* wal = m.Wal();
    for (const WalFrame& f : wal->frames) EXPECT_EQ(f.stale, 1u);
    IFileIO* v = nullptr;
    ASSERT_TRUE(Succeeded(m.GetView(&v, 1, nullptr)));
    int64_t size = 0;
    v->GetSize(&size);
    EXPECT_EQ(size, int64_t(wal->frames[wal->lastCommit].commitSize) * wal->pageSize);
    v->Release();
}

TEST(SqliteViews, WholePagesOnlyAndNoWrites) {
    Pair pair(Fixture("wal_stale.db"));  // page size 1024
    for (int index : {0, 1}) {
        SCOPED_TRACE(index);
        IFileIO* v = pair.View(index);
        std::vector<uint8_t> buffer(4096);
        unsigned done = 0;
        ASSERT_TRUE(Succeeded(v->Read(buffer.data(), 4096, &done)));
        EXPECT_EQ(done, 4096u);
        int64_t position = 0;
        ASSERT_TRUE(Succeeded(v->Seek(0, &position)));
        EXPECT_TRUE(Failed(v->Read(buffer.data(), 1000, &done)));
        EXPECT_TRUE(Failed(v->Seek(1500, &position)));
        EXPECT_TRUE(Failed(v->Seek(-1024, &position)));
        EXPECT_TRUE(Succeeded(v->Read(buffer.data(), 0, &done)));
        EXPECT_EQ(done, 0u);
        int64_t size = 0;
        ASSERT_TRUE(Succeeded(v->GetSize(&size)));
        ASSERT_TRUE(Succeeded(v->Seek(size + 4096, &position)));
        EXPECT_EQ(position, size);  // cut to the end
        ASSERT_TRUE(Succeeded(v->Seek(size - 1024, &position)));
        ASSERT_TRUE(Succeeded(v->Read(buffer.data(), 4096, &done)));
        EXPECT_EQ(done, 1024u);  // cut to what remains
        EXPECT_TRUE(Failed(v->Write(buffer.data(), 1024, &done)));
        EXPECT_TRUE(Failed(v->Open(W(Fixture("wal_stale.db")).c_str(), 1)));  // only mode 0
        EXPECT_TRUE(Failed(v->Read(buffer.data(), 1024, &done)));              // closed now
        EXPECT_TRUE(Failed(v->Write(buffer.data(), 1024, &done)));
        EXPECT_TRUE(Failed(v->GetSize(&size)));
        v->Release();
    }
}

TEST(SqliteViews, FramesFromABrokenChecksumOnAreLeftOut) {
    // Hostile: one byte changed in the page of the frame after the first commit. The frames up to
    // that commit still check; every current frame from the changed one on is left out, as SQLite
    // would read the log, and view 1 is the database as of that first commit.
    const std::vector<uint8_t> wal = ReadFileBytes(Fixture("wal.db-wal"));
    const size_t frameBytes = 24 + 4096, count = (wal.size() - 32) / frameBytes;
    size_t firstCommit = 0;
    auto commitSize = [&](size_t k) { return LoadBE32(wal.data() + 32 + k * frameBytes + 4); };
    while (firstCommit < count && commitSize(firstCommit) == 0) ++firstCommit;
    ASSERT_LT(firstCommit + 1, count);
    TempDir dir;
    const std::string db =
        CopyPair(dir, "wal", [&](std::vector<uint8_t>& w) { w[32 + (firstCommit + 1) * frameBytes + 124] ^= 0x40; });
    CSQLiteFileIOManager m;
    ASSERT_TRUE(Succeeded(m.Open(W(db).c_str())));
    ASSERT_EQ(m.GetViewCount(), 2);
    EXPECT_EQ(m.Wal()->frames.size(), firstCommit + 1);
    EXPECT_EQ(m.Wal()->framesLeftOut, count - firstCommit - 1);
    EXPECT_EQ(m.Wal()->lastCommit, static_cast<int>(firstCommit));
}

TEST(SqliteViews, PlainFileModes) {
    TempDir dir;
    const std::string path = dir.Join("f.bin");
    CFileIOWin32 f;
    EXPECT_TRUE(Failed(f.Open(W(path).c_str(), 0)));
    EXPECT_TRUE(Failed(f.Open(W(path).c_str(), 7)));
    ASSERT_TRUE(Succeeded(f.Open(W(path).c_str(), 4)));  // open always creates
    unsigned done = 0;
    ASSERT_TRUE(Succeeded(f.Write("abcd", 4, &done)));
    ASSERT_TRUE(Succeeded(f.Seek(1, nullptr)));
    char out[8] = {};
    ASSERT_TRUE(Succeeded(f.Read(out, 8, &done)));
    EXPECT_EQ(done, 3u);
    EXPECT_STREQ(out, "bcd");
    ASSERT_TRUE(Succeeded(f.Open(W(path).c_str(), 3)));  // create always truncates
    int64_t size = -1;
    ASSERT_TRUE(Succeeded(f.GetSize(&size)));
    EXPECT_EQ(size, 0);
    f.Close();
    EXPECT_TRUE(Failed(f.Read(out, 1, &done)));
    EXPECT_TRUE(Failed(f.GetSize(&size)));
}

TEST(SqliteViews, ALogsHoleIsMeasuredAsTheZerosItReadsAs) {
    // A log with stale frames, a hole of 600 frames (more than one read) and its frames again: the
    // stale frames after the hole still count. Measured on the sparse file and on the same bytes
    // written out whole, the valid length is the same.
    TempDir dir;
    const std::vector<uint8_t> log = ReadFileBytes(Fixture("wal_stale.db-wal"));
    const size_t frameBytes = 24 + (size_t(log[8]) << 24 | size_t(log[9]) << 16 | size_t(log[10]) << 8 | log[11]);
    const std::vector<uint8_t> frames(log.begin() + 32, log.end());
    const uint64_t hole = 600 * frameBytes, again = log.size() + hole;
    {
        platform::PlatformFile sparse;
        ASSERT_TRUE(sparse.Open(dir.Join("sparse-wal"), platform::PlatformFile::Mode::CreateNew));
        ASSERT_TRUE(sparse.WriteAt(0, log.data(), log.size()));
        ASSERT_TRUE(sparse.WriteAt(again, frames.data(), frames.size()));
    }
    std::vector<uint8_t> dense(log);
    dense.resize(again, 0);
    dense.insert(dense.end(), frames.begin(), frames.end());
    WriteFileBytes(dir.Join("dense-wal"), dense);

    platform::PlatformFile sparse, whole;
    ASSERT_TRUE(sparse.Open(dir.Join("sparse-wal"), platform::PlatformFile::Mode::Read));
    ASSERT_TRUE(whole.Open(dir.Join("dense-wal"), platform::PlatformFile::Mode::Read));
    if (sparse.NextDataAt(log.size() + frameBytes) == log.size() + frameBytes)
        GTEST_SKIP() << "this file system does not tell where its holes are";
    EXPECT_EQ(sparse.NextDataAt(log.size() + frameBytes) / 4096, again / 4096);
    const uint64_t valid = WalValidLength(whole, dense.size());
    EXPECT_GT(valid, again);
    EXPECT_EQ(WalValidLength(sparse, dense.size()), valid);
    EXPECT_EQ(sparse.NextDataAt(dense.size()), UINT64_MAX);
}

TEST(SqliteViews, ALogCutToItsValidLengthKeepsEveryFrameLoadKeeps) {
    // sqlite3's logs (one with stale frames of an earlier generation), one with a byte changed in
    // its third frame, one with a tail of zeros: cut where WalValidLength says, each loads the same
    // frames as whole, and the zeros are cut off.
    const size_t frameBytes = 24 + 4096;
    const std::vector<std::pair<const char*, std::function<void(std::vector<uint8_t>&)>>> cases = {
        {"wal", [](std::vector<uint8_t>&) {}},
        {"wal_stale", [](std::vector<uint8_t>&) {}},
        {"wal_tail", [](std::vector<uint8_t>&) {}},
        {"wal_frames", [&](std::vector<uint8_t>& w) { w[32 + 2 * frameBytes + 124] ^= 0x40; }},
        {"wal", [&](std::vector<uint8_t>& w) { w.resize(w.size() + 3 * frameBytes, 0); }},
    };
    TempDir dir;
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.first);
        const std::string db = CopyPair(dir, entry.first, entry.second);
        const std::vector<uint8_t> log = ReadFileBytes(db + "-wal");
        platform::PlatformFile file;
        ASSERT_TRUE(file.Open(db + "-wal", platform::PlatformFile::Mode::Read));
        const uint64_t valid = WalValidLength(file, log.size());
        ASSERT_GT(valid, 0u);
        ASSERT_LE(valid, log.size());
        if (entry.first == std::string("wal")) {
            EXPECT_EQ(valid, ReadFileBytes(Fixture("wal.db-wal")).size());
        }
        WriteFileBytes(dir.Join("cut.db-wal"), std::vector<uint8_t>(log.begin(), log.begin() + valid));
        const std::vector<uint8_t> main = ReadFileBytes(db);
        const uint32_t pageSize = sqlite_format::HeaderPageSize(main.data());
        WalFile whole, cut;
        ASSERT_TRUE(Succeeded(whole.Load(W(db + "-wal").c_str(), pageSize, main.size() / pageSize)));
        ASSERT_TRUE(Succeeded(cut.Load(W(dir.Join("cut.db-wal")).c_str(), pageSize, main.size() / pageSize)));
        ASSERT_EQ(cut.frames.size(), whole.frames.size());
        EXPECT_EQ(cut.lastCommit, whole.lastCommit);
        for (size_t k = 0; k < whole.frames.size(); ++k) {
            EXPECT_EQ(cut.frames[k].pageNumber, whole.frames[k].pageNumber) << k;
            EXPECT_EQ(cut.frames[k].stale, whole.frames[k].stale) << k;
            EXPECT_EQ(std::memcmp(cut.frames[k].image, whole.frames[k].image, pageSize), 0) << k;
        }
    }
}
