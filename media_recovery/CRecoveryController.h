#pragma once
#include "sqlite_recovery/framework/IDataContainer.h"
#include "sqlite_recovery/framework/ItemRecords.h"
#include "sqlite_recovery/framework/ResultCode.h"

class IArchiveDataRecovery;
class IProgress;
class IRecoveryFilter;
class IStorageDevice;

// What both controllers of a volume run share: the filter, a run, and recovery objects for the
// items they found afterwards.
class CRecoveryController {
public:
    CRecoveryController() = default;
    virtual ~CRecoveryController();
    CRecoveryController(const CRecoveryController&) = delete;
    CRecoveryController& operator=(const CRecoveryController&) = delete;

    // False (nothing stored) for a null filter.
    virtual bool SetFilter(IRecoveryFilter* filter);
    virtual ResultCode Run(IStorageDevice* device, IProgress* sink, IDataContainer<_ARCHIVE_INFOMATION>* container) = 0;
    // A recovery object on the searcher of that code, owned by the caller; null when there is none.
    virtual IArchiveDataRecovery* CreateRecovery(int searcherCode) = 0;
    virtual void Release() { delete this; }

    // The owner value that this controller's records carry.
    uint64_t OwnerValue() const { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(this)); }

protected:
    IRecoveryFilter* filter_ = nullptr;
};

void SendProgress(IProgress* sink, uint32_t state, uint64_t total, uint64_t done);
