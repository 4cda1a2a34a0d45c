#include "sms/CAddrTableRow.h"

#include "sms/SmsRowAs.h"

bool CAddrTableRow::Equals(const CTableRow* other) const {
    auto* row = SmsRowAs<const CAddrTableRow>(other);
    return row && row->id == id && row->messageId == messageId && row->contactId == contactId &&
           row->address == address && row->type == type && row->charset == charset;
}
