// The export of libVantrel.so: the logic controller the GUI binds to.
#include <new>

#include "outside/logic/vantrel/CLogicalController.h"
#include "platform/Export.h"

RK_EXPORT ICommon* CreateObject() {
    CLogicalController* controller = new (std::nothrow) CLogicalController;
    return controller ? static_cast<ILogicalController*>(controller) : nullptr;
}
