#include "sms/CLayoutTableAnalyze.h"

#include <string>
#include <vector>

ResultCode CLayoutTableAnalyze::BuildRows(ISQLiteTable* table, int count, bool live) {
    if (!table) return RK_FAIL(RK_E_FAIL);
    std::vector<int> columns(layout_.count);
    for (size_t c = 0; c < layout_.count; ++c) columns[c] = table->FindColumn(layout_.columns[c]);
    std::vector<FieldValue> values(layout_.count);
    // The engine's text bytes are copied at once: a later read may reuse its buffer.
    std::vector<std::string> bytes(layout_.count);
    for (int record = 0; record < count; ++record) {
        if (IsCancelled()) return RK_FAIL(RK_E_CANCELLED);
        bool readable = true;
        for (size_t c = 0; c < layout_.count && readable; ++c) {
            FieldValue value;
            if (table->GetValue(record, columns[c], live, &value) < 0) {
                readable = false;
                break;
            }
            // A recovered record whose values its columns cannot hold was never a row of the table.
            if (!live && layout_.classes && !FitsColumnClass(value, layout_.classes[c])) {
                readable = false;
                break;
            }
            if ((value.kind == FieldValue::Text || value.kind == FieldValue::Blob) && value.data) {
                bytes[c].assign(value.data, value.length);
                value.data = bytes[c].data();
            }
            values[c] = value;
        }
        if (!readable) continue;
        CTableRow* row = layout_.build(values.data(), live);
        if (row) store_.Store(row);
    }
    store_.ForgetIndexes();
    return RK_OK;
}
