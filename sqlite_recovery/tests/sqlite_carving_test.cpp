// The carving passes on pages of databases made by sqlite3, and on a few hand-arranged pages
// where no tool makes the case (labelled so).
#include <gtest/gtest.h>

#include <cstring>

#include "sqlite_recovery/engine/CFileIOWin32.h"
#include "sqlite_recovery/engine/EngineState.h"
#include "sqlite_recovery/engine/RecordCarving.h"
#include "sqlite_recovery/engine/SQLiteFormat.h"
#include "sqlite_recovery/tests/SqliteTestSupport.h"
#include "platform/StringConversion.h"

using namespace sqlite_test;
using sqlite_format::Load16;

namespace {

// The reader's page buffer holding one page, with a context as the reader would build it.
struct PageUnderTest {
    OpenDb open;
    TableSchema* table;
    CarveScratch scratch;
    CarveContext ctx;

    PageUnderTest(const std::string& db, const char* name, uint32_t page) : open(Fixture(db), 0) {
        table = open.reader->FindTable(name);
        EXPECT_NE(table, nullptr);
        EXPECT_EQ(open.reader->ReadPage(page, open.reader->PageBuffer()), 0);
        uint8_t* b = open.reader->PageBuffer();
        ctx.page = b;
        ctx.pageSize = open.reader->PageSize();
        ctx.pageNumber = page;
        ctx.table = table;
        ctx.columns = table ? table->columnCount : 0;
        ctx.arrayStart = 8;
        ctx.firstFreeblock = Load16(b + 1);
        ctx.scratch = &scratch;
    }
    std::vector<uint32_t> Pointers(uint32_t from, uint32_t to) const {
        std::vector<uint32_t> out;
        for (uint32_t i = from; i < to; ++i) out.push_back(Load16(ctx.page + 8 + 2 * i));
        return out;
    }
};

// A synthetic page of U bytes for a table of columns, cells copied in from a real database.
struct SyntheticPage {
    std::vector<uint8_t> bytes;
    TableSchema table;
    CarveScratch scratch;
    CarveContext ctx;
    SyntheticPage(uint32_t U, int columns) : bytes(U, 0) {
        table.name = "x";
        table.columnCount = columns;
        ctx.page = bytes.data();
        ctx.pageSize = U;
        ctx.pageNumber = 9;
        ctx.table = &table;
        ctx.columns = columns;
        ctx.arrayStart = 8;
        ctx.scratch = &scratch;
    }
};

}  // namespace

TEST(SqliteCarving, StaleCellPointersAreCarvedOnlyInViewZero) {
    // stale.db: three live cells and two stale pointers behind them.
    OpenDb open(Fixture("stale.db"), 0);
    TableSchema* s = open.reader->FindTable("s");
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(open.reader->WalkTable(s, 0, 0), 0);
    EXPECT_EQ(s->LiveCount(), 3u);
    std::set<std::string> recovered;
    for (const Row& r : RenderRecords(*open.reader, s, false)) recovered.insert(WithoutFirst(r));
    EXPECT_TRUE(recovered.count("50|'stale five'"));
    EXPECT_TRUE(recovered.count("40|'stale four'"));
    ASSERT_EQ(open.reader->WalkTable(s, 0, 1), 0);  // as in the committed view: live records only
    EXPECT_EQ(s->LiveCount(), 3u);
    EXPECT_EQ(s->RecoveredCount(), 0u);
    // A table without a name (the schema walk) is never carved either.
    TableSchema unnamed = *s;
    unnamed.name.clear();
    ASSERT_EQ(open.reader->WalkTable(&unnamed, 0, 0), 0);
    EXPECT_EQ(unnamed.RecoveredCount(), 0u);
}

TEST(SqliteCarving, PassOneCarvesAtAStalePointerAndTheRecordIsStoredOnce) {
    PageUnderTest p("stale.db", "s", 2);
    const uint32_t cells = Load16(p.ctx.page + 3);
    ASSERT_EQ(cells, 3u);
    const std::vector<uint32_t> stale = p.Pointers(3, 5);
    ASSERT_NE(stale[0], 0u);
    ASSERT_NE(stale[0], stale[1]);
    CarveAtCellPointers(p.ctx, stale);
    ASSERT_FALSE(p.table->recoveredRecords.empty());
    // All passes find it again; it is kept once.
    std::vector<uint32_t> offsets = p.Pointers(0, 5);
    offsets.push_back(p.ctx.firstFreeblock);
    RunCarvingPasses(p.ctx, offsets);
    p.table->recoveredRecords.Finish(&p.table->liveRecords);
    for (uint32_t o : stale) {
        size_t at = 0;
        for (size_t i = 0; i < p.table->RecoveredCount(); ++i)
            if (p.table->recoveredRecords.at(i).offset == static_cast<int>(o)) ++at;
        EXPECT_EQ(at, 1u);
    }
}

TEST(SqliteCarving, TwoByteRowidIsFoundOnTheSecondTry) {
    // carve3.db: rows 200..215 of three columns, row 207 deleted into a freeblock.
    PageUnderTest p("carve3.db", "t3", 2);
    ASSERT_EQ(p.ctx.columns, 3);
    const uint32_t block = p.ctx.firstFreeblock;
    ASSERT_NE(block, 0u);
    const uint32_t size = Load16(p.ctx.page + block + 2);
    const std::vector<uint8_t> before(p.ctx.page, p.ctx.page + p.ctx.pageSize);
    ASSERT_EQ(CarveBlock(p.ctx, block, block + size, false), 0);
    ASSERT_EQ(p.table->recoveredRecords.size(), 1u);
    EXPECT_EQ(p.table->recoveredRecords.at(0).rowidSize, 2);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), p.ctx.page));  // bytes put back
    std::vector<ColumnValue> values;
    p.table->recoveredRecords.Finish();
    ASSERT_EQ(p.open.reader->DecodeRecord(p.table, p.table->recoveredRecords.at(0), false, 4096, values), 0);
    EXPECT_EQ(values[1].ToInt64(), 621);
    EXPECT_EQ(values[2].ToText(), "three columns 207");
    // The same block does not fit a table of five columns.
    p.ctx.columns = 5;
    EXPECT_NE(CarveBlock(p.ctx, block, block + size, false), 0);
}

TEST(SqliteCarving, OverwrittenCheckNeedsAtLeastTheColumnsIntactCheckExactly) {
    PageUnderTest p("carve3.db", "t3", 2);
    const uint32_t live = Load16(p.ctx.page + 8);  // an intact live cell of three columns
    const uint64_t cell = 2 + 2 + 4 + 2 + 17;      // generous bound: the check stops on its own
    CheckResult r;
    EXPECT_EQ(CheckRecord(p.ctx, live, static_cast<uint32_t>(live + cell), &r), 0);
    EXPECT_EQ(r.rowidSize, 2);
    p.ctx.columns = 2;
    EXPECT_EQ(CheckRecord(p.ctx, live, static_cast<uint32_t>(live + cell), &r), -4);
    // Zeroed like a freeblock header, the cell passes for two columns: the first count only has
    // to reach them.
    uint8_t saved[5];
    std::memcpy(saved, p.ctx.page + live, 5);
    std::memset(p.ctx.page + live, 0, 5);
    int64_t rowid = 0;
    EXPECT_EQ(CheckOverwrittenRecord(p.ctx, live, 23, live + 23, 2, &rowid), 0);
    std::memcpy(p.ctx.page + live, saved, 5);
}

TEST(SqliteCarving, UnallocatedPassEndsAtOffset32768) {
    // Hand-arranged 64 KiB page: one real cell of carve3.db copied to two places.
    PageUnderTest src("carve3.db", "t3", 2);
    const uint32_t live = Load16(src.ctx.page + 8);
    const uint32_t cellLength = 1 + 2 + src.ctx.page[live];  // length and rowid varints, payload
    SyntheticPage page(65536, 3);
    std::memcpy(page.bytes.data() + 1000, src.ctx.page + live, cellLength);
    std::memcpy(page.bytes.data() + 40000, src.ctx.page + live, cellLength);
    CarveUnallocated(page.ctx);
    page.table.recoveredRecords.Finish();
    ASSERT_EQ(page.table.RecoveredCount(), 1u);
    EXPECT_EQ(page.table.recoveredRecords.at(0).offset, 1000);
    SyntheticPage high(65536, 3);
    std::memcpy(high.bytes.data() + 40000, src.ctx.page + live, cellLength);
    CarveUnallocated(high.ctx);
    EXPECT_EQ(high.table.RecoveredCount(), 0u);
}

TEST(SqliteCarving, FreeblockWalksEndOnLargeOrCyclicBlocks) {
    // Hand-made freeblock chains: no tool writes them.
    SyntheticPage page(4096, 3);
    auto put16 = [&](uint32_t at, uint32_t v) {
        page.bytes[at] = static_cast<uint8_t>(v >> 8);
        page.bytes[at + 1] = static_cast<uint8_t>(v);
    };
    put16(100, 200), put16(102, 2049);  // more than half the page: pass 6 ends here
    page.ctx.firstFreeblock = 100;
    CarveFreeblocks(page.ctx);
    EXPECT_EQ(page.table.RecoveredCount(), 0u);
    put16(102, 40), put16(200, 100), put16(202, 40);  // 100 -> 200 -> 100 -> ...
    std::vector<uint32_t> offsets;
    CarveFreeblockChain(page.ctx, offsets);
    EXPECT_EQ(offsets, (std::vector<uint32_t>{100, 200}));
    CarveFreeblocks(page.ctx);
    RunCarvingPasses(page.ctx, offsets);  // terminates
    SUCCEED();
}

TEST(SqliteCarving, ReservedSerialTypeStopsDecoding) {
    // A live cell of stale.db with its third serial type set to 10 (hand-patched).
    TempDir dir;
    std::vector<uint8_t> bytes = ReadFileBytes(Fixture("stale.db"));
    const uint32_t cell = Load16(bytes.data() + 1024 + 8);
    // payload length (1), rowid (1), header size (1), types id, a, b
    bytes[1024 + cell + 5] = 10;
    WriteFileBytes(dir.Join("typed.db"), bytes);
    OpenDb open(dir.Join("typed.db"), 0);
    TableSchema* s = open.Walk("s");
    ASSERT_NE(s, nullptr);
    bool found = false;
    for (int i = 0; i < static_cast<int>(s->LiveCount()); ++i) {
        if (s->liveRecords.at(i).offset != static_cast<int>(cell)) continue;
        found = true;
        ColumnValue a, b;
        ASSERT_EQ(open.reader->GetValue(i, s, 1, &a, 1), 0);
        ASSERT_EQ(open.reader->GetValue(i, s, 2, &b, 1), 0);
        EXPECT_NE(a.ToInt64(), 0);
        EXPECT_EQ(b.kind, kColumnNull);
    }
    EXPECT_TRUE(found);
}

TEST(SqliteCarving, DecodedRecordIsNotReusedAcrossTables) {
    OpenDb open(Fixture("wal.db"), 1);
    TableSchema* t = open.reader->FindTable("t");
    TableSchema* other = open.reader->FindTable("other");
    ASSERT_TRUE(t && other);
    ASSERT_EQ(open.reader->WalkTable(t, 0, 1), 0);
    ASSERT_EQ(open.reader->WalkTable(other, 0, 1), 0);
    ColumnValue a, b;
    ASSERT_EQ(open.reader->GetValue(0, t, 2, &a, 1), 0);
    ASSERT_EQ(open.reader->GetValue(0, other, 1, &b, 1), 0);
    EXPECT_EQ(a.kind, kColumnText);
    EXPECT_NE(a.ToText().rfind("other", 0), 0u);
    EXPECT_EQ(b.ToText().rfind("other", 0), 0u);
}

TEST(SqliteCarving, MarkedBlocksCarveTheBlockAtAStalePointer) {
    PageUnderTest p("stale.db", "s", 2);
    const std::vector<uint32_t> stale = p.Pointers(3, 4);
    CarveMarkedBlocks(p.ctx, stale);
    p.table->recoveredRecords.Finish();
    bool found = false;
    for (size_t i = 0; i < p.table->RecoveredCount(); ++i) found |= p.table->recoveredRecords.at(i).offset == static_cast<int>(stale[0]);
    EXPECT_TRUE(found);
}

TEST(SqliteCarving, ZeroedHeadersAreFoundWithoutAnyPointer) {
    // carve3.db's freeblock starts 00 00 and its size: pass 7 finds it with no offset given.
    PageUnderTest p("carve3.db", "t3", 2);
    const uint32_t block = p.ctx.firstFreeblock;
    std::vector<uint32_t> none;
    RunCarvingPasses(p.ctx, none);  // builds the zero-pair list first
    p.table->recoveredRecords.clear();
    CarveZeroedHeaders(p.ctx);
    p.table->recoveredRecords.Finish();
    bool found = false;
    for (size_t i = 0; i < p.table->RecoveredCount(); ++i) found |= p.table->recoveredRecords.at(i).offset == static_cast<int>(block);
    EXPECT_TRUE(found);
}

TEST(SqliteCarving, RecordsEndedByFFRunsAreCarved) {
    // Hand-arranged page: a real cell of carve3.db followed by FF FF, in otherwise empty space.
    PageUnderTest src("carve3.db", "t3", 2);
    const uint32_t live = Load16(src.ctx.page + 8);
    const uint32_t cellLength = 1 + 2 + src.ctx.page[live];
    SyntheticPage page(1024, 3);
    std::memcpy(page.bytes.data() + 300, src.ctx.page + live, cellLength);
    page.bytes[300 + cellLength] = page.bytes[301 + cellLength] = 0xFF;
    CarveAfterFFRuns(page.ctx);
    page.table.recoveredRecords.Finish();
    ASSERT_EQ(page.table.RecoveredCount(), 1u);
    EXPECT_EQ(page.table.recoveredRecords.at(0).offset, 300);
    EXPECT_TRUE(page.table.recoveredRecords.at(0).intact);
}
