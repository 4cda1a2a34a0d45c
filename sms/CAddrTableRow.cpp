#include "sms/CAddrTableRow.h"

bool CAddrTableRow::Equals(const CTableRow* other) const {
    auto* row = dynamic_cast<const CAddrTableRow*>(other);
    return row && row->id == id && row->messageId == messageId && row->contactId == contactId &&
           row->address == address && row->type == type && row->charset == charset;
}
