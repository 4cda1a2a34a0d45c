#pragma once
#include <cstdint>
#include <map>
#include <vector>

#include "sqlite_recovery/controller/CTableAnalyze.h"
#include "sqlite_recovery/framework/ResultCode.h"

class CDataTableRow;
class CRawContactsTableRow;

// From a raw_contacts row (or a placeholder for a lost one) to the data rows joined to it.
using ContactResultMap = std::map<CTableRow*, std::vector<CTableRow*>>;

// The row multimaps the join reads: multimap 0 of each single-table analyser and the 13 of the data
// table's analyser. A null map counts as empty.
struct JoinSources {
    RowMultimap* contacts = nullptr;
    RowMultimap* rawContacts = nullptr;
    RowMultimap* groups = nullptr;
    RowMultimap* phoneLookup = nullptr;
    RowMultimap* searchIndex = nullptr;
    RowMultimap* data[CTableAnalyze::kRowMapCount] = {};
};

// The join's working state; it owns the placeholders and the rows it made, which the result map
// points to, so the result map is emptied before this is destroyed.
class JoinData {
public:
    JoinData() = default;
    JoinData(const JoinData&) = delete;
    JoinData& operator=(const JoinData&) = delete;
    ~JoinData();

    std::multimap<int64_t, CRawContactsTableRow*> RawContactRows;   // every raw contact with an entry
    std::multimap<int64_t, CRawContactsTableRow*> PlaceholderRows;  // owned
    std::multimap<int64_t, CDataTableRow*> CreatedRows;             // owned
    std::multimap<int64_t, int64_t> RawToContact;
    std::multimap<int64_t, int64_t> ContactToRaw;
};

// Joins the tables' rows into one entry per raw contact: placeholders for lost raw contacts, rows
// made from the search index and the phone lookup where the data rows were lost, a name from the
// raw contact's display name, each entry's rows sorted by kind (live first) and repeated values
// dropped. Only allocation failures fail (error 1); the entries made so far then stay unsorted.
ResultCode JoinContactRows(const JoinSources& sources, JoinData& join, ContactResultMap& result);

// Made-up ids for contacts and raw contacts that the tables do not name: negative, falling across
// runs in one process, never one the maps already hold.
int64_t NextSyntheticContactId(const JoinData& join);
int64_t NextSyntheticRawId(const JoinData& join);
