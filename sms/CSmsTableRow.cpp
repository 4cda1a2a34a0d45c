#include "sms/CSmsTableRow.h"

#include "sms/SmsRowAs.h"

bool CSmsTableRow::Equals(const CTableRow* other) const {
    auto* row = SmsRowAs<const CSmsTableRow>(other);
    return row && row->id == id && row->threadId == threadId && row->date == date && row->address == address &&
           row->type == type && row->body == body;
}

std::string CSmsTableRow::ToString() const { return (type == 1 ? "RECV(SMS): " : "SEND(SMS): ") + body; }
