#pragma once
#include <string>
#include <vector>

#include "sms/CBaseSmsAndMmsTableRow.h"
#include "sms/SmsTableKinds.h"

class CPduTableRow : public CBaseSmsAndMmsTableRow {
public:
    // The kind of its rows, which no other class gives (see SmsRowAs).
    static constexpr int32_t kKind = kPduKind;
    CPduTableRow() : CBaseSmsAndMmsTableRow(kKind) {}
    // The parts take no part in equality.
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override;

    // Attaches a part row (not owned). A recovered part that repeats an attached one is left out; one
    // whose text grows an attached text part of the same location replaces it.
    void AddPart(CTableRow* part);

    int messageBox = 0;  // 0..4; 5 for rows the assembly makes up
    std::string subject;
    int64_t subjectCharset = 106;
    int multipartKind = 0;
    std::vector<CTableRow*> parts;  // CPartTableRow, owned by the part analyser
    // False for a recovered record whose _id was lost with its cell header (read as NULL, so 0).
    bool idKnown = true;
};
