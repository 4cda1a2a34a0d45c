#include "contacts/tables/CContactsTableAnalyze.h"

#include <new>

#include "contacts/tables/CContactsTableRow.h"
#include "contacts/tables/ContactTableRules.h"

ResultCode CContactsTableAnalyze::BuildRows(ISQLiteTable* table, int count, bool live) {
    IndexedBatch batch(filed_, rows_[0]);
    const int idColumn = table->FindColumn("_id");
    const int nameColumn = table->FindColumn("name_raw_contact_id");
    const int photoColumn = table->FindColumn("photo_id");
    for (int i = 0; i < count; ++i) {
        if (IsCancelled()) return RK_FAIL(RK_E_CANCELLED);
        auto* row = new (std::nothrow) CContactsTableRow();
        if (!row) return RK_FAIL(RK_E_FAIL);
        row->live = live ? 1 : 0;
        if (!ReadInt64(table, i, idColumn, live, &row->id) ||
            !ReadInt64(table, i, nameColumn, live, &row->nameRawContactId) ||
            !ReadInt64(table, i, photoColumn, live, &row->photoId)) {
            row->Release();
            continue;
        }
        AddRow(row, rows_[0], filed_);
    }
    return RK_OK;
}
