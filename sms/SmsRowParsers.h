#pragma once
#include <cstddef>
#include <string>

#include "sqlite_recovery/controller/FieldValue.h"

class CTableRow;

// Whether a text names a conversation partner: a phone number, an e-mail address (any top-level
// domain) or a sender's name as carriers, banks and services send it instead of a number (at
// most 11 characters with a letter). Other texts in an address column are not kept as addresses.
bool IsMessageAddress(const std::string& text);

struct SmsTableLayout {
    const char* table;
    const char* const* columns;  // read in this order; a column the table lacks reads as NULL
    size_t count;
    // Turns one record's values (one per column, in order) into a row; null when the record fails
    // the table's checks. The row belongs to the caller.
    CTableRow* (*build)(const FieldValue* values, bool live);
    // One letter per column, what a record of the table can hold there: 'i' an integer (or NULL),
    // 't' no number (a text column stores numbers as text), '-' anything. Null: anything anywhere.
    const char* classes = nullptr;
};

// Whether a value fits a column class of SmsTableLayout::classes. Carving can decode bytes that
// were never a row of the table (other cells, schema text) into a record; such a record holds
// texts or blobs in integer columns, or numbers in text columns.
bool FitsColumnClass(const FieldValue& value, char columnClass);

extern const SmsTableLayout kThreadsLayout;
extern const SmsTableLayout kAddrLayout;
extern const SmsTableLayout kCanonicalAddressesLayout;
extern const SmsTableLayout kSmsLayout;
extern const SmsTableLayout kPduLayout;
extern const SmsTableLayout kPartLayout;
extern const SmsTableLayout kWordsContentLayout;
