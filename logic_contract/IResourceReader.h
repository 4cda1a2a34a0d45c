#pragma once
#include <string>

#include "sqlite_recovery/framework/ICommon.h"

// Texts the logic asks of the GUI while it recovers; may be called on the logic's threads.
class RK_INTERFACE IResourceReader : public ICommon {
public:
    ~IResourceReader() override;
    // The display text of a contact field-type code or a recovery error code, in the system's code page;
    // " " for an unknown code.
    virtual std::string GetTypeName(int code) = 0;
};
