// Casts objects that another library made, as the outside caller does with CreateObject's result.
#include "IDataContainer.h"
#include "ILog.h"
#include "IRecoveryAnalyzer.h"
#include "ItemRecords.h"
#include "IVirtualDevice.h"
#include "platform/Export.h"

using ContactAnalyzer = IRecoveryAnalyzer<IDataContainer<_CONTACT_INFOMATION>, IVirtualDevice>;

RK_EXPORT ContactAnalyzer* TakeAnalyzer(ICommon* object) { return dynamic_cast<ContactAnalyzer*>(object); }
RK_EXPORT ILog* TakeLog(ICommon* object) { return dynamic_cast<ILog*>(object); }
// The container an analyser hands out, seen from here.
RK_EXPORT IDataContainer<_CONTACT_INFOMATION>* TakeContainer(ICommon* object) {
    return dynamic_cast<IDataContainer<_CONTACT_INFOMATION>*>(object);
}
