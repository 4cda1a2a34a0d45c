#pragma once
#include <cstddef>

#include "FieldValue.h"

class CTableRow;

struct SmsTableLayout {
    const char* table;
    const char* const* columns;  // read in this order; a column the table lacks reads as NULL
    size_t count;
    // Turns one record's values (one per column, in order) into a row; null when the record fails
    // the table's checks. The row belongs to the caller.
    CTableRow* (*build)(const FieldValue* values, bool live);
};

extern const SmsTableLayout kThreadsLayout;
extern const SmsTableLayout kAddrLayout;
extern const SmsTableLayout kCanonicalAddressesLayout;
extern const SmsTableLayout kSmsLayout;
extern const SmsTableLayout kPduLayout;
extern const SmsTableLayout kPartLayout;
extern const SmsTableLayout kWordsContentLayout;
