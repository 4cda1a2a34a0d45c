#pragma once
#include "sqlite_recovery/controller/CTableAnalyze.h"

// Reads the groups table.
// All rows go to multimap 0.
class CGroupsTableAnalyze : public CTableAnalyze {
public:
    CGroupsTableAnalyze() : CTableAnalyze("groups") {}
    ResultCode BuildRows(ISQLiteTable* table, int count, bool live) override;
};
