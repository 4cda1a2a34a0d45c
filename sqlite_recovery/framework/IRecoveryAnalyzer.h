#pragma once
#include "sqlite_recovery/framework/ICommon.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "sqlite_recovery/framework/ResultCode.h"

// The analyser of each recovery library. Initialize binds the device and the sink and returns the
// library-owned result container (null on failure); StartRecovery runs the whole recovery on the
// calling thread. The argument is a context object: the SMS/MMS analyser takes the contacts
// analyser's result container, the others are given null.
template <class Container, class Device>
class RK_INTERFACE IRecoveryAnalyzer : public ICommon {
public:
    ~IRecoveryAnalyzer() override {}
    virtual Container* Initialize(Device* device, IProgress* sink) = 0;
    virtual ResultCode StartRecovery(ICommon* argument) = 0;
};
