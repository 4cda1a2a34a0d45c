#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/PageMemory.h"
#include "platform/PlatformFile.h"
#include "sqlite_recovery/framework/ResultCode.h"

// One frame of the write-ahead log, pointing into the log buffer of its WalFile.
struct WalFrame {
    uint32_t pageNumber = 0;
    const uint8_t* image = nullptr;
    uint32_t commitSize = 0;  // database size in pages after commit; 0 on other frames
    uint32_t stale = 0;       // 1 when its salts differ from the log header's
};

// The whole parsed log. The frame list holds first every stale frame, then every current frame,
// each group in file order; frame indices elsewhere refer to this order.
struct WalFile {
    uint64_t pageCount = 0;  // largest page number or commit size over the kept frames
    uint32_t pageSize = 0;
    std::vector<WalFrame> frames;
    platform::PageBuffer buffer;  // the whole log; page memory, which a read fills at full speed
    uint64_t size = 0;
    const uint8_t* header = nullptr;
    int lastCommit = -1;  // last frame of the list with a commit size, -1 when none
    uint64_t framesLeftOut = 0;  // frames that failed the log's checksums

    // A header that fails its checksum makes the log unusable. Current frames are kept while the
    // checksum chain from the header holds (as SQLite reads the log); a stale frame (an earlier
    // log's) only where the chain links it to a stale neighbour of the same salts. Frames the log
    // cannot hold for a database of this many main-file pages are dropped; a commit size beyond
    // that makes the whole log implausible.
    ResultCode Load(const wchar_t* path, uint32_t databasePageSize, uint64_t mainFilePages);
    void Clear();
};

// The log's running checksum over 8-byte steps of data (length a multiple of 8), continuing from
// sum; words read big-endian when the log's magic says so, else little-endian.
void WalChecksum(const uint8_t* data, size_t length, bool bigEndian, uint32_t sum[2]);

// How much of a log of size bytes its own checks vouch for, as Load judges them: the header and
// every frame up to the last one whose checksums hold (with a page), 0 when the header fails or no
// frame holds. Reads the log a piece at a time, so a huge log costs no memory.
uint64_t WalValidLength(const platform::PlatformFile& log, uint64_t size);
