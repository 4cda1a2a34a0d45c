// A logic library for the binding test: counts what the GUI calls on it.
#include "gui/shell/tests/QuietController.h"
#include "platform/Export.h"

namespace {

int g_releases = 0;
INotifyCenter* g_centre = nullptr;

class CFakeController : public QuietController {
public:
    void Release() override { ++g_releases; }
    ResultCode Init(INotifyCenter* centre) override {
        g_centre = centre;
        return RK_OK;
    }
};

}  // namespace

RK_EXPORT ICommon* CreateObject() {
    static CFakeController controller;
    return &controller;
}

RK_EXPORT int FakeReleases() { return g_releases; }
RK_EXPORT INotifyCenter* FakeCentre() { return g_centre; }
