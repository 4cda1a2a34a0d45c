#pragma once
#include "sqlite_recovery/framework/ICommon.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "sqlite_recovery/framework/IVirtualDevice.h"
#include "sqlite_recovery/framework/ResultCode.h"

// How the analyser base drives a library's recovery object: open the pulled database, recover its
// tables, hand out the joined result. The object owns its result map.
template <class ResultMap>
class IAndroidRecovery {
public:
    virtual ~IAndroidRecovery() {}
    virtual ResultCode Initialize(const wchar_t* databasePath, const VersionPair* version, ICommon* context,
                                  IProgress* sink) = 0;
    virtual ResultCode Uninitialize() = 0;
    // Destroys the object; its destructor uninitialises it first.
    virtual void Release() = 0;
    virtual ResultCode Recover() = 0;
    virtual ResultMap* GetResult() = 0;
};
