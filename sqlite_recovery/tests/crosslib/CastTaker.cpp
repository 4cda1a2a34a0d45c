// Casts objects that another library made, as the outside caller does with CreateObject's result.
#include "sqlite_recovery/framework/IDataContainer.h"
#include "sqlite_recovery/framework/ILog.h"
#include "sqlite_recovery/framework/IRecoveryAnalyzer.h"
#include "sqlite_recovery/framework/ItemRecords.h"
#include "sqlite_recovery/framework/IVirtualDevice.h"
#include "platform/Export.h"

using ContactAnalyzer = IRecoveryAnalyzer<IDataContainer<_CONTACT_INFOMATION>, IVirtualDevice>;

RK_EXPORT ContactAnalyzer* TakeAnalyzer(ICommon* object) { return dynamic_cast<ContactAnalyzer*>(object); }
RK_EXPORT ILog* TakeLog(ICommon* object) { return dynamic_cast<ILog*>(object); }
// The container an analyser hands out, seen from here.
RK_EXPORT IDataContainer<_CONTACT_INFOMATION>* TakeContainer(ICommon* object) {
    return dynamic_cast<IDataContainer<_CONTACT_INFOMATION>*>(object);
}
