// A logic library for the binding test: counts what the GUI calls on it.
#include "gui/shell/ILogicalController.h"
#include "platform/Export.h"

namespace {

int g_releases = 0;
INotifyCenter* g_centre = nullptr;

class CFakeController : public ILogicalController {
public:
    void Release() override { ++g_releases; }
    ResultCode Init(INotifyCenter* centre) override {
        g_centre = centre;
        return RK_OK;
    }
    ResultCode EnterConnectStage() override { return RK_OK; }
    ResultCode StartConnect() override { return RK_OK; }
    ResultCode StartScan() override { return RK_OK; }
    ResultCode ChooseOption1() override { return RK_OK; }
    ResultCode ChooseOption2() override { return RK_OK; }
    ResultCode ChooseOption3() override { return RK_OK; }
    IDataContainer<_CONTACT_INFOMATION>* GetContactContainer() override { return nullptr; }
    IDataContainer<_SMS_INFOMATION>* GetSmsContainer() override { return nullptr; }
    IDataContainer<_ARCHIVE_INFOMATION>* GetArchiveContainer() override { return nullptr; }
    ResultCode GetMsg(unsigned, void*, unsigned*) override { return RK_FAIL(RK_E_NOT_FOUND); }
    IRecoveryJob* GetRecoveryObject() override { return nullptr; }
    ResultCode Stop() override { return RK_OK; }
    ResultCode AnswerRootFailed(bool) override { return RK_OK; }
};

}  // namespace

RK_EXPORT ICommon* CreateObject() {
    static CFakeController controller;
    return &controller;
}

RK_EXPORT int FakeReleases() { return g_releases; }
RK_EXPORT INotifyCenter* FakeCentre() { return g_centre; }
