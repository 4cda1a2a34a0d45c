#pragma once
#include "logic_contract/IItemReader.h"
#include "logic_contract/IResourceReader.h"
#include "sqlite_recovery/framework/ItemRecords.h"

// The logic's recovery object, owned by the controller; the GUI never releases it.
class RK_INTERFACE IRecoveryJob {
public:
    virtual ~IRecoveryJob();
    // Recovers the ticked items of category 1 to 6 into destDir on the logic's thread, reporting
    // with MSG_RECOVERY_PROGRESS; texts gives the field-type and error texts.
    virtual void Start(const char* destDir, IResourceReader* texts, int category) = 0;
    // A reader of one found file, or null; the caller releases it.
    virtual IItemReader* OpenItem(const _ARCHIVE_INFOMATION* item) = 0;
    virtual void Stop() = 0;
};
