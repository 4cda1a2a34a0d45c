#pragma once
#include "contacts/tables/EqualRowIndex.h"
#include "sqlite_recovery/controller/CTableAnalyze.h"

// Reads the raw_contacts table, keeping one row per raw contact under the version rule.
// All rows go to multimap 0.
class CRawContactsTableAnalyze : public CTableAnalyze {
public:
    CRawContactsTableAnalyze() : CTableAnalyze("raw_contacts") {}
    ResultCode BuildRows(ISQLiteTable* table, int count, bool live) override;

private:
    EqualRowIndex filed_;  // the rows of multimap 0, for the duplicate rule
};
