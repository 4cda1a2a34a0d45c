#include "sms/CBaseSmsAndMmsTableRow.h"

bool MessageDateLess(const CTableRow* a, const CTableRow* b) {
    auto* x = dynamic_cast<const CBaseSmsAndMmsTableRow*>(a);
    auto* y = dynamic_cast<const CBaseSmsAndMmsTableRow*>(b);
    if (!x || !y) return x && !y;
    if (x->date != y->date) return x->date < y->date;
    return x->live > y->live;
}
