#pragma once
#include "platform/Export.h"

// Root of every interface that crosses a library boundary. The receiver of an object frees it
// through Release or the deleting destructor; there are no reference counts.
class RK_INTERFACE ICommon {
public:
    virtual ~ICommon();
    virtual void Release() = 0;
};
