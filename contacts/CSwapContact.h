#pragma once
#include <map>
#include <string>

#include "contacts/ISwapContact.h"

// The contacts library's lookup: every written contact's numbers and addresses with its name.
// Nothing is replaced or removed once added.
class CSwapContact : public ISwapContact {
public:
    void Release() override { delete this; }
    void Add(const std::string& key, const SwapContactEntry& entry, bool isPhone) override;
    // A live contact is preferred to a recovered one; among equals the first found wins.
    bool Find(const std::string& key, SwapContactEntry* out) override;

private:
    // Ordered maps keep equal keys in insertion order, so every search walks them the same way.
    std::multimap<std::string, SwapContactEntry> phones_;
    std::multimap<std::string, SwapContactEntry> emails_;
};
