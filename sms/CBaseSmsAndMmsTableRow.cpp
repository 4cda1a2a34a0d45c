#include "sms/CBaseSmsAndMmsTableRow.h"

#include "sms/SmsTableKinds.h"

// The sms and pdu rows are the messages, and each of the two kinds is given by its class alone.
bool IsMessageRow(const CTableRow* row) { return row && (row->tableKind == kSmsKind || row->tableKind == kPduKind); }

MessageOrder MessageOrderOf(const CTableRow* row) {
    if (!IsMessageRow(row)) return MessageOrder{false, 0, 0};
    auto* message = static_cast<const CBaseSmsAndMmsTableRow*>(row);
    return MessageOrder{true, message->live, message->date};
}

bool MessageDateLess(const CTableRow* a, const CTableRow* b) { return MessageOrderOf(a) < MessageOrderOf(b); }
