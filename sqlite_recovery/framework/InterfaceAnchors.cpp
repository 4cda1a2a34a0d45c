// Out-of-line destructors: each interface's type information has one home.
#include "ICommon.h"
#include "ILog.h"
#include "IProgress.h"
#include "IVirtualDevice.h"
#include "IStorageDevice.h"

ICommon::~ICommon() {}
IProgress::~IProgress() {}
ILog::~ILog() {}
IVirtualDevice::~IVirtualDevice() {}
IStorageDevice::~IStorageDevice() {}
