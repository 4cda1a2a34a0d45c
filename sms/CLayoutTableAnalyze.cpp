#include "sms/CLayoutTableAnalyze.h"

#include <cstring>
#include <string>
#include <vector>

#include "sqlite_recovery/framework/Logger.h"

namespace {

// A text the phone wrote never holds a NUL byte; zeros in one are what a later write left over it.
bool HoldsNoText(const FieldValue& value) {
    return value.kind == FieldValue::Text && value.data && std::memchr(value.data, 0, value.length) != nullptr;
}

}  // namespace

ResultCode CLayoutTableAnalyze::BuildRows(ISQLiteTable* table, int count, bool live) {
    if (!table) return RK_FAIL(RK_E_FAIL);
    std::vector<int> columns(layout_.count);
    for (size_t c = 0; c < layout_.count; ++c) columns[c] = table->FindColumn(layout_.columns[c]);
    std::vector<FieldValue> values(layout_.count);
    // The engine's text bytes are copied at once: a later read may reuse its buffer.
    std::vector<std::string> bytes(layout_.count);
    int notText = 0, cut = 0;
    store_.Expect(count > 0 ? static_cast<size_t>(count) : 0);
    for (int record = 0; record < count; ++record) {
        if (IsCancelled()) {
            TellOf(notText, cut);
            return RK_FAIL(RK_E_CANCELLED);
        }
        bool readable = true, partial = false;
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
            // Nor is a fragment whose text column holds bytes that are no text.
            if (!live && layout_.classes && layout_.classes[c] == 't' && HoldsNoText(value)) {
                readable = false;
                ++notText;
                break;
            }
            partial = partial || value.cut;
            if ((value.kind == FieldValue::Text || value.kind == FieldValue::Blob) && value.data) {
                bytes[c].assign(value.data, value.length);
                value.data = bytes[c].data();
            }
            values[c] = value;
        }
        if (!readable) continue;
        CTableRow* row = layout_.build(values.data(), live);
        if (!row) continue;
        cut += !live && partial;
        store_.Store(row);
    }
    store_.ForgetIndexes();
    TellOf(notText, cut);
    return RK_OK;
}

void CLayoutTableAnalyze::TellOf(int notText, int cut) const {
    if (notText > 0)
        RK_LOG("Table %s: %d deleted record%s passed over: a text column holds bytes that are no text.",
               layout_.table, notText, notText == 1 ? "" : "s");
    if (cut > 0)
        RK_LOG("Table %s: %d deleted record%s read in part: later writes took the rest of a text.", layout_.table,
               cut, cut == 1 ? "" : "s");
}
