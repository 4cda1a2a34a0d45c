#pragma once
#include <cstdint>
#include <string>

#include "contacts/tables/CRawContactsTableRow.h"
#include "contacts/tables/EqualRowIndex.h"
#include "sqlite_recovery/controller/CTableAnalyze.h"
#include "sqlite_recovery/controller/ISQLiteEngine.h"

// Reading one column of one record; false when the record cannot be decoded.
bool ReadValue(ISQLiteTable* table, int record, int column, bool live, FieldValue* out);
bool ReadInt64(ISQLiteTable* table, int record, int column, bool live, int64_t* out);
bool ReadText(ISQLiteTable* table, int record, int column, bool live, std::string* out);
// Whether a value is of a storage class its column can hold. Carving can decode bytes that were
// never a row of the table (another table's cells, schema text); such a record holds texts or
// blobs in integer columns, or numbers in text columns (a text column stores numbers as text;
// blobs it keeps).
bool FitsIntegerColumn(const FieldValue& value);
bool FitsTextColumn(const FieldValue& value);

// True when a filed row Equals the new one (the first filed, when the index is given; else the
// first of the new row's id in the multimap); that row then takes over the new row's live flag.
bool IsDuplicateRow(RowMultimap& rows, const EqualRowIndex* index, const CTableRow* row);
// Files the row in multimap 0 under its id unless it is a duplicate, which is released.
void AddRow(CTableRow* row, RowMultimap& rows, EqualRowIndex& index);

// The version rule of raw_contacts: true when the new row must not be filed (it is then released
// by the caller). Filed rows that the new one supersedes are removed (and forgotten by the index)
// and released here.
bool IsSupersededRawContact(RowMultimap& rows, EqualRowIndex* index, const CRawContactsTableRow* row);
// Files a raw_contacts row under the version rule, else releases it; the index, when given, holds
// every row of the multimap.
void AddRawContactRow(CRawContactsTableRow* row, RowMultimap& rows, EqualRowIndex* index = nullptr);
// Holds an analyser's index of multimap 0 for one batch of rows: made from the multimap at the
// start, given back at the end.
class IndexedBatch {
public:
    IndexedBatch(EqualRowIndex& index, const RowMultimap& rows) : index_(index) { index_.AddAll(rows); }
    ~IndexedBatch() { index_.Clear(); }
    IndexedBatch(const IndexedBatch&) = delete;
    IndexedBatch& operator=(const IndexedBatch&) = delete;

private:
    EqualRowIndex& index_;
};

// The stand-in for a raw contact whose record was lost: not live, deleted, version 0, source kind 5.
// Null when it cannot be allocated.
CRawContactsTableRow* MakePlaceholderRawContact(int64_t id, int64_t contactId);
