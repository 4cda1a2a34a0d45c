#pragma once
#include <cstdint>

class IContactData;
class ISMSSession;
class IFileNode;

// One recovered contact in the contacts container.
struct _CONTACT_INFOMATION {
    uint32_t id;     // running number per analysis, from 0
    uint32_t check;  // the consumer's selection state; 0 when added
    IContactData* data;
};

// One recovered conversation in the conversations container.
struct _SMS_INFOMATION {
    uint32_t id;
    uint32_t check;
    ISMSSession* session;
};

// One found file in the media container.
struct _ARCHIVE_INFOMATION {
    uint32_t id;
    uint32_t check;
    uint32_t type;       // 16 quick file-system search, 17 FAT, 18 exFAT, 19 Ext, 20 raw carving
    uint32_t reserved;   // 0
    uint64_t owner;      // address of the producing controller
    IFileNode* node;
    uint32_t reserved2;  // 0
};
