#pragma once
#include "contacts/ContactJoin.h"

// A recovered row filed under the id of a live row of its table is that row (the tables' ids are
// never given twice): a copy that a page kept after the row moved (a split, a rewrite, an older
// page version in the log), or the row as it was before an edit. It never stands as a record of
// its own. A raw_contacts copy goes, and so does a data copy of the live row's value; a data row
// of the same raw contact with another value is the live row's earlier value and is marked so,
// to stay with its contact. The rows that go are taken out of their maps and released.
void ClaimCopiesOfLiveRows(const JoinSources& sources);
