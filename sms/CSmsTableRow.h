#pragma once
#include <string>

#include "sms/CBaseSmsAndMmsTableRow.h"
#include "sms/SmsTableKinds.h"

class CSmsTableRow : public CBaseSmsAndMmsTableRow {
public:
    // The kind of its rows, which no other class gives (see SmsRowAs).
    static constexpr int32_t kKind = kSmsKind;
    CSmsTableRow() : CBaseSmsAndMmsTableRow(kKind) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override;

    // Received (type 1), or sent in any state.
    bool IsSent() const { return type != 1; }

    std::string address;
    int type = 0;  // 0..6; 7 for text-only rows the assembly makes up
    std::string body;
    bool cut = false;          // the body is only the part of it that could be read
    bool fromSnippet = false;  // text-only rows: a thread's snippet, else the word index
    bool typeKnown = true;     // false when the record kept no type: which way it went is unknown
};
