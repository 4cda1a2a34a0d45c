// The reader against databases made by the sqlite3 program: live rows must be what sqlite3
// selects, deleted rows what the fixture script deleted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "sqlite_recovery/engine/CFileIOWin32.h"
#include "sqlite_recovery/engine/EngineState.h"
#include "sqlite_recovery/engine/RecordDecoding.h"
#include "sqlite_recovery/engine/SQLiteFormat.h"
#include "sqlite_recovery/engine/SchemaText.h"
#include "sqlite_recovery/tests/SqliteTestSupport.h"
#include "platform/StringConversion.h"

using namespace sqlite_test;

namespace {

void ExpectLiveRows(const std::string& db, const char* table, int viewIndex = -1) {
    SCOPED_TRACE(db);
    OpenDb open(Fixture(db), viewIndex);
    ASSERT_GT(open.openResult, 0);
    TableSchema* t = open.Walk(table);
    ASSERT_NE(t, nullptr);
    const std::vector<std::string> expected = ReadLines(Fixture(db + ".live"));
    const std::vector<Row> rows = RenderRecords(*open.reader, t, true);
    ASSERT_EQ(rows.size(), expected.size());
    EXPECT_EQ(t->LiveCount(), expected.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const std::vector<std::string> fields = SplitFields(expected[i]);
        ASSERT_EQ(fields.size(), rows[i].size()) << expected[i];
        for (size_t c = 0; c < fields.size(); ++c)
            EXPECT_TRUE(FieldMatches(rows[i][c], fields[c])) << "row " << i << " column " << c << ": got "
                                                              << rows[i][c].text.substr(0, 80) << " want "
                                                              << fields[c].substr(0, 80);
    }
}

// The rows recovered but not live, without the rowid column (lost with a freeblock header).
std::set<std::string> RecoveredOnly(OpenDb& open, TableSchema* t, bool withRowid) {
    std::set<std::string> live, out;
    for (const Row& r : RenderRecords(*open.reader, t, true)) live.insert(withRowid ? Joined(r) : WithoutFirst(r));
    for (const Row& r : RenderRecords(*open.reader, t, false)) {
        const std::string s = withRowid ? Joined(r) : WithoutFirst(r);
        if (!live.count(s)) out.insert(s);
    }
    return out;
}

std::set<std::string> ExpectedDeleted(const std::string& db, bool withRowid) {
    std::set<std::string> out;
    for (const std::string& line : ReadLines(Fixture(db + ".deleted"))) out.insert(withRowid ? line : WithoutFirst(line));
    return out;
}

}  // namespace

TEST(SqliteReaderLiveRows, EveryPageSizeAndKindOfValue) {
    for (const char* ps : {"512", "1024", "4096", "65536"})
        for (const char* sd : {"off", "on"}) ExpectLiveRows(std::string("values_") + ps + "_sd" + sd + ".db", "t");
}

TEST(SqliteReaderLiveRows, AutoVacuumAlteredAndDeepTrees) {
    ExpectLiveRows("autovacuum_full.db", "t");
    ExpectLiveRows("autovacuum_incremental.db", "t");
    ExpectLiveRows("altered.db", "t");
    ExpectLiveRows("carve3.db", "t3");
    ExpectLiveRows("reserved.db", "t");
    ExpectLiveRows("deep.db", "t");
}

TEST(SqliteReaderLiveRows, WriteAheadLogLastCommit) {
    ExpectLiveRows("wal.db", "t");
    ExpectLiveRows("wal_frames.db", "t");
    ExpectLiveRows("wal_stale.db", "t");
    ExpectLiveRows("wal_tail.db", "t");
    // The view of every version holds the committed pages first: its live rows are the same.
    ExpectLiveRows("wal.db", "t", 0);
}

TEST(SqliteReaderLiveRows, DeepTreeHasFourLevels) {
    OpenDb open(Fixture("deep.db"));
    TableSchema* t = open.reader->FindTable("t");
    ASSERT_NE(t, nullptr);
    int levels = 1;
    uint64_t page = t->rootPage;
    std::vector<uint8_t> buffer(open.reader->PageSize());
    while (open.reader->ReadPage(page, buffer.data()) == 0 && buffer[0] == 5) {
        page = LoadBE32(buffer.data() + 8);
        ++levels;
    }
    EXPECT_GE(levels, 4);
}

TEST(SqliteReaderValues, KindsLengthsAndCuts) {
    OpenDb open(Fixture("values_1024_sdoff.db"));
    TableSchema* t = open.Walk("t");
    ASSERT_NE(t, nullptr);
    const int a = FindColumnIndex(t, "a"), b = FindColumnIndex(t, "b"), c = FindColumnIndex(t, "c"),
              d = FindColumnIndex(t, "d");
    ASSERT_EQ(a, 1);
    ASSERT_EQ(d, 4);
    bool sawText = false, sawBlob = false, sawMinusOne = false;
    for (int i = 0; i < static_cast<int>(t->LiveCount()); ++i) {
        ColumnValue va, vb, vc, vd;
        ASSERT_EQ(open.reader->GetValue(i, t, a, &va, 1), 0);
        ASSERT_EQ(open.reader->GetValue(i, t, b, &vb, 1), 0);
        ASSERT_EQ(open.reader->GetValue(i, t, c, &vc, 1), 0);
        ASSERT_EQ(open.reader->GetValue(i, t, d, &vd, 1), 0);
        if (va.ToInt64() == -1) {
            sawMinusOne = true;
            EXPECT_EQ(va.kind, kColumnInt);
            EXPECT_EQ(va.length, 1u);
        }
        if (va.ToInt64() == 8) {  // TEXT of 5000 bytes: delivered whole, later columns in place
            sawText = true;
            EXPECT_EQ(vb.kind, kColumnText);
            EXPECT_EQ(vb.storedLength, 5000u);
            EXPECT_EQ(vb.length, 5000u);
            EXPECT_EQ(vb.ToText(), std::string(2500, 'a') + std::string(2500, 'b'));
            EXPECT_EQ(vc.serialType == 7 ? vc.ToDouble() : static_cast<double>(vc.ToInt64()), 1.0);  // a whole REAL is stored as an integer
            ASSERT_EQ(vd.length, 1u);
            EXPECT_EQ(vd.data[0], 1);
        }
        if (va.ToInt64() == 9) {  // BLOB over 26 overflow pages of 1 KiB: whole
            sawBlob = true;
            EXPECT_EQ(vd.storedLength, 27000u);
            ASSERT_EQ(vd.length, 27000u);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(vd.data), vd.length), std::string(27000, 'z'));
        }
    }
    EXPECT_TRUE(sawText && sawBlob && sawMinusOne);
    // An absent column reads as NULL; rows and columns beyond the record do not exist.
    ColumnValue v;
    EXPECT_EQ(FindColumnIndex(t, "zz"), -1);
    EXPECT_EQ(open.reader->GetValue(0, t, -1, &v, 1), 0);
    EXPECT_EQ(v.kind, kColumnNull);
    EXPECT_EQ(open.reader->GetValue(0, t, 5, &v, 1), -1);
    EXPECT_EQ(open.reader->GetValue(static_cast<int>(t->LiveCount()), t, 0, &v, 1), -1);
    EXPECT_EQ(open.reader->GetValue(-1, t, 0, &v, 1), -1);
}

TEST(SqliteReaderValues, ColumnValueConversions) {
    ColumnValue v;
    v.kind = kColumnInt;
    v.length = 3;
    v.inlineValue[0] = 1, v.inlineValue[1] = 2, v.inlineValue[2] = 3;
    EXPECT_EQ(v.ToInt64(), 66051);
    v.inlineValue[0] = 0xFF, v.inlineValue[1] = 0xFF, v.inlineValue[2] = 0xFE;
    EXPECT_EQ(v.ToInt64(), -2);
    v.length = 9;
    EXPECT_EQ(v.ToInt64(), 0);
    v.length = 0;
    EXPECT_EQ(v.ToInt64(), 0);
    // A copy keeps its own inline data.
    ColumnValue w;
    w.kind = kColumnInt;
    w.length = 4;
    const int64_t x = 77;
    std::memcpy(w.inlineValue, &x, 8);
    w.data = w.inlineValue;
    ColumnValue copy = w;
    EXPECT_EQ(copy.data, copy.inlineValue);
    EXPECT_EQ(copy.ToInt64(), 77);
    // Text is cut before the first byte that is not well-formed UTF-8.
    const uint8_t bytes[] = {'a', 'b', 0xC3, 0xA9, 0xFF, 'c'};
    ColumnValue t;
    t.kind = kColumnText;
    t.length = sizeof bytes;
    t.data = bytes;
    EXPECT_EQ(t.ToText(), "ab\xC3\xA9");
    t.kind = kColumnBlob;
    EXPECT_EQ(t.ToText(), "");
}

TEST(SqliteReaderSchema, CountAndFindColumns) {
    TableSchema t;
    t.sql = "CREATE TABLE t (a INTEGER, b TEXT, c DECIMAL(10,2), PRIMARY KEY(a))";
    t.columnCount = CountColumns(t.sql);
    EXPECT_EQ(t.columnCount, 4);  // the comma inside the type counts, the key clause ends the count
    EXPECT_EQ(FindColumnIndex(&t, "b"), 1);
    EXPECT_EQ(FindColumnIndex(&t, "a"), 0);
    EXPECT_EQ(FindColumnIndex(&t, "z"), -1);
    EXPECT_EQ(CountColumns("CREATE TABLE u(x, y, FOREIGN KEY(x) REFERENCES t(a))"), 2);
    EXPECT_EQ(CountColumns("CREATE TABLE u(x, unique_name TEXT, y)"), 3);
    TableSchema u;
    u.sql = "CREATE TABLE u(_id INTEGER PRIMARY KEY, datax TEXT, data TEXT)";
    u.columnCount = CountColumns(u.sql);
    EXPECT_EQ(FindColumnIndex(&u, "data"), 2);   // the exact name wins
    EXPECT_EQ(FindColumnIndex(&u, "dat"), 1);    // else the first that begins with it
    EXPECT_EQ(FindRowidColumn(u.sql, u.columnCount), 0);
    EXPECT_EQ(FindRowidColumn("CREATE TABLE p(data_id INTEGER NOT NULL, x)", 2), -1);
}

TEST(SqliteReaderSchema, SerialTypes) {
    ColumnValue v;
    EXPECT_EQ(DecodeSerialType(10, &v), -1);
    EXPECT_EQ(DecodeSerialType(11, &v), -1);
    ASSERT_EQ(DecodeSerialType(13 + 2 * 5000, &v), 0);
    EXPECT_EQ(v.kind, kColumnText);
    EXPECT_EQ(v.length, 5000u);
    EXPECT_EQ(v.storedLength, 5000u);
    ASSERT_EQ(DecodeSerialType(13 + 2 * 5000, &v, 4096), 0);  // the schema's own cap
    EXPECT_EQ(v.length, 4096u);
    ASSERT_EQ(DecodeSerialType(12 + 2 * 70000, &v), 0);
    EXPECT_EQ(v.kind, kColumnBlob);
    EXPECT_EQ(v.length, 70000u);  // not wrapped at 16 bits
    ASSERT_EQ(DecodeSerialType(5, &v), 0);
    EXPECT_EQ(v.length, 6u);
    ASSERT_EQ(DecodeSerialType(9, &v), 0);
    EXPECT_EQ(v.kind, kColumnConst);
}

TEST(SqliteReaderSchema, VarintsAreBounded) {
    const uint8_t nine[9] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01};
    uint64_t v = 0;
    EXPECT_EQ(ReadVarint(nine, nine + 9, &v), 9);
    EXPECT_EQ(v, 0xFFFFFFFFFFFFFF01ull);
    EXPECT_EQ(ReadVarint(nine, nine + 8, &v), 0);
    EXPECT_EQ(ReadVarint(nine, nine + 3, &v), 0);
    const uint8_t two[2] = {0x81, 0x00};
    EXPECT_EQ(ReadVarint(two, two + 2, &v), 2);
    EXPECT_EQ(v, 128u);
    EXPECT_EQ(sqlite_format::VarintSize(127), 1);
    EXPECT_EQ(sqlite_format::VarintSize(128), 2);
    EXPECT_EQ(sqlite_format::VarintSize(2097151), 3);
    EXPECT_EQ(sqlite_format::VarintSize(2097152), 4);
    // The local-size rule with the U-35 test.
    EXPECT_EQ(sqlite_format::LocalPayloadSize(4061, 4096), 4061);
    EXPECT_EQ(sqlite_format::LocalPayloadSize(4062, 4096), 489);   // K would pass U-35: M
    EXPECT_EQ(sqlite_format::LocalPayloadSize(5000, 4096), 489 + (5000 - 489) % 4092);
}

TEST(SqliteReaderOpen, HeaderAndSchemaFailures) {
    TempDir dir;
    const std::vector<uint8_t> good = ReadFileBytes(Fixture("carve3.db"));
    ASSERT_GE(good.size(), 100u) << "fixture missing: run through ctest, which sets RK_TESTDATA";
    auto openPatched = [&](size_t at, std::initializer_list<uint8_t> bytes) {
        // Hand-patched header bytes: no tool writes a broken header.
        std::vector<uint8_t> bad = good;
        std::copy(bytes.begin(), bytes.end(), bad.begin() + at);
        const std::string path = dir.Join("patched.db");
        WriteFileBytes(path, bad);
        CFileIOWin32 file;
        EXPECT_TRUE(Succeeded(file.Open(platform::Utf8ToWide(path).c_str(), 0)));
        CSQLiteReader reader;
        const int open = reader.Open(&file);
        int header = reader.ReadHeader();
        return std::make_pair(open, header);
    };
    EXPECT_EQ(openPatched(0, {'X'}), std::make_pair(-2, -2));
    EXPECT_EQ(openPatched(19, {0}), std::make_pair(-2, -3));
    EXPECT_EQ(openPatched(44, {0, 0, 0, 5}), std::make_pair(-2, -4));
    EXPECT_EQ(openPatched(16, {0x03, 0xE8}), std::make_pair(-2, -5));  // page size 1000
    EXPECT_EQ(openPatched(0, {'S'}).first, 1);

    OpenDb noTable(Fixture("notable.db"));
    EXPECT_EQ(noTable.openResult, -4);
    CSQLiteReader reader;
    EXPECT_EQ(reader.Open(nullptr), -1);
    EXPECT_EQ(reader.FindTable("t"), nullptr);
    EXPECT_EQ(reader.WalkTable(nullptr, 0, 0), -1);
}

TEST(SqliteReaderOpen, HeaderIsReadFromTheStartAndReopenForgetsPages) {
    CFileIOWin32 a, b;
    ASSERT_TRUE(Succeeded(a.Open(platform::Utf8ToWide(Fixture("values_1024_sdoff.db")).c_str(), 0)));
    ASSERT_TRUE(Succeeded(b.Open(platform::Utf8ToWide(Fixture("autovacuum_full.db")).c_str(), 0)));
    CSQLiteReader reader;
    ASSERT_GT(reader.Open(&a), 0);
    a.Seek(4096, nullptr);
    EXPECT_EQ(reader.ReadHeader(), 0);
    TableSchema* t = reader.FindTable("t");
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(reader.WalkTable(t, 0, 1), 0);
    const size_t liveA = t->LiveCount();
    // The same page numbers on another database must be read again.
    ASSERT_GT(reader.Open(&b), 0);
    t = reader.FindTable("t");
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(reader.WalkTable(t, 0, 1), 0);
    EXPECT_EQ(t->LiveCount(), ReadLines(Fixture("autovacuum_full.db.live")).size());
    EXPECT_NE(t->LiveCount(), liveA);
}

TEST(SqliteReaderWalk, DeadlineIsPerTableAndReported) {
    OpenDb open(Fixture("deep.db"), -1);
    ASSERT_GT(open.openResult, 0);
    TableSchema* t = open.reader->FindTable("t");
    ASSERT_NE(t, nullptr);
    engine_state::SetWalkTimeLimitMs(0);
    EXPECT_EQ(open.reader->WalkTable(t, 0, 0), kWalkTimedOut);
    EXPECT_TRUE(t->timedOut);
    EXPECT_LT(t->LiveCount(), 19979u);
    engine_state::SetWalkTimeLimitMs(engine_state::kDefaultWalkTimeLimitMs);
    // A later walk gets its own time: the table is found and walked whole.
    ASSERT_EQ(open.reader->FindTable("t"), t);
    EXPECT_EQ(open.reader->WalkTable(t, 0, 1), 0);
    EXPECT_FALSE(t->timedOut);
    EXPECT_EQ(t->LiveCount(), 19979u);
}

TEST(SqliteReaderDeleted, FoundWithSecureDeleteOff) {
    // Freeblocks overwrite a cell's first bytes (and merge neighbouring cells), so carving them
    // is a guess: nearly all, not all, deleted rows come back. A row alone in its freeblock does.
    size_t expectedTotal = 0, foundTotal = 0;
    for (const char* db : {"values_512_sdoff.db", "values_1024_sdoff.db", "values_4096_sdoff.db",
                           "values_65536_sdoff.db", "autovacuum_full.db", "autovacuum_incremental.db", "deep.db",
                           "carve3.db"}) {
        SCOPED_TRACE(db);
        OpenDb open(Fixture(db), 0);
        ASSERT_EQ(open.viewFlag, 0);
        TableSchema* t = open.Walk(std::string(db) == "carve3.db" ? "t3" : "t");
        ASSERT_NE(t, nullptr);
        const std::set<std::string> found = RecoveredOnly(open, t, false);
        const std::set<std::string> expected = ExpectedDeleted(db, false);
        size_t hits = 0;
        for (const std::string& row : expected) {
            if (found.count(row)) {
                ++hits;
            } else {
                std::printf("not recovered from %s: %s\n", db, row.substr(0, 60).c_str());
            }
        }
        EXPECT_GE(hits * 4, expected.size() * 3);
        if (std::string(db) == "carve3.db") {
            EXPECT_EQ(hits, expected.size());
        }
        expectedTotal += expected.size();
        foundTotal += hits;
        // Each record is stored once per page and offset, and never beside a live one.
        for (size_t i = 0; i < t->RecoveredCount(); ++i) {
            EXPECT_FALSE(t->liveRecords.Contains(t->recoveredRecords.KeyAt(i)));
            if (i) {
                EXPECT_LT(t->recoveredRecords.KeyAt(i - 1), t->recoveredRecords.KeyAt(i));
            }
        }
    }
    std::printf("deleted rows recovered: %zu of %zu\n", foundTotal, expectedTotal);
    EXPECT_GE(foundTotal * 10, expectedTotal * 9);
}

TEST(SqliteReaderDeleted, NotInTheMainFileWithSecureDeleteOn) {
    for (const char* db : {"values_512_sdon.db", "values_1024_sdon.db", "values_4096_sdon.db", "values_65536_sdon.db"}) {
        SCOPED_TRACE(db);
        OpenDb open(Fixture(db), 0);
        TableSchema* t = open.Walk("t");
        ASSERT_NE(t, nullptr);
        const std::set<std::string> found = RecoveredOnly(open, t, false);
        for (const std::string& row : ExpectedDeleted(db, false)) EXPECT_FALSE(found.count(row)) << row;
    }
}

TEST(SqliteReaderDeleted, FoundInSupersededVersionsOfTheLog) {
    // secure_delete on: the log's pages are zeroed where rows were deleted, but the main file's
    // older copies of those pages are in view 0 behind the committed pages.
    OpenDb open(Fixture("wal.db"), 0);
    ASSERT_EQ(open.manager->GetViewCount(), 2);
    ASSERT_EQ(open.viewFlag, 0);
    TableSchema* t = open.Walk("t");
    ASSERT_NE(t, nullptr);
    const std::set<std::string> found = RecoveredOnly(open, t, true);
    for (const std::string& row : ExpectedDeleted("wal.db", true)) EXPECT_TRUE(found.count(row)) << row;
    // The committed view runs no recovery.
    OpenDb last(Fixture("wal.db"), 1);
    ASSERT_EQ(last.viewFlag, 1);
    TableSchema* t1 = last.Walk("t");
    ASSERT_NE(t1, nullptr);
    EXPECT_EQ(t1->RecoveredCount(), 0u);
}

TEST(SqliteReaderDeleted, FoundOnlyInSupersededFrames) {
    // The rows were never in the main file: the log's older frames of their pages hold them.
    const std::string main = [] {
        std::vector<uint8_t> b = ReadFileBytes(Fixture("wal_frames.db"));
        return std::string(b.begin(), b.end());
    }();
    EXPECT_EQ(main.find("frame row"), std::string::npos);
    OpenDb open(Fixture("wal_frames.db"), 0);
    TableSchema* t = open.Walk("t");
    ASSERT_NE(t, nullptr);
    const std::set<std::string> found = RecoveredOnly(open, t, true);
    const std::set<std::string> expected = ExpectedDeleted("wal_frames.db", true);
    ASSERT_FALSE(expected.empty());
    for (const std::string& row : expected) EXPECT_TRUE(found.count(row)) << row;
    // Carving also keeps byte runs that merely look like records; but every recovered row that
    // reads as one of this table's is one that was deleted.
    for (const std::string& row : found) {
        if (row.find("'frame row ") != std::string::npos) {
            EXPECT_TRUE(expected.count(row)) << row;
        }
    }
}

TEST(SqliteReaderDeleted, OtherTablesPagesAreNotCarvedIntoThisOne) {
    // Table "other" has three columns like "t": its live pages must not give rows of "t".
    OpenDb open(Fixture("wal.db"), 0);
    TableSchema* t = open.Walk("t");
    ASSERT_NE(t, nullptr);
    for (const Row& r : RenderRecords(*open.reader, t, false))
        EXPECT_EQ(Joined(r).find("'other "), std::string::npos) << Joined(r);
}
