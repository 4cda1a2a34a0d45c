#pragma once
#include <type_traits>

#include "sqlite_recovery/controller/CTableRow.h"

// A row as the SMS/MMS row class its kind names, or null. Each of those classes gives its rows its
// own kind (its kKind), which nothing else gives, so the kind tells the class: a run asks this of
// each of a large phone's rows several times, and a dynamic_cast that fails walks every base.
template <class Row, class From>
Row* SmsRowAs(From* row) {
    using Plain = typename std::remove_const<Row>::type;
    return row && row->tableKind == Plain::kKind ? static_cast<Row*>(row) : nullptr;
}
