// Out-of-line destructors: each interface's type information has one home.
#include "sqlite_recovery/framework/ICommon.h"
#include "sqlite_recovery/framework/IDatabaseDamage.h"
#include "sqlite_recovery/framework/ILog.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "sqlite_recovery/framework/IVirtualDevice.h"
#include "sqlite_recovery/framework/IStorageDevice.h"

ICommon::~ICommon() {}
IDatabaseDamage::~IDatabaseDamage() {}
IProgress::~IProgress() {}
ILog::~ILog() {}
IVirtualDevice::~IVirtualDevice() {}
IStorageDevice::~IStorageDevice() {}
