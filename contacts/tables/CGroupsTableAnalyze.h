#pragma once
#include "contacts/tables/EqualRowIndex.h"
#include "sqlite_recovery/controller/CTableAnalyze.h"

// Reads the groups table.
// All rows go to multimap 0.
class CGroupsTableAnalyze : public CTableAnalyze {
public:
    CGroupsTableAnalyze() : CTableAnalyze("groups") {}
    ResultCode BuildRows(ISQLiteTable* table, int count, bool live) override;

private:
    EqualRowIndex filed_;  // the rows of multimap 0, for the duplicate rule
};
