#pragma once
#include <string>

#include "sqlite_recovery/controller/CTableRow.h"
#include "sms/SmsTableKinds.h"

// A row of the full-text index's content table: the indexed text of an sms body or an MMS text part.
class CWordsContentTableRow : public CTableRow {
public:
    // The kind of its rows, which no other class gives (see SmsRowAs).
    static constexpr int32_t kKind = kWordsContentKind;
    CWordsContentTableRow() : CTableRow(kKind) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override { return std::string(); }

    int64_t rowId = 0;     // "c0_id"
    std::string indexText;  // "c1index_text"
    int64_t sourceId = 0;  // "c2source_id"
    int64_t tableToUse = 0;  // "c3table_to_use": 1 sms, 2 part
};
