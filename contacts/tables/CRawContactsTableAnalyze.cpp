#include "contacts/tables/CRawContactsTableAnalyze.h"

#include <new>

#include "contacts/tables/CRawContactsTableRow.h"
#include "contacts/tables/ContactTableRules.h"

ResultCode CRawContactsTableAnalyze::BuildRows(ISQLiteTable* table, int count, bool live) {
    IndexedBatch batch(filed_, rows_[0]);
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
        // A carved record whose values its columns cannot hold was never a raw_contacts row: one
        // with the id of a live raw contact would otherwise become a second contact holding all of
        // its data rows. Texts are taken at once, as a value's bytes may not outlive the next read.
        bool fits = true;
        auto number = [&](int column, int64_t* out) {
            FieldValue value;
            if (!ReadValue(table, i, column, live, &value)) return false;
            fits = fits && (live || FitsIntegerColumn(value));
            *out = value.ToInt64();
            return true;
        };
        auto text = [&](int column, std::string* out) {
            FieldValue value;
            if (!ReadValue(table, i, column, live, &value)) return false;
            fits = fits && (live || FitsTextColumn(value));
            *out = value.ToText();
            return true;
        };
        int64_t source = 0;
        if (!number(idColumn, &row->id) || !number(versionColumn, &row->version) ||
            !number(deletedColumn, &row->deleted) || !number(contactColumn, &row->contactId) ||
            !number(sourceColumn, &source) || !text(nameColumn, &row->displayName) ||
            !text(nameAltColumn, &row->displayNameAlt) || !fits || (row->deleted != 0 && row->deleted != 1)) {
            row->Release();
            continue;
        }
        row->sourceKind = DisplayNameSourceKind(source);
        AddRawContactRow(row, rows_[0], &filed_);
    }
    return RK_OK;
}
