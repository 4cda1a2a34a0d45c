#include "sms/CThreadsTableRow.h"

#include <algorithm>

#include "sqlite_recovery/framework/TextUtils.h"
#include "sms/SmsRowAs.h"

bool CThreadsTableRow::Equals(const CTableRow* other) const {
    auto* row = SmsRowAs<const CThreadsTableRow>(other);
    return row && row->id == id && row->date == date && row->recipientIds == recipientIds &&
           row->snippet == snippet && row->type == type;
}

bool ParseRecipientIds(std::vector<int64_t>& ids, const std::string& text) {
    ids.clear();
    std::vector<std::string> pieces = SplitString(text, " ");
    std::sort(pieces.begin(), pieces.end());
    pieces.erase(std::unique(pieces.begin(), pieces.end()), pieces.end());
    for (const std::string& piece : pieces) {
        if (piece.size() >= 20) return false;
        int64_t value = 0;
        for (char c : piece) {
            if (c < '0' || c > '9') return false;
            uint64_t next = static_cast<uint64_t>(value) * 10 + static_cast<uint64_t>(c - '0');
            if (next > static_cast<uint64_t>(INT64_MAX)) return false;  // 19 digits can still overflow
            value = static_cast<int64_t>(next);
        }
        ids.push_back(value);
    }
    return true;
}
