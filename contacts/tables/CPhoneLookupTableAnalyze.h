#pragma once
#include "contacts/tables/EqualRowIndex.h"
#include "sqlite_recovery/controller/CTableAnalyze.h"

// Reads the phone_lookup table: the numbers of phone rows, also of contacts whose data rows are lost.
// All rows go to multimap 0.
class CPhoneLookupTableAnalyze : public CTableAnalyze {
public:
    CPhoneLookupTableAnalyze() : CTableAnalyze("phone_lookup") {}
    ResultCode BuildRows(ISQLiteTable* table, int count, bool live) override;

private:
    EqualRowIndex filed_;  // the rows of multimap 0, for the duplicate rule
};
