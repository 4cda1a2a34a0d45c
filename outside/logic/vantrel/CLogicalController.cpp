#include "outside/logic/vantrel/CLogicalController.h"

#include <cstdlib>
#include <utility>

#include "logic_contract/RelikordaMsg.h"
#include "msgcenter/CMsgCenter.h"
#include "outside/logic/vantrel/LogicMessages.h"
#include "outside/logic/vantrel/ScanResults.h"
#include "sqlite_recovery/framework/Lockers.h"

namespace {
std::string PhonePath() {
    const char* path = std::getenv(CLogicalController::kDeviceVariable);
    return path ? path : "";
}
}  // namespace

CLogicalController::CLogicalController() : recovery_(*this) {}

CLogicalController::~CLogicalController() {
    if (watch_) watch_->Stop();
    StopScan();
    recovery_.Finish();
}

void CLogicalController::Release() { delete this; }

ResultCode CLogicalController::Init(INotifyCenter* centre) {
    if (!centre) return RK_FAIL(RK_E_INVALID_ARGUMENT);
    ResultCode rc = CMsgCenter::Instance().Initialize(centre);
    if (Failed(rc)) return rc;
    autolocker<critical_locker> guard(&lock_);
    if (!watch_) {
        watch_.reset(new DeviceWatch(PhonePath()));
        watch_->Start();
    }
    return RK_OK;
}

ResultCode CLogicalController::EnterConnectStage() {
    autolocker<critical_locker> guard(&lock_);
    if (!watch_) return RK_FAIL(RK_E_NOT_INITIALIZED);
    // Only a present phone is told again: the page starts as "no phone", and an off-line message
    // would reset it into another call of this.
    watch_->PostState();
    return RK_OK;
}

ResultCode CLogicalController::StartConnect() {
    autolocker<critical_locker> guard(&lock_);
    if (!watch_) return RK_FAIL(RK_E_NOT_INITIALIZED);
    connected_.reset(DeviceWatch::OpenPhone(watch_->Path()));
    if (!connected_) {
        PostMessage(MakeMsgId(1, 2, 26));  // the connection failed
        return RK_FAIL(LOGIC_E_NO_DEVICE);
    }
    PostMessage(MSG_STEP3_ROOT);
    bool volumes = false;
    for (size_t i = 0; i < connected_->StorageCount() && !volumes; ++i) {
        CImageStorage* volume = connected_->Storage(i);
        volumes = volume->Open() && volume->GetSectorCount() > 0;
        volume->Close();
    }
    if (volumes) PostResult(MSG_STEP3_STORAGE, RK_OK);
    return RK_OK;
}

ResultCode CLogicalController::ChooseOption1() { return PostResult(MSG_STEP3_OPTION1, RK_OK); }
ResultCode CLogicalController::ChooseOption2() { return PostResult(MSG_STEP3_OPTION2, RK_OK); }
ResultCode CLogicalController::ChooseOption3() { return RK_OK; }
ResultCode CLogicalController::AnswerRootFailed(bool) { return RK_OK; }

void CLogicalController::StopScan() {
    std::thread scan;
    {
        autolocker<critical_locker> guard(&lock_);
        stopScan_.store(true);
        scan = std::move(scanThread_);
    }
    if (scan.joinable()) scan.join();
}

ResultCode CLogicalController::StartScan() {
    StopScan();
    autolocker<critical_locker> guard(&lock_);
    // The page that drained the last scan's containers is gone; a recovery or a preview that
    // still reads them keeps them alive.
    published_.Clear();
    CDeviceFolder* phone = connected_.release();
    if (!phone && watch_) phone = DeviceWatch::OpenPhone(watch_->Path());
    results_ = phone ? std::make_shared<ScanResults>(phone) : nullptr;
    stopScan_.store(false);
    scanThread_ = std::thread(&CLogicalController::RunScan, this, results_);
    return RK_OK;
}

void CLogicalController::RunScan(std::shared_ptr<ScanResults> results) {
    if (results) {
        ScanTask(std::move(results), stopScan_, published_).Run();
        return;
    }
    PROGRESS_INFO record = MakeProgress(PROGRESS_STATE_FINISHED, 0, 0);
    record.result = RK_FAIL(LOGIC_E_NO_DEVICE);
    PostProgress(MSG_SCAN_PROGRESS, record);
}

std::shared_ptr<ScanResults> CLogicalController::Results() {
    autolocker<critical_locker> guard(&lock_);
    return results_;
}

bool CLogicalController::PhoneWentOffline() {
    autolocker<critical_locker> guard(&lock_);
    return watch_ && !watch_->IsReadable();
}

IDataContainer<_CONTACT_INFOMATION>* CLogicalController::GetContactContainer() { return published_.contacts.load(); }
IDataContainer<_SMS_INFOMATION>* CLogicalController::GetSmsContainer() { return published_.sms.load(); }
IDataContainer<_ARCHIVE_INFOMATION>* CLogicalController::GetArchiveContainer() { return published_.files.load(); }

ResultCode CLogicalController::GetMsg(unsigned id, void* buf, unsigned* len) {
    if (!len) return RK_FAIL(RK_E_INVALID_ARGUMENT);
    return CMsgCenter::Instance().GetMsg(static_cast<_RELIKORDA_MSG>(id), buf, *len);
}

IRecoveryJob* CLogicalController::GetRecoveryObject() { return &recovery_; }

ResultCode CLogicalController::Stop() {
    stopScan_.store(true);
    return RK_OK;
}
