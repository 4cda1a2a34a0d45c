#pragma once
#include "logic_contract/ILogicalController.h"

// A logic controller that does nothing and succeeds; tests override what they watch.
class QuietController : public ILogicalController {
public:
    void Release() override {}
    ResultCode Init(INotifyCenter*) override { return RK_OK; }
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
