#pragma once
#include <string>
#include <vector>

#include "sqlite_recovery/controller/CTableRow.h"
#include "sms/SmsTableKinds.h"

class CThreadsTableRow : public CTableRow {
public:
    // The kind of its rows, which no other class gives (see SmsRowAs).
    static constexpr int32_t kKind = kThreadsKind;
    CThreadsTableRow() : CTableRow(kKind) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override { return std::string(); }

    int64_t date = 0;  // seconds
    std::vector<int64_t> recipientIds;
    std::string snippet;
    int type = 0;
};

// Parses "recipient_ids": pieces split at spaces, sorted as strings without repeats, each at most 19
// decimal digits. False at the first bad piece (ids already appended stay).
bool ParseRecipientIds(std::vector<int64_t>& ids, const std::string& text);
