#pragma once
#include "contacts/tables/EqualRowIndex.h"
#include "sqlite_recovery/controller/CTableAnalyze.h"

// Reads search_index_content, the full-text index of contacts: it keeps a contact's addresses and
// numbers after its data rows are gone.
// All rows go to multimap 0.
class CSearchIndexContentTableAnalyze : public CTableAnalyze {
public:
    CSearchIndexContentTableAnalyze() : CTableAnalyze("search_index_content") {}
    ResultCode BuildRows(ISQLiteTable* table, int count, bool live) override;

private:
    EqualRowIndex filed_;  // the rows of multimap 0, for the duplicate rule
};
