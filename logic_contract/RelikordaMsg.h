#pragma once
#include <cstdint>

// A message id: category in bits 31-24, group in bits 23-16, code in bits 7-0, bits 15-8 zero.
// In an id a receiver holds, a zero byte is a wildcard for that level.
enum _RELIKORDA_MSG : uint32_t {
    MSG_NONE = 0,

    // Category 1: device connection and analysis steps (posted by the logic).
    MSG_CONNECT_ALL = 0x01000000,
    MSG_DEVICE_STATE = 0x01010001,    // device state; UTF-16 device text
    MSG_DEVICE_OFFLINE = 0x01010005,  // the device went off line
    MSG_DEVICE_STATE_6 = 0x01010006,
    MSG_STEP2_ALL = 0x01020000,       // codes 7, 8, 10, 11, 26
    MSG_STEP3_ALL = 0x01030000,       // codes 9, 12, 13, 14, 25
    MSG_STEP3_ROOT = 0x01030009,
    MSG_STEP3_OPTION2 = 0x0103000C,
    MSG_STEP3_STORAGE = 0x0103000D,
    MSG_STEP3_OPTION1 = 0x0103000E,
    MSG_ANALYSIS_DONE_ALL = 0x01040000,  // any code: go to the scan page

    // Category 2: the scan.
    MSG_SCAN_ALL = 0x02040000,
    MSG_SCAN_PROGRESS = 0x02040004,       // 1068-byte progress record; state 3 = finished
    MSG_SCAN_NEW_CONTACTS = 0x0204000F,
    MSG_SCAN_NEW_MESSAGES = 0x02040010,
    MSG_SCAN_NEW_FILES = 0x02040011,
    MSG_SCAN_ONLY_DELETED_ON = 0x02040017,   // posted by the GUI's result toolbar
    MSG_SCAN_ONLY_DELETED_OFF = 0x02040018,
    MSG_SCAN_UNREAD = 0x02040019,  // u32: bit 1 << category for each database that could not be read
                                   // (1 contacts, 2 messages), bit 1 << (kReadInPartShift + category)
                                   // for each one read only in part, kStorageReadInPart when the
                                   // storage was; the bits of the scan so far

    // Category 3: the recovery.
    MSG_RECOVERY_PROGRESS = 0x03050004,  // 1068-byte progress record, current file name inside

    // Category 4: results inside the GUI.
    MSG_RESULT_COUNTS_ALL = 0x04040000,
    MSG_COUNT_CONTACTS = 0x0404000F,   // 8 bytes: u32 total, u32 deleted
    MSG_COUNT_MESSAGES = 0x04040010,
    MSG_COUNT_GALLERY = 0x04040012,
    MSG_COUNT_VIDEOS = 0x04040013,
    MSG_COUNT_AUDIO = 0x04040014,
    MSG_COUNT_DOCUMENTS = 0x04040015,
    MSG_DESTINATION_READY = 0x04060016,  // the folder-choosing thread has a destination
};

// Where MSG_SCAN_UNREAD's bits for the databases read only in part begin.
constexpr int kReadInPartShift = 8;
// MSG_SCAN_UNREAD's bit for the phone's storage read only in part: a volume's file system refused
// structures or ran past its device, or a partition lay past the device's end. One bit for the
// file categories (3 to 6) together, at the device's place (category 0).
constexpr uint32_t kStorageReadInPart = 1u << kReadInPartShift;

constexpr uint32_t MsgCategory(uint32_t id) { return id >> 24; }
constexpr uint32_t MsgGroup(uint32_t id) { return (id >> 16) & 0xFF; }
constexpr uint32_t MsgCode(uint32_t id) { return id & 0xFF; }
constexpr uint32_t MakeMsgId(uint32_t category, uint32_t group, uint32_t code) {
    return ((category & 0xFF) << 24) | ((group & 0xFF) << 16) | (code & 0xFF);
}

// True when a held id accepts a posted one: each of the three levels is zero in the held id or
// equal in both.
constexpr bool MsgHeldIdAccepts(uint32_t held, uint32_t posted) {
    const uint32_t levels[3] = {0xFF000000u, 0x00FF0000u, 0x000000FFu};
    for (uint32_t mask : levels) {
        if ((held & mask) != 0 && (held & mask) != (posted & mask)) return false;
    }
    return true;
}
