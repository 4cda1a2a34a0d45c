#pragma once
#include "logic_contract/INotifyCenter.h"
#include "logic_contract/IRecoveryJob.h"
#include "sqlite_recovery/framework/IDataContainer.h"
#include "sqlite_recovery/framework/ItemRecords.h"
#include "sqlite_recovery/framework/ResultCode.h"

// The logic library as the GUI sees it: made by the library's CreateObject, initialised once with
// the GUI's notification centre, released once when the main window quits. Slot order is fixed.
class RK_INTERFACE ILogicalController : public ICommon {
public:
    ~ILogicalController() override;
    virtual ResultCode Init(INotifyCenter* centre) = 0;
    // Before the connection page is built or reset.
    virtual ResultCode EnterConnectStage() = 0;
    virtual ResultCode StartConnect() = 0;
    // Before the scan page is built.
    virtual ResultCode StartScan() = 0;
    virtual ResultCode ChooseOption1() = 0;
    virtual ResultCode ChooseOption2() = 0;
    // Not called by the GUI; keeps the slots after it in place.
    virtual ResultCode ChooseOption3() = 0;
    // The result containers, owned by the logic.
    virtual IDataContainer<_CONTACT_INFOMATION>* GetContactContainer() = 0;
    virtual IDataContainer<_SMS_INFOMATION>* GetSmsContainer() = 0;
    virtual IDataContainer<_ARCHIVE_INFOMATION>* GetArchiveContainer() = 0;
    // The payload of a delivered id, handed out once (CMsgCenter::GetMsg's rules).
    virtual ResultCode GetMsg(unsigned id, void* buf, unsigned* len) = 0;
    virtual IRecoveryJob* GetRecoveryObject() = 0;
    // Stops a connection or a scan.
    virtual ResultCode Stop() = 0;
    virtual ResultCode AnswerRootFailed(bool yes) = 0;
};
