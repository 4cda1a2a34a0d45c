// The contacts library's one export.
#include "contacts/CMerrowin.h"
#include "platform/Export.h"

RK_EXPORT ICommon* CreateObject() { return CMerrowin::Create(); }
