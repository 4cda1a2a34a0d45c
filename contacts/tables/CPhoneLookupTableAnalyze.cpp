#include "contacts/tables/CPhoneLookupTableAnalyze.h"

#include <new>

#include "contacts/tables/CPhoneLookupTableRow.h"
#include "contacts/tables/ContactTableRules.h"
#include "sqlite_recovery/framework/TextUtils.h"

ResultCode CPhoneLookupTableAnalyze::BuildRows(ISQLiteTable* table, int count, bool live) {
    IndexedBatch batch(filed_, rows_[0]);
    const int idColumn = table->FindColumn("data_id");
    const int rawColumn = table->FindColumn("raw_contact_id");
    const int numberColumn = table->FindColumn("normalized_number");
    const int minMatchColumn = table->FindColumn("min_match");
    for (int i = 0; i < count; ++i) {
        if (IsCancelled()) return RK_FAIL(RK_E_CANCELLED);
        auto* row = new (std::nothrow) CPhoneLookupTableRow();
        if (!row) return RK_FAIL(RK_E_FAIL);
        row->live = live ? 1 : 0;
        if (!ReadInt64(table, i, idColumn, live, &row->id) || !ReadInt64(table, i, rawColumn, live, &row->rawContactId) ||
            !ReadText(table, i, numberColumn, live, &row->normalizedNumber) ||
            !ReadText(table, i, minMatchColumn, live, &row->minMatch)) {
            row->Release();
            continue;
        }
        bool good = IsPhoneNumberText(row->normalizedNumber) && IsPhoneNumberText(row->minMatch);
        if (good) {
            // min_match is stored reversed; older devices store the number reversed as well.
            ReverseString(row->minMatch);
            if (version_.major <= 2) ReverseString(row->normalizedNumber);
            good = row->normalizedNumber.find(row->minMatch) != std::string::npos;
        }
        // A bad record is skipped; the records after it are still read.
        if (!good) {
            row->Release();
            continue;
        }
        AddRow(row, rows_[0], filed_);
    }
    return RK_OK;
}
