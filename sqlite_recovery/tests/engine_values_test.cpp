// The engine's decoded values as the table analysers read them, from a database made by sqlite3.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "sqlite_recovery/controller/CSQLiteEngine.h"
#include "platform/FileSystem.h"
#include "platform/StringConversion.h"

namespace {
std::string ValuesDatabase() {
    const char* root = std::getenv("RK_TESTDATA");
    return std::string(root ? root : "../testdata") + "/controller_values/values.db";
}
}  // namespace

TEST(SQLiteEngineTest, ValuesOfEveryWidthAndKind) {
    std::string path = ValuesDatabase();
    if (platform::FileSize(path) <= 0) GTEST_SKIP() << "no fixture at " << path;
    CSQLiteEngine engine;
    ASSERT_EQ(engine.OpenDatabase(platform::Utf8ToWide(path)), RK_OK);
    ASSERT_EQ(engine.ViewCount(), 1);  // a rollback journal: the file itself
    int flag = 0;
    ASSERT_EQ(engine.SelectView(0, &flag), RK_OK);
    EXPECT_EQ(flag, 0);
    ASSERT_GT(engine.OpenReader(), 0);
    EXPECT_EQ(engine.FindTable("V"), nullptr);  // names are exact
    ISQLiteTable* table = engine.FindTable("v");
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->Walk(true), 0);
    ASSERT_EQ(table->LiveCount(), 17);
    const int n = table->FindColumn("n"), t = table->FindColumn("t");
    EXPECT_EQ(n, 1);
    EXPECT_EQ(table->FindColumn("missing"), -1);

    std::map<int64_t, int64_t> integers;
    std::map<int64_t, std::string> texts;
    for (int record = 0; record < table->LiveCount(); ++record) {
        FieldValue id, value, label, absent;
        ASSERT_EQ(table->GetValue(record, 0, true, &id), 0);
        ASSERT_EQ(table->GetValue(record, n, true, &value), 0);
        ASSERT_EQ(table->GetValue(record, t, true, &label), 0);
        ASSERT_EQ(table->GetValue(record, -1, true, &absent), 0);
        EXPECT_FALSE(absent.IsPresent());
        EXPECT_FALSE(label.ToText().empty());
        integers[id.ToInt64()] = value.ToInt64();
        texts[id.ToInt64()] = value.ToText();
        if (id.ToInt64() == 17) {
            EXPECT_FALSE(value.IsPresent());
        }
        if (id.ToInt64() == 2) {
            EXPECT_TRUE(value.IsPresent());  // the constant 0
        }
    }
    EXPECT_EQ(integers[1], -1);
    EXPECT_EQ(integers[2], 0);
    EXPECT_EQ(integers[3], 1);
    EXPECT_EQ(integers[4], 127);
    EXPECT_EQ(integers[5], -129);
    EXPECT_EQ(integers[6], 66051);
    EXPECT_EQ(integers[7], -8388608);
    EXPECT_EQ(integers[8], -70000);
    EXPECT_EQ(integers[9], 1099511627776LL);
    EXPECT_EQ(integers[10], -1099511627776LL);
    EXPECT_EQ(integers[11], 4611686018427387904LL);
    EXPECT_EQ(integers[12], INT64_MIN);
    EXPECT_EQ(integers[13], 3);   // a REAL by its value, not its bits
    EXPECT_EQ(integers[14], -2);
    EXPECT_EQ(integers[15], 0);
    EXPECT_EQ(texts[15], "h\xc3\xa9llo");
    EXPECT_EQ(texts[16], "");  // a blob has no text form
    EXPECT_EQ(texts[1], "");
}

TEST(SQLiteEngineTest, NoDatabaseNoView) {
    CSQLiteEngine engine;
    EXPECT_EQ(engine.FindTable("v"), nullptr);
    EXPECT_LT(engine.OpenReader(), 0);
    int flag = 0;
    EXPECT_TRUE(Failed(engine.SelectView(0, &flag)));
    EXPECT_TRUE(Failed(engine.OpenDatabase(L"/nonexistent/contacts2.db")));
    EXPECT_EQ(engine.ViewCount(), 0);
}
