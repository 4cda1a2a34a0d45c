#include <gtest/gtest.h>

#include "sqlite_recovery/controller/CSQLiteRecoveryControler.h"
#include "sqlite_recovery/tests/FakeSQLiteEngine.h"
#include "sqlite_recovery/tests/RecordingSink.h"

namespace {

struct NamedRow : CTableRow {
    explicit NamedRow(int64_t rowId) : CTableRow(0) { id = rowId; }
    bool Equals(const CTableRow* other) const override { return other && other->id == id; }
    std::string ToString() const override { return std::to_string(id); }
};

// Files one row per record, with the record's first column as id, and remembers every call.
struct CountingAnalyze : CTableAnalyze {
    explicit CountingAnalyze(const std::string& name, std::vector<std::string>* log = nullptr)
        : CTableAnalyze(name), log_(log) {}
    ResultCode BuildRows(ISQLiteTable* table, int count, bool live) override {
        if (log_) log_->push_back(name_ + (live ? ":live:" : ":recovered:") + std::to_string(count));
        for (int i = 0; i < count; ++i) {
            FieldValue value;
            if (table->GetValue(i, 0, live, &value) < 0) continue;
            auto* row = new NamedRow(value.ToInt64());
            row->live = live ? 1 : 0;
            rows_[0].emplace(row->id, row);
        }
        return RK_OK;
    }
    std::vector<std::string>* log_;
};

// A controller over a fake engine with analysers for the tables "t0".."t<n-1>".
class TestControler : public CSQLiteRecoveryControler {
public:
    explicit TestControler(FakeSQLiteEngine* engine, int analyzers, IProgress* sink = nullptr)
        : fake_(engine), count_(analyzers) {
        databasePath_ = L"/nowhere/contacts2.db";
        sink_ = sink;
    }
    ~TestControler() {}
    ISQLiteEngine* CreateEngine() override { return fake_; }
    ResultCode CreateAnalyzers() override {
        CSQLiteRecoveryControler::CreateAnalyzers();
        for (int i = 0; i < count_; ++i) analyzers_.push_back(new CountingAnalyze("t" + std::to_string(i), &calls));
        return RK_OK;
    }
    CountingAnalyze* At(int index) {
        auto it = analyzers_.begin();
        std::advance(it, index);
        return static_cast<CountingAnalyze*>(*it);
    }
    void SetVersionPair(VersionPair v) { version_ = v; }
    std::vector<std::string> calls;

private:
    FakeSQLiteEngine* fake_;
    int count_;
};

std::shared_ptr<FakeTable> TableOf(std::vector<int64_t> liveIds, std::vector<int64_t> recoveredIds = {}) {
    auto table = std::make_shared<FakeTable>();
    table->columns = {"_id"};
    for (int64_t id : liveIds) table->live.push_back({FieldValue::MakeInteger(id)});
    for (int64_t id : recoveredIds) table->recovered.push_back({FieldValue::MakeInteger(id)});
    return table;
}

FakeSQLiteEngine* EngineWithViews(int views, int tables) {
    auto* engine = new FakeSQLiteEngine();
    engine->views.resize(views);
    for (int v = 0; v < views; ++v) {
        engine->views[v].flag = views > 1 ? v : -1;
        for (int t = 0; t < tables; ++t) engine->views[v].tables["t" + std::to_string(t)] = TableOf({1});
    }
    return engine;
}

}  // namespace

TEST(RecoveryControlerTest, SixAnalysersOverOneViewReportToEighty) {
    RecordingSink sink;
    TestControler controler(EngineWithViews(1, 6), 6, &sink);
    ASSERT_EQ(controler.OpenFile(), RK_OK);
    ASSERT_EQ(controler.OpenEngine(), RK_OK);
    ASSERT_EQ(controler.Recover(), RK_OK);
    EXPECT_EQ(sink.Done(), (std::vector<uint64_t>{12, 26, 40, 52, 66, 80}));
    for (const auto& record : sink.records) {
        EXPECT_EQ(record.state, 2u);
        EXPECT_EQ(record.total, 100u);
    }
    EXPECT_EQ(controler.At(5)->GetRows(0)->size(), 1u);
}

TEST(RecoveryControlerTest, CancelAfterTheFirstAnalyser) {
    RecordingSink sink;
    sink.stopAfter = 1;
    TestControler controler(EngineWithViews(2, 6), 6, &sink);
    ASSERT_EQ(controler.OpenFile(), RK_OK);
    ResultCode rc = controler.Recover();
    EXPECT_TRUE(Failed(rc));
    EXPECT_EQ(ErrorNumber(rc), 13u);
    EXPECT_EQ(controler.calls.size(), 1u);  // only t0 ran, on view 0
    EXPECT_TRUE(sink.records.empty());
}

TEST(RecoveryControlerTest, MissingTableGivesNoRowsAndNoError) {
    FakeSQLiteEngine* engine = EngineWithViews(1, 1);  // only t0 exists
    TestControler controler(engine, 2);
    ASSERT_EQ(controler.OpenFile(), RK_OK);
    ASSERT_EQ(controler.Recover(), RK_OK);
    EXPECT_EQ(controler.At(0)->RowCount(), 1u);
    EXPECT_EQ(controler.At(1)->RowCount(), 0u);
    EXPECT_EQ(controler.At(1)->Analyze(engine, false), RK_OK);
}

TEST(RecoveryControlerTest, UnreadableViewIsSkipped) {
    RecordingSink sink;
    FakeSQLiteEngine* engine = EngineWithViews(2, 3);
    engine->views[0].readable = false;
    TestControler controler(engine, 3, &sink);
    ASSERT_EQ(controler.OpenFile(), RK_OK);
    EXPECT_EQ(controler.Recover(), RK_OK);
    // Only view 1 ran: three steps of the six counted.
    EXPECT_EQ(sink.Done(), (std::vector<uint64_t>{12, 26, 40}));
    EXPECT_EQ(controler.calls, (std::vector<std::string>{"t0:live:1", "t1:live:1", "t2:live:1"}));
}

TEST(RecoveryControlerTest, EveryViewInTurnWithItsFlag) {
    FakeSQLiteEngine* engine = new FakeSQLiteEngine();
    engine->views.resize(2);
    engine->views[0].flag = 0;
    engine->views[1].flag = 1;
    auto v0 = TableOf({1, 2}, {3, 4});
    auto v1 = TableOf({1}, {9});
    engine->views[0].tables["t0"] = v0;
    engine->views[1].tables["t0"] = v1;
    TestControler controler(engine, 1);
    controler.SetVersionPair({4, 4});
    ASSERT_EQ(controler.OpenFile(), RK_OK);
    // The file is opened on its last view.
    EXPECT_EQ(engine->selected, std::vector<int>{1});
    ASSERT_EQ(controler.Recover(), RK_OK);
    EXPECT_EQ(engine->selected, (std::vector<int>{1, 0, 1}));
    EXPECT_EQ(v0->walks, std::vector<bool>{false});
    EXPECT_EQ(v1->walks, std::vector<bool>{true});
    // Recovered records first, and only where recovery runs.
    EXPECT_EQ(controler.calls, (std::vector<std::string>{"t0:recovered:2", "t0:live:2", "t0:live:1"}));
    // The rows of view 0 were reset before view 1; only row 1 was confirmed live by it.
    RowMultimap* rows = controler.At(0)->GetRows(0);
    ASSERT_EQ(rows->size(), 5u);
    int live = 0;
    for (auto& entry : *rows) live += entry.second->live;
    EXPECT_EQ(live, 1);
    EXPECT_EQ(controler.At(0)->Version().major, 4);
}

TEST(RecoveryControlerTest, FailuresOfOpeningAndWalking) {
    // No engine at all.
    struct NoEngine : TestControler {
        NoEngine() : TestControler(nullptr, 1) {}
        ISQLiteEngine* CreateEngine() override { return nullptr; }
    } none;
    EXPECT_EQ(ErrorNumber(none.OpenFile()), 1u);
    EXPECT_TRUE(Failed(none.OpenEngine()));
    // A database that is no database: the reader fails.
    FakeSQLiteEngine* engine = EngineWithViews(1, 1);
    engine->views[0].readable = false;
    TestControler bad(engine, 1);
    ASSERT_EQ(bad.OpenFile(), RK_OK);
    EXPECT_EQ(ErrorNumber(bad.OpenEngine()), 1u);
    // A table whose walk fails fails its analyser, not the run.
    FakeSQLiteEngine* walking = EngineWithViews(1, 2);
    walking->views[0].tables["t0"]->walkResult = -2;
    TestControler run(walking, 2);
    ASSERT_EQ(run.OpenFile(), RK_OK);
    EXPECT_EQ(run.Recover(), RK_OK);
    EXPECT_EQ(run.calls, std::vector<std::string>{"t1:live:1"});
    CountingAnalyze lone("t0");
    EXPECT_EQ(ErrorNumber(lone.Analyze(nullptr, false)), 1u);
    EXPECT_EQ(ErrorNumber(lone.Analyze(walking, false)), 1u);
    EXPECT_EQ(lone.GetRows(13), nullptr);
    EXPECT_EQ(lone.GetRows(-1), nullptr);
    EXPECT_NE(lone.GetRows(12), nullptr);
}

TEST(RecoveryControlerTest, ListedAnalysersAreAllOrNone) {
    struct Other : CountingAnalyze {
        Other(int* released) : CountingAnalyze("other"), released_(released) {}
        ~Other() override { ++*released_; }
        int* released_;
    };
    struct Lister : TestControler {
        Lister() : TestControler(nullptr, 0) {}
        using CSQLiteRecoveryControler::Listed;
        using CSQLiteRecoveryControler::ListAnalyzers;
    } lister;
    int released = 0;
    // One that could not be made: the others are released, nothing is listed.
    EXPECT_EQ(ErrorNumber(lister.ListAnalyzers({new Other(&released), nullptr, new Other(&released)})), 1u);
    EXPECT_EQ(released, 2);
    EXPECT_TRUE(lister.Analyzers().empty());
    // All made: listed in order, found by class until they are released.
    auto* counting = new CountingAnalyze("t0");
    auto* other = new Other(&released);
    ASSERT_EQ(lister.ListAnalyzers({counting, other}), RK_OK);
    EXPECT_EQ(lister.Analyzers(), (std::list<CTableAnalyze*>{counting, other}));
    EXPECT_EQ(lister.Listed<Other>(), other);
    lister.ReleaseAnalyzers();
    EXPECT_EQ(released, 3);
    EXPECT_EQ(lister.Listed<Other>(), nullptr);
}
