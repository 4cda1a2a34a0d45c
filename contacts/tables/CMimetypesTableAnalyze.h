#pragma once
#include "sqlite_recovery/controller/CTableAnalyze.h"

// Reads the mimetypes table: which mimetype id names which kind of data.
// All rows go to multimap 0.
class CMimetypesTableAnalyze : public CTableAnalyze {
public:
    CMimetypesTableAnalyze() : CTableAnalyze("mimetypes") {}
    ResultCode BuildRows(ISQLiteTable* table, int count, bool live) override;
};
