#pragma once
#include <vector>

#include "contacts/ContactJoin.h"

class CRawContactsTableRow;

// Recovered raw_contacts rows whose _id went with their cell's first bytes read 0. Names repeat
// among contacts, so a row's contact id tells first who it is; a row that is no one else is a
// deleted contact of its own under a made-up id. A row without a contact id is kept by its name
// alone, once a name. The rows are taken out of the raw_contacts map: those that are someone are
// filed back under that one's id (an older copy of a filed row goes by the version rule), the
// others under made-up ids and returned, to be contacts of their own; the rest are released.
std::vector<CRawContactsTableRow*> AdoptLostRawContacts(const JoinSources& sources, JoinData& join);
