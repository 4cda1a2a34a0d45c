#pragma once
#include <cstdint>

#include "platform/Export.h"

// Reads one found item (a file on the phone) for a preview.
class RK_INTERFACE IItemReader {
public:
    virtual ~IItemReader();
    // Bytes read into buf from offset, 0 at the end or on failure.
    virtual unsigned Read(uint64_t offset, void* buf, unsigned len) = 0;
    // Reads the whole item into buf; non-zero when it fitted in capacity.
    virtual int ReadSmall(void* buf, unsigned capacity) = 0;
    virtual uint64_t GetSize64() = 0;
    // The size in bytes, saturated at 0xFFFFFFFF.
    virtual unsigned GetSize() = 0;
    virtual void Release() = 0;
};
