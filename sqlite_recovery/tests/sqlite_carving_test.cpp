// The carving of one page on pages of databases made by sqlite3, and on a few hand-arranged
// pages and values where no tool makes the case (labelled so). How much of what was deleted comes
// back on a whole corpus is recovery_score_test's.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "sqlite_recovery/engine/EngineState.h"
#include "sqlite_recovery/engine/RecordCarving.h"
#include "sqlite_recovery/engine/SQLiteFormat.h"
#include "sqlite_recovery/tests/SqliteTestSupport.h"

using namespace sqlite_test;

namespace {

// The reader's page buffer holding one table-leaf page, with a context as the reader builds it.
struct PageUnderTest {
    OpenDb open;
    TableSchema* table;
    CarveScratch scratch;
    CarveContext ctx;
    std::vector<uint32_t> listed;

    PageUnderTest(const std::string& db, const char* name, uint32_t page) : open(Fixture(db), 0) {
        table = open.reader->FindTable(name);
        EXPECT_NE(table, nullptr);
        EXPECT_EQ(open.reader->ReadPage(page, open.reader->PageBuffer()), 0);
        uint8_t* b = open.reader->PageBuffer();
        ctx.page = b;
        ctx.pageSize = open.reader->PageSize();
        ctx.pageNumber = page;
        ctx.UseTable(table);
        ctx.scratch = &scratch;
        ctx.reader = open.reader.get();
        for (uint32_t i = 0; i < LoadBE16(b + 3); ++i) listed.push_back(Pointer(i));
    }
    uint32_t Pointer(uint32_t i) const { return LoadBE16(ctx.page + 8 + 2 * i); }
    // Every record of the page's free space, as the reader's walk carves it.
    void Carve() {
        MarkListedCells(ctx, listed, 8 + 2 * static_cast<uint32_t>(listed.size()));
        CarveFreeSpace(ctx, 8 + 2 * static_cast<uint32_t>(listed.size()));
        table->recoveredRecords.Finish(&table->liveRecords);
    }
    size_t StoredAt(uint32_t offset) const {
        size_t n = 0;
        for (size_t i = 0; i < table->RecoveredCount(); ++i)
            n += table->recoveredRecords.at(i).offset == static_cast<int>(offset);
        return n;
    }
};

// A hand-arranged page of U bytes for a table of the given columns.
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
        ctx.UseTable(&table);
        ctx.scratch = &scratch;
    }
    void Carve() {
        MarkListedCells(ctx, {}, 8);
        CarveFreeSpace(ctx, 8);
        table.recoveredRecords.Finish();
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

TEST(SqliteCarving, FreedCellsAtStalePointersAreStoredOnceAndThePageIsLeftAsItWas) {
    PageUnderTest p("stale.db", "s", 2);
    ASSERT_EQ(p.listed.size(), 3u);
    const uint32_t stale[] = {p.Pointer(3), p.Pointer(4)};
    ASSERT_NE(stale[0], 0u);
    ASSERT_NE(stale[0], stale[1]);
    const std::vector<uint8_t> before(p.ctx.page, p.ctx.page + p.ctx.pageSize);
    p.Carve();
    EXPECT_TRUE(std::equal(before.begin(), before.end(), p.ctx.page));
    for (uint32_t o : stale) EXPECT_EQ(p.StoredAt(o), 1u) << o;
    // Nothing else lies in the page's free space.
    EXPECT_EQ(p.table->RecoveredCount(), 2u);
}

TEST(SqliteCarving, FreedCellsLengthAndRowidSizesAreWorkedOut) {
    // carve3.db: rows 200..215 of three columns, row 207 deleted into a freeblock; its rowid
    // needs two bytes, so the freeblock header took its length, its rowid and its header size.
    PageUnderTest p("carve3.db", "t3", 2);
    ASSERT_EQ(p.ctx.columns, 3);
    const uint32_t block = LoadBE16(p.ctx.page + 1);
    ASSERT_NE(block, 0u);
    CellLayout cell;
    ASSERT_TRUE(CheckFreedCell(p.ctx, block, p.ctx.pageSize, &cell));
    EXPECT_EQ(cell.lengthSize, 1);
    EXPECT_EQ(cell.rowidSize, 2);
    EXPECT_EQ(cell.length, LoadBE16(p.ctx.page + block + 2));  // the cell fills its block
    EXPECT_TRUE(cell.evidence);
    EXPECT_EQ(cell.lostType, -1);
    p.Carve();
    ASSERT_EQ(p.StoredAt(block), 1u);
    std::vector<ColumnValue> values;
    ASSERT_EQ(p.open.reader->DecodeRecord(p.table, p.table->recoveredRecords.at(0), false, 4096, values), 0);
    EXPECT_EQ(values[0].kind, kColumnNull);  // the rowid went with the header
    EXPECT_EQ(values[1].ToInt64(), 621);
    EXPECT_EQ(values[2].ToText(), "three columns 207");
    // The same block is no record of a table of five columns.
    p.ctx.columns = 5;
    p.ctx.minColumns = 5;
    p.ctx.affinity = nullptr;
    EXPECT_FALSE(CheckFreedCell(p.ctx, block, p.ctx.pageSize, &cell));
}

TEST(SqliteCarving, IntactCellsNeedTheirTypesToAccountForThePayload) {
    PageUnderTest p("carve3.db", "t3", 2);
    const uint32_t live = p.Pointer(0);
    CellLayout cell;
    ASSERT_TRUE(CheckIntactCell(p.ctx, live, p.ctx.pageSize, &cell));
    EXPECT_EQ(cell.rowidSize, 2);
    EXPECT_TRUE(cell.intact);
    p.ctx.columns = 2;  // three serial types: more than the table has
    p.ctx.minColumns = 1;
    EXPECT_FALSE(CheckIntactCell(p.ctx, live, p.ctx.pageSize, &cell));
    // A cell cut short by the bytes it may take is none.
    p.ctx.UseTable(p.table);
    EXPECT_FALSE(CheckIntactCell(p.ctx, live, live + cell.length - 1, &cell));
}

TEST(SqliteCarving, ValuesMustBeWhatTheirColumnsCanHold) {
    // Hand-made bodies: each case is one value of one column of a table (a, b) whose column a has
    // the given affinity and b is a TEXT 'x' that keeps the record from being all NULLs.
    struct Case {
        const char* what;
        uint8_t affinity;
        uint64_t type;
        std::vector<uint8_t> body;
        bool fits;
    };
    auto be = [](double d) {
        uint64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        std::vector<uint8_t> out;
        for (int i = 7; i >= 0; --i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
        return out;
    };
    const std::vector<Case> cases = {
        {"integer in a TEXT column", kAffinityText, 1, {5}, false},
        {"text in a TEXT column", kAffinityText, 13 + 6, {'a', 'b', 'c'}, true},
        {"blob in a TEXT column", kAffinityText, 12 + 4, {0xFF, 0x00}, true},
        {"number-like text in an INTEGER column", kAffinityInteger, 13 + 6, {'1', '2', '3'}, false},
        {"number-like text with blanks and exponent", kAffinityNumeric, 13 + 16,
         {' ', '1', '.', '5', 'e', '3', ' ', ' '}, false},
        {"other text in an INTEGER column", kAffinityInteger, 13 + 10, {'1', '2', 'a', 'b', 'c'}, true},
        {"whole REAL in an INTEGER column", kAffinityInteger, 7, be(2.0), false},
        {"fractional REAL in an INTEGER column", kAffinityInteger, 7, be(2.5), true},
        {"small whole REAL in a REAL column", kAffinityReal, 7, be(-3.0), false},
        {"whole REAL past six bytes in a REAL column", kAffinityReal, 7, be(std::ldexp(1.0, 50)), true},
        {"eight-byte integer in a REAL column", kAffinityReal, 6, {0x40, 0, 0, 0, 0, 0, 0, 0}, false},
        {"NaN", kAffinityBlob, 7, {0x7F, 0xF8, 0, 0, 0, 0, 0, 0}, false},
        {"two bytes for a one-byte integer", kAffinityBlob, 2, {0x00, 0x64}, false},
        {"one byte for the constant 1", kAffinityBlob, 1, {0x01}, false},
        {"minimal two-byte integer", kAffinityBlob, 2, {0x01, 0x00}, true},
        {"invalid UTF-8", kAffinityText, 13 + 4, {0xC3, 0x28}, false},
        {"valid UTF-8", kAffinityText, 13 + 4, {0xC3, 0xA9}, true},
    };
    for (const Case& k : cases) {
        SyntheticPage page(1024, 2);
        const uint8_t affinity[2] = {k.affinity, kAffinityText};
        page.ctx.affinity = affinity;
        std::memcpy(page.bytes.data() + 100, k.body.data(), k.body.size());
        page.bytes[100 + k.body.size()] = 'x';
        const uint64_t types[2] = {k.type, 15};
        EXPECT_EQ(ValuesFit(page.ctx, types, 2, 100, static_cast<int64_t>(k.body.size()) + 1), k.fits) << k.what;
    }
    SyntheticPage page(1024, 3);
    const uint64_t nulls[3] = {0, 0, 0};
    EXPECT_FALSE(ValuesFit(page.ctx, nulls, 3, 100, 0)) << "a record of NULLs alone";
    page.ctx.rowidColumn = 0;
    const uint64_t aliased[3] = {1, 0, 15};
    EXPECT_FALSE(ValuesFit(page.ctx, aliased, 3, 100, 2)) << "the rowid alias is stored as NULL";
    // A text cut by the end of the page's bytes may end inside a character.
    EXPECT_TRUE(ValidText(1, reinterpret_cast<const uint8_t*>("ab\xC3"), 3, true));
    EXPECT_FALSE(ValidText(1, reinterpret_cast<const uint8_t*>("ab\xC3"), 3, false));
    const uint8_t utf16[] = {0x3D, 0xD8, 0x00, 0xDE, 'a', 0};  // a surrogate pair, 'a'
    EXPECT_TRUE(ValidText(2, utf16, 6, false));
    EXPECT_FALSE(ValidText(2, utf16 + 2, 4, false));  // a low surrogate alone
}

TEST(SqliteCarving, AffinitiesOfDeclaredTypes) {
    struct Case {
        const char* sql;
        int columns;
        std::vector<uint8_t> expected;
    };
    const std::vector<Case> cases = {
        {"CREATE TABLE t(a INTEGER PRIMARY KEY, b TEXT, c, d REAL, e VARCHAR(20), f DECIMAL(10,2))", 6,
         {kAffinityInteger, kAffinityText, kAffinityBlob, kAffinityReal, kAffinityText, kAffinityNumeric}},
        {"CREATE TABLE x('a' INT NOT NULL, \"b\" DOUBLE DEFAULT 1.5, c BLOB, d CLOB, PRIMARY KEY(a, b))", 4,
         {kAffinityInteger, kAffinityReal, kAffinityBlob, kAffinityText}},
        {"CREATE TABLE data (_id INTEGER PRIMARY KEY AUTOINCREMENT, mimetype_id INTEGER REFERENCES mimetype(_id) "
         "NOT NULL, data1 TEXT, data15 TEXT)", 4,
         {kAffinityInteger, kAffinityInteger, kAffinityText, kAffinityText}},
        // Column counts that disagree with the definitions: nothing is checked.
        {"CREATE TABLE t(a INTEGER, f DECIMAL(10,2))", 3, {}},
    };
    for (const Case& k : cases) EXPECT_EQ(ColumnAffinities(k.sql, k.columns), k.expected) << k.sql;
    auto numeric = [](const char* text) {
        return LooksNumeric(reinterpret_cast<const uint8_t*>(text), std::strlen(text));
    };
    for (const char* text : {"123", " -4.5 ", "1e10", ".5", "7."}) EXPECT_TRUE(numeric(text)) << text;
    for (const char* text : {"", "-", "1e", "0x10", "12 34", "+49 30 1234"}) EXPECT_FALSE(numeric(text)) << text;
}

TEST(SqliteCarving, RecordsAnywhereOnALargePageAreFound) {
    // Hand-arranged 64 KiB page: one real cell of carve3.db copied to two places, one of them
    // past offset 32768.
    PageUnderTest src("carve3.db", "t3", 2);
    const uint32_t live = src.Pointer(0);
    const uint32_t cellLength = 1 + 2 + src.ctx.page[live];  // length and rowid varints, payload
    SyntheticPage page(65536, 3);
    std::memcpy(page.bytes.data() + 1000, src.ctx.page + live, cellLength);
    std::memcpy(page.bytes.data() + 40000, src.ctx.page + live, cellLength);
    page.Carve();
    ASSERT_EQ(page.table.RecoveredCount(), 2u);
    EXPECT_EQ(page.table.recoveredRecords.at(0).offset, 1000);
    EXPECT_EQ(page.table.recoveredRecords.at(1).offset, 40000);
    EXPECT_TRUE(page.table.recoveredRecords.at(1).intact);
}

// Free space is skipped a word at a time (used bytes, runs of zeros): a record is still found at
// every alignment after a zero run, behind a listed cell, and flush with the page's end; a freed
// one too, whose header's only non-zero byte is its fourth.
TEST(SqliteCarving, RecordsAtEveryAlignmentAfterZerosAndUsedBytes) {
    PageUnderTest src("carve3.db", "t3", 2);
    const uint32_t live = src.Pointer(0);
    const uint32_t cellLength = 1 + 2 + src.ctx.page[live];
    ASSERT_LT(cellLength, 256u);
    const uint32_t U = 4096;
    std::vector<uint32_t> places;
    for (uint32_t at = 1000; at < 1017; ++at) places.push_back(at);
    places.push_back(U - cellLength);
    for (const bool freed : {false, true}) {
        for (const uint32_t at : places) {
            SCOPED_TRACE(std::to_string(at) + (freed ? " freed" : " intact"));
            SyntheticPage page(U, 3);
            std::memcpy(page.bytes.data() + at, src.ctx.page + live, cellLength);
            if (freed) {
                const uint8_t header[4] = {0, 0, 0, static_cast<uint8_t>(cellLength)};
                std::memcpy(page.bytes.data() + at, header, 4);
            }
            // A listed cell of non-zero bytes just before, ending at an odd place.
            std::memset(page.bytes.data() + 600, 0x55, 333);
            MarkListedCells(page.ctx, {600}, 8);
            page.ctx.MarkUsed(600, 933);
            CarveFreeSpace(page.ctx, 8);
            page.table.recoveredRecords.Finish();
            ASSERT_EQ(page.table.RecoveredCount(), 1u);
            EXPECT_EQ(page.table.recoveredRecords.at(0).offset, static_cast<int32_t>(at));
            EXPECT_EQ(page.table.recoveredRecords.at(0).intact, !freed);
        }
    }
}

TEST(SqliteCarving, HostileFreeblockHeadersEndAndChangeNothing) {
    // Hand-made freeblock headers pointing at each other and past the page: no tool writes them.
    SyntheticPage page(4096, 3);
    auto put16 = [&](uint32_t at, uint32_t v) {
        page.bytes[at] = static_cast<uint8_t>(v >> 8);
        page.bytes[at + 1] = static_cast<uint8_t>(v);
    };
    put16(1, 100);
    put16(100, 200), put16(102, 40), put16(200, 100), put16(202, 40), put16(300, 0), put16(302, 5000);
    const std::vector<uint8_t> before = page.bytes;
    page.Carve();
    EXPECT_EQ(page.table.RecoveredCount(), 0u);
    EXPECT_EQ(page.bytes, before);
    // A block whose header size, past four overwritten bytes, is a varint of nine bytes (found by
    // fuzzing: its value ran a pointer past the page).
    SyntheticPage huge(4096, 3);
    huge.bytes[502] = 60;
    std::memset(huge.bytes.data() + 506, 0xFF, 9);
    const std::vector<uint8_t> hugeBefore = huge.bytes;
    huge.Carve();
    EXPECT_EQ(huge.bytes, hugeBefore);
}

TEST(SqliteCarving, ReservedSerialTypeStopsDecoding) {
    // A live cell of stale.db with its third serial type set to 10 (hand-patched).
    TempDir dir;
    std::vector<uint8_t> bytes = ReadFileBytes(Fixture("stale.db"));
    const uint32_t cell = LoadBE16(bytes.data() + 1024 + 8);
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
