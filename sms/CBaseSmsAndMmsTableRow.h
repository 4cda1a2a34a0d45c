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

// Whether the row is an sms or a pdu row.
bool IsMessageRow(const CTableRow* row);

// What orders a row among a conversation's messages, read from it once.
struct MessageOrder {
    bool message;
    uint8_t live;
    int64_t date;
    bool operator<(const MessageOrder& other) const {
        if (!message || !other.message) return message && !other.message;
        if (date != other.date) return date < other.date;
        return live > other.live;
    }
};
MessageOrder MessageOrderOf(const CTableRow* row);

// The order of messages within a conversation: earlier date first, at equal dates a live row before
// a recovered one. Rows that are no messages come after all messages.
bool MessageDateLess(const CTableRow* a, const CTableRow* b);
