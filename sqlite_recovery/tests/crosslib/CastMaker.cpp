// Makes objects behind ICommon, as a recovery library's CreateObject does.
#include <cstdarg>

#include "sqlite_recovery/framework/CDataContainer.h"
#include "sqlite_recovery/framework/ILog.h"
#include "sqlite_recovery/framework/IRecoveryAnalyzer.h"
#include "sqlite_recovery/framework/ItemRecords.h"
#include "sqlite_recovery/framework/IVirtualDevice.h"
#include "platform/Export.h"

namespace {
using ContactAnalyzer = IRecoveryAnalyzer<IDataContainer<_CONTACT_INFOMATION>, IVirtualDevice>;

class CMadeAnalyzer : public ContactAnalyzer {
public:
    void Release() override { delete this; }
    IDataContainer<_CONTACT_INFOMATION>* Initialize(IVirtualDevice*, IProgress*) override { return &box_; }
    ResultCode StartRecovery(ICommon*) override { return RK_FAIL(RK_E_CANCELLED); }

private:
    CDataContainer<_CONTACT_INFOMATION> box_;
};

class CMadeLog : public ILog {
public:
    void Release() override { delete this; }
    void Log(const char*, ...) override { ++lines; }
    int lines = 0;
};
}  // namespace

RK_EXPORT ICommon* MakeAnalyzer() { return new CMadeAnalyzer; }
RK_EXPORT ICommon* MakeLog() { return new CMadeLog; }
