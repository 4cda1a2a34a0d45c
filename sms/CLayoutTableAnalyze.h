#pragma once
#include "sqlite_recovery/controller/CTableAnalyze.h"
#include "sms/SmsRowParsers.h"
#include "sms/SmsRowStore.h"

// A table analyser of the SMS/MMS database: reads its layout's columns of every record, turns each
// record into a row by the layout's checks and files the row in multimap 0 by the duplicate rule.
class CLayoutTableAnalyze : public CTableAnalyze {
public:
    explicit CLayoutTableAnalyze(const SmsTableLayout& layout)
        : CTableAnalyze(layout.table), layout_(layout), store_(rows_[0]) {}
    ResultCode BuildRows(ISQLiteTable* table, int count, bool live) override;

private:
    // Says on the log how many recovered records were fragments with bytes that are no text, and
    // how many were read with a text cut short.
    void TellOf(int notText, int cut) const;

    const SmsTableLayout& layout_;
    SmsRowStore store_;
};
