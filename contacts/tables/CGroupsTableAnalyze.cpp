#include "contacts/tables/CGroupsTableAnalyze.h"

#include <new>

#include "contacts/tables/CGroupsTableRow.h"
#include "contacts/tables/ContactTableRules.h"

ResultCode CGroupsTableAnalyze::BuildRows(ISQLiteTable* table, int count, bool live) {
    IndexedBatch batch(filed_, rows_[0]);
    const int idColumn = table->FindColumn("_id");
    const int versionColumn = table->FindColumn("version");
    const int titleColumn = table->FindColumn("title");
    const int deletedColumn = table->FindColumn("deleted");
    for (int i = 0; i < count; ++i) {
        if (IsCancelled()) return RK_FAIL(RK_E_CANCELLED);
        auto* row = new (std::nothrow) CGroupsTableRow();
        if (!row) return RK_FAIL(RK_E_FAIL);
        row->live = live ? 1 : 0;
        if (!ReadInt64(table, i, idColumn, live, &row->id) || !ReadInt64(table, i, versionColumn, live, &row->version) ||
            !ReadText(table, i, titleColumn, live, &row->title) ||
            !ReadInt64(table, i, deletedColumn, live, &row->deleted) || row->title.empty() ||
            (row->deleted != 0 && row->deleted != 1)) {
            row->Release();
            continue;
        }
        AddRow(row, rows_[0], filed_);
    }
    return RK_OK;
}
