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
    // A number as added; its name is kept once for the numbers of one contact.
    struct PhoneEntry {
        std::string number;
        uint32_t name;  // in names_
        bool live;
    };
    // Whether entry a comes before entry b in the order of numbers, then of adding.
    bool Before(uint32_t a, uint32_t b) const;

    std::vector<PhoneEntry> phones_;
    std::vector<std::string> names_;
    // The phone entries by the tails of their numbers; handles are positions in phones_.
    PhoneNumberIndex phoneIndex_;
    // Ordered maps keep equal keys in insertion order, so every search walks them the same way.
    std::multimap<std::string, SwapContactEntry> emails_;
};
