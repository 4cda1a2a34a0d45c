#include "sms/CWordsContentTableRow.h"

bool CWordsContentTableRow::Equals(const CTableRow* other) const {
    auto* row = dynamic_cast<const CWordsContentTableRow*>(other);
    return row && row->id == id && row->rowId == rowId && row->indexText == indexText &&
           row->sourceId == sourceId && row->tableToUse == tableToUse;
}
