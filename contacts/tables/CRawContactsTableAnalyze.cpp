#include "CRawContactsTableAnalyze.h"

#include <new>

#include "CRawContactsTableRow.h"
#include "ContactTableRules.h"

ResultCode CRawContactsTableAnalyze::BuildRows(ISQLiteTable* table, int count, bool live) {
    const int idColumn = table->FindColumn("_id");
    const int versionColumn = table->FindColumn("version");
    const int deletedColumn = table->FindColumn("deleted");
    const int contactColumn = table->FindColumn("contact_id");
    const int nameColumn = table->FindColumn("display_name");
    const int nameAltColumn = table->FindColumn("display_name_alt");
    const int sourceColumn = table->FindColumn("display_name_source");
    for (int i = 0; i < count; ++i) {
        if (IsCancelled()) return RK_FAIL(RK_E_CANCELLED);
        auto* row = new (std::nothrow) CRawContactsTableRow();
        if (!row) return RK_FAIL(RK_E_FAIL);
        row->live = live ? 1 : 0;
        int64_t source = 0;
        if (!ReadInt64(table, i, idColumn, live, &row->id) || !ReadInt64(table, i, versionColumn, live, &row->version) ||
            !ReadInt64(table, i, deletedColumn, live, &row->deleted) ||
            !ReadInt64(table, i, contactColumn, live, &row->contactId) ||
            !ReadInt64(table, i, sourceColumn, live, &source) ||
            !ReadText(table, i, nameColumn, live, &row->displayName) ||
            !ReadText(table, i, nameAltColumn, live, &row->displayNameAlt) || (row->deleted != 0 && row->deleted != 1)) {
            row->Release();
            continue;
        }
        row->sourceKind = DisplayNameSourceKind(source);
        AddRawContactRow(row, rows_[0]);
    }
    return RK_OK;
}
