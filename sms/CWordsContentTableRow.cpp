#include "sms/CWordsContentTableRow.h"

#include "sms/SmsRowAs.h"

bool CWordsContentTableRow::Equals(const CTableRow* other) const {
    auto* row = SmsRowAs<const CWordsContentTableRow>(other);
    return row && row->id == id && row->rowId == rowId && row->indexText == indexText &&
           row->sourceId == sourceId && row->tableToUse == tableToUse;
}
