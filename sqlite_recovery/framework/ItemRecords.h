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

// The reserved field of a media record that lists no file: a live file the category filter leaves
// out, or a live folder, kept only for the clusters it holds (a deleted entry pointing into them no
// longer holds its own data). Such a record is never shown or written; its node is its builder's.
enum : uint32_t { ARCHIVE_RECORD_UNLISTED = 1 };

// One found file in the media container.
struct _ARCHIVE_INFOMATION {
    uint32_t id;
    uint32_t check;
    uint32_t type;       // 16 quick file-system search, 17 FAT, 18 exFAT, 19 Ext, 20 raw carving
    uint32_t reserved;   // 0, or ARCHIVE_RECORD_UNLISTED
    uint64_t owner;      // address of the producing controller
    IFileNode* node;
    uint32_t reserved2;  // 0
};
