#include "contacts/tables/CSearchIndexContentTableAnalyze.h"

#include <new>

#include "contacts/tables/CSearchIndexContentTableRow.h"
#include "contacts/tables/ContactTableRules.h"

ResultCode CSearchIndexContentTableAnalyze::BuildRows(ISQLiteTable* table, int count, bool live) {
    IndexedBatch batch(filed_, rows_[0]);
    const int idColumn = table->FindColumn("docid");
    const int contactColumn = table->FindColumn("c0contact_id");
    const int contentColumn = table->FindColumn("c1content");
    const int tokensColumn = table->FindColumn("c3tokens");
    for (int i = 0; i < count; ++i) {
        if (IsCancelled()) return RK_FAIL(RK_E_CANCELLED);
        auto* row = new (std::nothrow) CSearchIndexContentTableRow();
        if (!row) return RK_FAIL(RK_E_FAIL);
        row->live = live ? 1 : 0;
        if (!ReadInt64(table, i, idColumn, live, &row->id) ||
            !ReadInt64(table, i, contactColumn, live, &row->contactId) ||
            !ReadText(table, i, contentColumn, live, &row->content) ||
            !ReadText(table, i, tokensColumn, live, &row->tokens)) {
            row->Release();
            continue;
        }
        AddRow(row, rows_[0], filed_);
    }
    return RK_OK;
}
