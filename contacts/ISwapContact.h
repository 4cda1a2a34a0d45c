#pragma once
#include <string>

#include "sqlite_recovery/framework/ICommon.h"

// A recovered contact's name as the lookup hands it out.
struct SwapContactEntry {
    unsigned char live = 0;  // 1 when the contact's name row was live, 0 when recovered
    std::string name;
};

// Lookup from a phone number or e-mail address to a recovered contact's name. The contacts library
// publishes it through its result container's helper; the SMS/MMS library asks it.
class RK_INTERFACE ISwapContact : public ICommon {
public:
    ~ISwapContact() override;
    virtual void Add(const std::string& key, const SwapContactEntry& entry, bool isPhone) = 0;
    // out is written only when the result is true.
    virtual bool Find(const std::string& key, SwapContactEntry* out) = 0;
};
