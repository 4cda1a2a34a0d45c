#pragma once
#include <cstdint>
#include <string>

#include "platform/Export.h"

class IDataRunList;

// The property record that a concrete node delegates to. Implementations may append operations.
class RK_INTERFACE IFileProperties {
public:
    IFileProperties() = default;
    virtual ~IFileProperties();
    virtual uint16_t GetNameLength() = 0;
    virtual void SetName(const char* name) = 0;
    virtual char* GetName() = 0;
    virtual uint64_t GetSize() = 0;
    virtual uint16_t GetAttributes() = 0;
    virtual std::string GetExtraName() = 0;
    virtual uint64_t* GetCreationTime(uint64_t* out) = 0;
    virtual uint64_t* GetModificationTime(uint64_t* out) = 0;
    virtual uint64_t* GetAccessTime(uint64_t* out) = 0;
    // Bit 0: deleted; bit 1: the recorded size was more than the item's extents hold, and was cut.
    virtual uint8_t GetFlags() = 0;
    virtual void SetFlags(uint8_t flags) = 0;
    virtual IDataRunList* GetDataRuns() = 0;
    virtual IFileProperties* Clone() = 0;
};

enum : uint8_t { FILE_FLAG_DELETED = 0x01, FILE_FLAG_SIZE_CUT = 0x02 };
enum : uint16_t { FILE_ATTRIBUTE_DIRECTORY_BIT = 0x10, FILE_ATTRIBUTE_ARCHIVE_BIT = 0x20 };
