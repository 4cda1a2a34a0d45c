#include "sqlite_recovery/controller/CTableAnalyze.h"

ISQLiteTable::~ISQLiteTable() {}
ISQLiteEngine::~ISQLiteEngine() {}

CTableAnalyze::~CTableAnalyze() { ReleaseRows(); }

void CTableAnalyze::ReleaseRows() {
    for (RowMultimap& rows : rows_) DeleteRowsOfMap(rows);
}

void CTableAnalyze::DeleteRowsOfMap(RowMultimap& rows) {
    for (auto& entry : rows)
        if (entry.second) entry.second->Release();
    rows.clear();
}

ResultCode CTableAnalyze::Analyze(ISQLiteEngine* engine, bool viewFlag) {
    if (!engine) return RK_FAIL(RK_E_FAIL);
    ISQLiteTable* table = engine->FindTable(name_);
    if (!table) return RK_OK;
    if (table->Walk(viewFlag) < 0) return RK_FAIL(RK_E_FAIL);
    ResultCode result = RK_OK;
    if (!viewFlag && table->RecoveredCount() > 0) result = BuildRows(table, table->RecoveredCount(), false);
    if (Succeeded(result) && table->LiveCount() > 0) result = BuildRows(table, table->LiveCount(), true);
    // The rows hold what they read: where the records lay is not kept beside the next tables'.
    table->ForgetRecords();
    return result;
}

void CTableAnalyze::Reset() {
    for (RowMultimap& rows : rows_)
        for (auto& entry : rows) entry.second->live = 0;
}

void CTableAnalyze::SetVersion(const VersionPair* version) {
    if (version) version_ = *version;
}

RowMultimap* CTableAnalyze::GetRows(int index) {
    return index >= 0 && index < kRowMapCount ? &rows_[index] : nullptr;
}

bool CTableAnalyze::IsCancelled() {
    return sink_ && sink_->ShouldContinue() == 0;
}

size_t CTableAnalyze::RowCount() const {
    size_t total = 0;
    for (const RowMultimap& rows : rows_) total += rows.size();
    return total;
}
