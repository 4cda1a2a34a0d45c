#pragma once
#include <cstdint>
#include <string>

#include "sqlite_recovery/framework/IProgress.h"
#include "sqlite_recovery/framework/ResultCode.h"

// The messages the logic posts to the GUI. Every one goes through Hubvane's centre, which keeps
// the payload until the GUI fetches it (once) and tells the GUI's notification centre the id.

// The scan's progress records tell the scan page whether their remaining seconds can be trusted.
enum : uint32_t { SCAN_STATE_TIME_KNOWN = 0, SCAN_STATE_TIME_UNKNOWN = 1 };

// Recovery error numbers the recovery window names ("cannot write", "device off line", "written
// short"), and the logic's own.
enum : uint32_t {
    LOGIC_E_WRITE_FAILED = 15,
    LOGIC_E_DEVICE_OFFLINE = 17,
    LOGIC_E_FILES_SHORT = 18,  // files written shorter than they were: the phone holds no more of them
    LOGIC_E_BUSY = 0x4001,       // a recovery runs already
    LOGIC_E_NO_SCAN = 0x4002,    // nothing was scanned yet
    LOGIC_E_NO_DEVICE = 0x4003,  // the phone cannot be opened
};

// The UTF-16 text payloads of connection messages hold at most this many bytes, terminator included.
constexpr size_t kMostTextPayloadBytes = 256;

ResultCode PostMessage(uint32_t id);
// The text as UTF-16, zero-terminated, cut (never inside a character) to fit the payload.
ResultCode PostText(uint32_t id, const std::string& utf8);
// A signed 64-bit result code, as the connection page reads it.
ResultCode PostResult(uint32_t id, ResultCode result);
// A 32-bit value, as bit sets are read.
ResultCode PostBits(uint32_t id, uint32_t bits);
ResultCode PostProgress(uint32_t id, const PROGRESS_INFO& record);

// A zeroed progress record with these values.
PROGRESS_INFO MakeProgress(uint32_t state, uint64_t total, uint64_t done);
// The name shown while an item is recovered, cut (never inside a character) to fit the record.
void SetProgressText(PROGRESS_INFO& record, const std::string& utf8);

// The UTF-16 units of text, at most maxUnits of them, never ending inside a surrogate pair.
std::u16string CutUtf16(const std::string& utf8, size_t maxUnits);
// The longest prefix of text of at most maxBytes bytes that ends where a UTF-8 character ends.
std::string CutUtf8(const std::string& text, size_t maxBytes);
