#pragma once
#include <cstdint>

// Error numbers of the media library (the low half of a ResultCode).
enum : uint32_t {
    MEDIA_E_NO_MEMORY_FOR_BUILDER = 4,
    MEDIA_E_CANNOT_WRITE = 0xf,
    MEDIA_E_NO_QUICK_SEARCHER = 0x401,
    MEDIA_E_NO_COMPLETE_SEARCHER = 0x402,
    MEDIA_E_BAD_DEVICE = 0x403,
    MEDIA_E_UNREADABLE_SECTORS = 0x404,  // the scan ran to its end, reading some sectors as zeros
    MEDIA_E_FILE_SHORT = 0x405,          // a file was written with what could be read of it, not all of it
    MEDIA_E_READ_IN_PART = 0x406,        // the run ended, but a reader refused structures or a volume ran past its
                                         // device: what they held is lost (each said on the log and standard error)
    MEDIA_E_NO_PARTITIONS = 0xd01,
    MEDIA_E_NO_FILE_OPEN = 0xd02,
};
