#include "sms/SmsRowStore.h"

#include "sms/CPduTableRow.h"

void StoreSmsRow(SmsRowMap& rows, CTableRow* row) {
    if (!row) return;
    auto range = rows.equal_range(row->id);
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second->Equals(row)) {
            it->second->live = row->live;
            row->Release();
            return;
        }
    }
    if (auto* pdu = dynamic_cast<CPduTableRow*>(row)) {
        for (auto it = rows.lower_bound(row->id); it != rows.end() && it->first == row->id;) {
            auto* held = dynamic_cast<CPduTableRow*>(it->second);
            // Versions of one MMS share its id; recovered MMS whose ids were lost are not versions of
            // each other.
            if (held && held->threadId == pdu->threadId && !held->live && !pdu->live && held->idKnown &&
                pdu->idKnown) {
                if (pdu->date <= held->date) {
                    row->Release();
                    return;
                }
                held->Release();
                it = rows.erase(it);
                continue;
            }
            ++it;
        }
    }
    rows.emplace(row->id, row);
}

void ReleaseSmsRows(SmsRowMap& rows) {
    for (auto& entry : rows) entry.second->Release();
    rows.clear();
}
