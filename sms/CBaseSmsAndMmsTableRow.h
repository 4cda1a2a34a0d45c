#pragma once
#include <cstdint>

#include "sqlite_recovery/controller/CTableRow.h"

// The common base of the sms and pdu rows.
class CBaseSmsAndMmsTableRow : public CTableRow {
public:
    explicit CBaseSmsAndMmsTableRow(int32_t kind) : CTableRow(kind) {}

    int64_t threadId = 0;
    int64_t date = 0;  // seconds since 1970-01-01 UTC
};

// The order of messages within a conversation: earlier date first, at equal dates a live row before
// a recovered one. Rows that are no messages come after all messages.
bool MessageDateLess(const CTableRow* a, const CTableRow* b);
