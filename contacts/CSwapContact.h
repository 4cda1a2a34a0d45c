#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "contacts/ISwapContact.h"
#include "contacts/PhoneNumberIndex.h"

// The contacts library's lookup: every written contact's numbers and addresses with its name.
// Nothing is replaced or removed once added.
class CSwapContact : public ISwapContact {
public:
    void Release() override { delete this; }
    void Add(const std::string& key, const SwapContactEntry& entry, bool isPhone) override;
    // A live contact is preferred to a recovered one; among equals the first found wins.
    bool Find(const std::string& key, SwapContactEntry* out) override;

private:
    struct PhoneEntry {
        SwapContactEntry entry;
        uint64_t added;  // orders entries of one key as the map does
    };
    using PhoneMap = std::multimap<std::string, PhoneEntry>;
    // Whether a comes before b in the map's order.
    static bool Before(PhoneMap::const_iterator a, PhoneMap::const_iterator b);

    // Ordered maps keep equal keys in insertion order, so every search walks them the same way.
    PhoneMap phones_;
    std::multimap<std::string, SwapContactEntry> emails_;
    // The phone entries by the tails of their numbers; handles are positions in phoneEntries_.
    PhoneNumberIndex phoneIndex_;
    std::vector<PhoneMap::const_iterator> phoneEntries_;
};
