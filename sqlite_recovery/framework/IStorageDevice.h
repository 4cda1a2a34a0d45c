#pragma once
#include <cstdint>

#include "platform/Export.h"

// A storage volume read in whole sectors.
class RK_INTERFACE IStorageDevice {
public:
    virtual ~IStorageDevice();
    // Non-zero when the device is usable.
    virtual int Open() = 0;
    // True exactly when Open answers 1.
    virtual bool IsReady() { return Open() == 1; }
    virtual int Close() = 0;
    // Reads count sectors from sector first; non-zero when all were read.
    virtual int ReadSectors(void* buffer, uint64_t first, uint64_t count) = 0;
    virtual uint32_t GetSectorSize() = 0;
    virtual uint64_t GetSectorCount() = 0;
    virtual uint64_t GetReserved() = 0;
};
