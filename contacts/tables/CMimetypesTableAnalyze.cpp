#include "contacts/tables/CMimetypesTableAnalyze.h"

#include <new>

#include "contacts/tables/CMimetypesTableRow.h"
#include "contacts/tables/ContactTableRules.h"

ResultCode CMimetypesTableAnalyze::BuildRows(ISQLiteTable* table, int count, bool live) {
    const int idColumn = table->FindColumn("_id");
    const int mimetypeColumn = table->FindColumn("mimetype");
    for (int i = 0; i < count; ++i) {
        if (IsCancelled()) return RK_FAIL(RK_E_CANCELLED);
        auto* row = new (std::nothrow) CMimetypesTableRow();
        if (!row) return RK_FAIL(RK_E_FAIL);
        row->live = live ? 1 : 0;
        std::string mimetype;
        if (!ReadInt64(table, i, idColumn, live, &row->id) || !ReadText(table, i, mimetypeColumn, live, &mimetype)) {
            row->Release();
            continue;
        }
        row->dataKind = mimetype.empty() ? kDataUnknown : MimetypeKindOf(mimetype);
        if (row->dataKind == kDataUnknown) {
            row->Release();
            continue;
        }
        rows_[0].emplace(row->id, row);
    }
    return RK_OK;
}
