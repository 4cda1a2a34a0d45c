// The library's one export.
#include <new>

#include "sms/CPellucet.h"
#include "platform/Export.h"

RK_EXPORT ICommon* CreateObject() { return static_cast<ICommon*>(new (std::nothrow) CPellucet); }
