#pragma once
#include "contacts/tables/EqualRowIndex.h"
#include "sqlite_recovery/controller/CTableAnalyze.h"

// Reads the contacts table.
// All rows go to multimap 0.
class CContactsTableAnalyze : public CTableAnalyze {
public:
    CContactsTableAnalyze() : CTableAnalyze("contacts") {}
    ResultCode BuildRows(ISQLiteTable* table, int count, bool live) override;

private:
    EqualRowIndex filed_;  // the rows of multimap 0, for the duplicate rule
};
