#pragma once
#include <vector>

#include "contacts/JoinedContact.h"

class CTableRow;
class CRawContactsTableRow;

// What the per-contact XML shows of one join entry: the raw contact and its data rows, each read
// by its class. Rows of other classes are passed over; a row whose class does not fit its kind
// keeps its place as an unknown kind, which no writer shows.
JoinedContact JoinedContactFromRows(const CRawContactsTableRow& raw, const std::vector<CTableRow*>& rows);
