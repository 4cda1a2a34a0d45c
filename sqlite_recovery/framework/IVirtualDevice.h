#pragma once
#include <cstdint>

#include "sqlite_recovery/framework/ICommon.h"
#include "sqlite_recovery/framework/ResultCode.h"

class IStorageDevice;

// The device's version {major, minor}; the table analysers' default is {2, 3}.
struct VersionPair {
    int32_t major = 2;
    int32_t minor = 3;
};

// The phone as the caller hands it to an analyser.
class RK_INTERFACE IVirtualDevice : public ICommon {
public:
    ~IVirtualDevice() override;
    // On entry *count is the capacity of the array; on return the number of entries written.
    virtual ResultCode EnumStorages(IStorageDevice** array, unsigned* count) = 0;
    virtual VersionPair GetVersion() = 0;
    // Copies the device file at the absolute device path remote to the local path.
    virtual ResultCode PullFile(const wchar_t* remote, const wchar_t* local) = 0;
    // The second way to copy the same file; non-zero when the local file now exists.
    virtual int FetchFile(const wchar_t* remote, const wchar_t* local) = 0;
};
