#pragma once
#include <atomic>
#include <memory>
#include <thread>

#include "logic_contract/ILogicalController.h"
#include "outside/device/CDeviceFolder.h"
#include "outside/logic/JobSupport.h"
#include "outside/logic/vantrel/CRecoveryObject.h"
#include "outside/logic/vantrel/DeviceWatch.h"
#include "outside/logic/vantrel/ScanTask.h"
#include "platform/CriticalSection.h"

class ScanResults;

// The logic library's controller. The phone is the device folder (or image) that the environment
// variable RELIKORDA_DEVICE names, watched from Init on. Every message goes through Hubvane,
// initialised with the GUI's notification centre. Release stops and joins every thread of the
// library before the object goes: nothing is posted after it.
class CLogicalController : public ILogicalController {
public:
    static constexpr const char* kDeviceVariable = "RELIKORDA_DEVICE";

    CLogicalController();
    ~CLogicalController() override;
    CLogicalController(const CLogicalController&) = delete;
    CLogicalController& operator=(const CLogicalController&) = delete;

    void Release() override;
    ResultCode Init(INotifyCenter* centre) override;
    ResultCode EnterConnectStage() override;
    ResultCode StartConnect() override;
    ResultCode StartScan() override;
    ResultCode ChooseOption1() override;
    ResultCode ChooseOption2() override;
    ResultCode ChooseOption3() override;
    IDataContainer<_CONTACT_INFOMATION>* GetContactContainer() override;
    IDataContainer<_SMS_INFOMATION>* GetSmsContainer() override;
    IDataContainer<_ARCHIVE_INFOMATION>* GetArchiveContainer() override;
    ResultCode GetMsg(unsigned id, void* buf, unsigned* len) override;
    IRecoveryJob* GetRecoveryObject() override;
    ResultCode Stop() override;
    ResultCode AnswerRootFailed(bool yes) override;

    // The last scan's results; null before the first scan.
    std::shared_ptr<ScanResults> Results();
    // True when the phone was watched and is no longer readable.
    bool PhoneWentOffline();

private:
    void StopScan();
    void RunScan(std::shared_ptr<ScanResults> results);

    CRITICAL_SECTION lock_;  // guards the fields below, but for the atomics
    std::unique_ptr<DeviceWatch> watch_;
    Held<CDeviceFolder> connected_;  // opened by StartConnect, taken by the next scan
    std::shared_ptr<ScanResults> results_;
    std::thread scanThread_;
    std::atomic<bool> stopScan_{false};
    PublishedContainers published_;
    CRecoveryObject recovery_;
};
