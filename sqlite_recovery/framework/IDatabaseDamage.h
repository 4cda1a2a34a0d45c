#pragma once
#include <cstdint>

#include "platform/Export.h"

// What a database analyser could not read of its database, asked of it once its recovery ran:
// the pages that were not what the page or free list pointing at them says (each costs only the
// records it held), and whether the first page, the header and schema, was lost.
class RK_INTERFACE IDatabaseDamage {
public:
    virtual ~IDatabaseDamage();
    virtual uint64_t LostPageCount() const = 0;
    // The pages the database has (as its file holds them).
    virtual uint64_t DatabasePageCount() const = 0;
    virtual bool HeaderLost() const = 0;
};
