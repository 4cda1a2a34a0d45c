#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sms/CAndroidSmsAndMmsRecovery.h"
#include "sms/CSmsTableAnalyze.h"
#include "sms/CSmsTableRow.h"
#include "sqlite_recovery/tests/FakeSQLiteEngine.h"
#include "sqlite_recovery/tests/RecordingSink.h"

namespace {

// An sms table whose records hold text values kept alive by the table.
std::shared_ptr<FakeTable> SmsTable() {
    auto table = std::make_shared<FakeTable>();
    table->columns = {"_id", "thread_id", "address", "person", "date", "type", "body"};
    return table;
}

std::vector<FieldValue> SmsRecord(FakeTable& table, int64_t id, const std::string& body) {
    table.texts.push_back("+15550001");
    FieldValue address = FieldValue::MakeText(table.texts.back().data(), static_cast<uint32_t>(table.texts.back().size()));
    table.texts.push_back(body);
    FieldValue text = FieldValue::MakeText(table.texts.back().data(), static_cast<uint32_t>(table.texts.back().size()));
    return {FieldValue::MakeInteger(id), FieldValue::MakeInteger(1), address, FieldValue::MakeNull(),
            FieldValue::MakeInteger(1700000000000LL), FieldValue::MakeInteger(1), text};
}

}  // namespace

TEST(SmsTableAnalyzersTest, RecordsBecomeRowsByColumnName) {
    auto table = SmsTable();
    table->live.push_back(SmsRecord(*table, 1, "one"));
    table->live.push_back(SmsRecord(*table, 2, "two"));
    table->live.push_back(SmsRecord(*table, 3, "   "));  // blank: dropped
    table->badRecords = {1};                           // undecodable: dropped
    CSmsTableAnalyze analyzer;
    EXPECT_EQ(analyzer.GetName(), "sms");
    ASSERT_TRUE(Succeeded(analyzer.BuildRows(table.get(), 3, true)));
    RowMultimap* rows = analyzer.GetRows(0);
    ASSERT_EQ(rows->size(), 1u);
    auto* row = static_cast<CSmsTableRow*>(rows->begin()->second);
    EXPECT_EQ(row->body, "one");
    EXPECT_EQ(row->address, "+15550001");
    EXPECT_EQ(row->date, 1700000000);
}

TEST(SmsTableAnalyzersTest, RecoveredThenLiveIsOneLiveRow) {
    auto table = SmsTable();
    table->recovered.push_back(SmsRecord(*table, 1, "same"));
    table->live.push_back(SmsRecord(*table, 1, "same"));
    CSmsTableAnalyze analyzer;
    ASSERT_TRUE(Succeeded(analyzer.BuildRows(table.get(), 1, false)));
    ASSERT_TRUE(Succeeded(analyzer.BuildRows(table.get(), 1, true)));
    ASSERT_EQ(analyzer.GetRows(0)->size(), 1u);
    EXPECT_EQ(analyzer.GetRows(0)->begin()->second->live, 1);
}

// Carved bytes decoded under the table's columns (the fixture phone gave one: texts for _id,
// thread and address, blobs for date and type, NUL bytes for the body) are no message; a live
// record is taken as the database holds it, and a NULL fits every column.
TEST(SmsTableAnalyzersTest, RecoveredRecordOfWrongStorageClassesIsNoRow) {
    auto table = SmsTable();
    table->texts.push_back("-,");
    const FieldValue text = FieldValue::MakeText(table->texts.back().data(), 2);
    const FieldValue blob = FieldValue::MakeBlob(table->texts.back().data(), 2);
    auto textDate = SmsRecord(*table, 1, "text for a date");
    textDate[4] = text;
    auto blobType = SmsRecord(*table, 2, "blob for a type");
    blobType[5] = blob;
    auto numberAddress = SmsRecord(*table, 3, "number for an address");
    numberAddress[2] = FieldValue::MakeInteger(15550001);
    auto realThread = SmsRecord(*table, 4, "real for a thread");
    realThread[1] = FieldValue::MakeReal(1.5);
    auto lostId = SmsRecord(*table, 5, "its rowid lost");
    lostId[0] = FieldValue::MakeNull();
    auto blobBody = SmsRecord(*table, 6, "x");
    blobBody[6] = blob;  // a text column may hold a blob: the row's own checks judge it
    table->recovered = {textDate, blobType, numberAddress, realThread, lostId, blobBody};
    CSmsTableAnalyze analyzer;
    ASSERT_TRUE(Succeeded(analyzer.BuildRows(table.get(), 6, false)));
    ASSERT_EQ(analyzer.GetRows(0)->size(), 1u);
    EXPECT_EQ(static_cast<CSmsTableRow*>(analyzer.GetRows(0)->begin()->second)->body, "its rowid lost");
    table->live = {numberAddress};
    ASSERT_TRUE(Succeeded(analyzer.BuildRows(table.get(), 1, true)));
    EXPECT_EQ(analyzer.GetRows(0)->size(), 2u);
}

TEST(SmsTableAnalyzersTest, StopRequestEndsTheTableWithCancelled) {
    auto table = SmsTable();
    table->live.push_back(SmsRecord(*table, 1, "one"));
    table->live.push_back(SmsRecord(*table, 2, "two"));
    RecordingSink sink;
    sink.stopAfter = 2;
    CSmsTableAnalyze analyzer;
    analyzer.SetSink(&sink);
    ResultCode rc = analyzer.BuildRows(table.get(), 2, true);
    EXPECT_TRUE(Failed(rc));
    EXPECT_EQ(ErrorNumber(rc), 13u);
    EXPECT_EQ(analyzer.GetRows(0)->size(), 1u);  // what was stored stays
}

TEST(SmsTableAnalyzersTest, RecoveryObjectRunsItsSevenTablesInOrder) {
    struct FakeRecovery : CAndroidSmsAndMmsRecovery {
        ISQLiteEngine* CreateEngine() override {
            auto* engine = new FakeSQLiteEngine;
            engine->views.resize(1);
            return engine;
        }
    };
    FakeRecovery* recovery = new FakeRecovery;
    EXPECT_TRUE(Failed(recovery->Recover()));  // not initialised
    EXPECT_TRUE(Failed(recovery->Initialize(nullptr, nullptr, nullptr, nullptr)));
    VersionPair version;
    ASSERT_TRUE(Succeeded(recovery->Initialize(L"/x/mmssms.db", &version, nullptr, nullptr)));
    ASSERT_TRUE(Succeeded(recovery->Recover()));
    std::vector<std::string> names;
    for (CTableAnalyze* analyzer : recovery->Analyzers()) names.push_back(analyzer->GetName());
    EXPECT_EQ(names, (std::vector<std::string>{"threads", "addr", "canonical_addresses", "sms", "pdu", "part",
                                               "words_content"}));
    EXPECT_TRUE(recovery->GetResult()->empty());
    IAndroidRecovery<SmsResultMap>* asRecovery = recovery;
    asRecovery->Release();
}
