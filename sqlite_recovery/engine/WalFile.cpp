#include "sqlite_recovery/engine/WalFile.h"

#include <algorithm>
#include <new>
#include <vector>

#include "sqlite_recovery/engine/CFileIOWin32.h"
#include "sqlite_recovery/engine/SQLiteFormat.h"


namespace {

// The write-ahead log: a 32-byte header, then frames of a 24-byte frame header and one page image.
// Every field is a big-endian 32-bit number.
//
// Log header
//   offset  size  meaning
//      0      4   magic: 0x377F0682 (checksums of little-endian words) or 0x377F0683 (big-endian)
//      4      4   file format version: 3007000
//      8      4   database page size
//     12      4   checkpoint sequence number
//     16      4   salt-1, new at every checkpoint
//     20      4   salt-2, random at every checkpoint
//     24      8   checksum of the first 24 bytes
//
// Frame header
//   offset  size  meaning
//      0      4   page number
//      4      4   for a commit frame the database size in pages after the commit, else 0
//      8      4   salt-1 copied from the log header (a different one: a frame of an earlier log)
//     12      4   salt-2 copied from the log header
//     16      8   cumulative checksum up to this frame
constexpr uint32_t kWalMagic = 0;
constexpr uint32_t kWalFormatVersion = 4;
constexpr uint32_t kWalPageSize = 8;
[[maybe_unused]] constexpr uint32_t kWalCheckpointSequence = 12;  // not needed to read the log
constexpr uint32_t kWalSalt1 = 16;
constexpr uint32_t kWalSalt2 = 20;
constexpr uint32_t kWalChecksum = 24;
constexpr uint32_t kWalHeaderSize = 32;

constexpr uint32_t kFramePageNumber = 0;
constexpr uint32_t kFrameCommitSize = 4;
constexpr uint32_t kFrameSalt1 = 8;
constexpr uint32_t kFrameSalt2 = 12;
constexpr uint32_t kFrameChecksum = 16;
constexpr uint32_t kFrameHeaderSize = 24;
constexpr uint32_t kWalMagicLittleEndian = 0x377F0682u, kWalMagicBigEndian = 0x377F0683u;
constexpr uint32_t kWalVersion = 3007000;
// Largest log read into memory whole; a bigger one is treated as unusable.
constexpr uint64_t kMaxWalBytes = uint64_t(4) << 30;

// Which frames the log's own checksums vouch for, told frame by frame in file order. Frame k's
// stored checksum continues the stored one of frame k - 1 (of the header for frame 0) over its
// first 8 header bytes and its page. Current frames count up to the first that breaks the chain or
// is not current. A stale frame of an earlier log counts when it links to a stale neighbour of the
// same salts: the first frame that an overwrite left of that log cannot be checked itself, its
// successor vouches for it.
class FrameChainCheck {
public:
    static constexpr int kThisFrame = 1, kFrameBefore = 2;

    FrameChainCheck(const uint8_t* logHeader, uint32_t pageSize, bool bigEndian)
        : pageSize_(pageSize), bigEndian_(bigEndian), salt1_(LoadBE32(logHeader + kWalSalt1)),
          salt2_(LoadBE32(logHeader + kWalSalt2)),
          before_{LoadBE32(logHeader + kWalChecksum), LoadBE32(logHeader + kWalChecksum + 4)} {}

    // The next frame (its header and page): kThisFrame when it counts, with kFrameBefore when it
    // vouches for the frame before it.
    int Next(const uint8_t* frame) {
        uint32_t sum[2] = {before_[0], before_[1]};
        WalChecksum(frame, 8, bigEndian_, sum);
        WalChecksum(frame + kFrameHeaderSize, pageSize_, bigEndian_, sum);
        const bool links = sum[0] == LoadBE32(frame + kFrameChecksum) && sum[1] == LoadBE32(frame + kFrameChecksum + 4);
        const uint32_t salt1 = LoadBE32(frame + kFrameSalt1), salt2 = LoadBE32(frame + kFrameSalt2);
        const bool current = salt1 == salt1_ && salt2 == salt2_;
        int counts = 0;
        if (inChain_ && current && links) {
            counts = kThisFrame;
        } else {
            inChain_ = false;
            if (!current && links && !first_ && !beforeCurrent_ && salt1 == beforeSalt1_ && salt2 == beforeSalt2_)
                counts = kThisFrame | kFrameBefore;
        }
        before_[0] = LoadBE32(frame + kFrameChecksum);
        before_[1] = LoadBE32(frame + kFrameChecksum + 4);
        beforeSalt1_ = salt1;
        beforeSalt2_ = salt2;
        beforeCurrent_ = current;
        first_ = false;
        return counts;
    }

private:
    uint32_t pageSize_;
    bool bigEndian_;
    uint32_t salt1_, salt2_;
    uint32_t before_[2];  // the stored checksum the next frame continues
    uint32_t beforeSalt1_ = 0, beforeSalt2_ = 0;
    bool beforeCurrent_ = false;
    bool first_ = true;
    bool inChain_ = true;
};

// Which frames of a log in memory the checksums vouch for (1 a frame).
std::vector<uint8_t> FramesThatCheck(const uint8_t* log, uint64_t count, uint32_t pageSize, bool bigEndian) {
    const uint64_t frameBytes = uint64_t(pageSize) + kFrameHeaderSize;
    std::vector<uint8_t> keep(static_cast<size_t>(count), 0);
    FrameChainCheck check(log, pageSize, bigEndian);
    for (uint64_t k = 0; k < count; ++k) {
        const int counts = check.Next(log + kWalHeaderSize + k * frameBytes);
        if (counts & FrameChainCheck::kThisFrame) keep[k] = 1;
        if (counts & FrameChainCheck::kFrameBefore) keep[k - 1] = 1;
    }
    return keep;
}

// Whether the log header is one: magic, version, a page size that is a power of two from 512 to
// 65536, and its own checksum.
bool ValidHeader(const uint8_t* header, uint32_t* pageSize, bool* bigEndian) {
    const uint32_t magic = LoadBE32(header + kWalMagic);
    if (magic != kWalMagicLittleEndian && magic != kWalMagicBigEndian) return false;
    if (LoadBE32(header + kWalFormatVersion) != kWalVersion) return false;
    const uint32_t ps = LoadBE32(header + kWalPageSize);
    if (ps < 512 || ps > 65536 || (ps & (ps - 1)) != 0) return false;
    *bigEndian = magic == kWalMagicBigEndian;
    uint32_t sum[2] = {0, 0};
    WalChecksum(header, kWalChecksum, *bigEndian, sum);
    if (sum[0] != LoadBE32(header + kWalChecksum) || sum[1] != LoadBE32(header + kWalChecksum + 4)) return false;
    *pageSize = ps;
    return true;
}

}  // namespace

void WalChecksum(const uint8_t* data, size_t length, bool bigEndian, uint32_t sum[2]) {
    uint32_t s0 = sum[0], s1 = sum[1];
    for (size_t at = 0; at + 8 <= length; at += 8) {
        const uint32_t x0 = bigEndian ? LoadBE32(data + at) : LoadLE32(data + at);
        const uint32_t x1 = bigEndian ? LoadBE32(data + at + 4) : LoadLE32(data + at + 4);
        s0 += x0 + s1;
        s1 += x1 + s0;
    }
    sum[0] = s0;
    sum[1] = s1;
}

void WalFile::Clear() {
    pageCount = 0;
    pageSize = 0;
    frames.clear();
    buffer = platform::PageBuffer();
    size = 0;
    header = nullptr;
    lastCommit = -1;
    framesLeftOut = 0;
}

ResultCode WalFile::Load(const wchar_t* path, uint32_t databasePageSize, uint64_t mainFilePages) {
    Clear();
    if (!path) return RK_FAIL(RK_E_FAIL);
    CFileIOWin32 file;
    ResultCode rc = file.Open(path, 0);
    if (Failed(rc)) return rc;
    int64_t fileSize = 0;
    rc = file.GetSize(&fileSize);
    if (Failed(rc)) return rc;
    if (fileSize < 512 || static_cast<uint64_t>(fileSize) > kMaxWalBytes) return RK_FAIL(RK_E_FAIL);
    buffer = platform::PageBuffer(static_cast<size_t>(fileSize));
    if (!buffer) return RK_FAIL(RK_E_OUT_OF_MEMORY);
    // Read in pieces below 2 GiB so one call never overflows the unsigned length.
    for (int64_t at = 0; at < fileSize;) {
        unsigned piece = static_cast<unsigned>(std::min<int64_t>(fileSize - at, int64_t(1) << 30));
        long long n = file.ReadAt(at, buffer.data() + at, piece);
        if (n != static_cast<long long>(piece)) {
            Clear();
            return RK_FAIL(RK_E_FAIL);
        }
        at += piece;
    }
    size = static_cast<uint64_t>(fileSize);
    header = buffer.data();

    uint32_t ps = 0;
    bool bigEndian = false;
    // The log of this database only: its own page size.
    if (!ValidHeader(header, &ps, &bigEndian) || ps != databasePageSize) {
        Clear();
        return RK_FAIL(RK_E_FAIL);
    }
    pageSize = ps;
    const uint32_t salt1 = LoadBE32(header + kWalSalt1), salt2 = LoadBE32(header + kWalSalt2);

    const uint64_t frameBytes = uint64_t(ps) + kFrameHeaderSize;
    const uint64_t count = (size - kWalHeaderSize) / frameBytes;
    std::vector<uint8_t> keep;
    try {
        keep = FramesThatCheck(header, count, ps, bigEndian);
    } catch (const std::bad_alloc&) {
        Clear();
        return RK_FAIL(RK_E_OUT_OF_MEMORY);
    }
    // Every page of a committed database lies in the main file or in some frame.
    const uint64_t bound = mainFilePages + count;
    frames.reserve(static_cast<size_t>(count));
    for (int pass = 0; pass < 2; ++pass) {
        const uint32_t wantStale = pass == 0 ? 1 : 0;
        for (uint64_t k = 0; k < count; ++k) {
            const uint8_t* fh = header + kWalHeaderSize + k * frameBytes;
            const uint32_t stale = (LoadBE32(fh + kFrameSalt1) != salt1 || LoadBE32(fh + kFrameSalt2) != salt2) ? 1 : 0;
            if (stale != wantStale) continue;
            if (!keep[k]) {
                ++framesLeftOut;
                continue;
            }
            WalFrame f;
            f.pageNumber = LoadBE32(fh + kFramePageNumber);
            f.commitSize = LoadBE32(fh + kFrameCommitSize);
            f.image = fh + kFrameHeaderSize;
            f.stale = stale;
            // Page 0 does not exist; a page beyond every file page cannot be real.
            if (f.pageNumber == 0 || f.pageNumber > bound) continue;
            if (f.commitSize > bound) {
                Clear();
                return RK_FAIL(RK_E_FAIL);
            }
            frames.push_back(f);
        }
    }
    for (size_t i = 0; i < frames.size(); ++i) {
        const WalFrame& f = frames[i];
        if (f.pageNumber > pageCount) pageCount = f.pageNumber;
        if (f.commitSize > pageCount) pageCount = f.commitSize;
        if (f.commitSize != 0) lastCommit = static_cast<int>(i);
    }
    return RK_OK;
}

uint64_t WalValidLength(const platform::PlatformFile& log, uint64_t size) {
    uint8_t header[kWalHeaderSize];
    uint32_t ps = 0;
    bool bigEndian = false;
    if (size < kWalHeaderSize || !log.ReadAt(0, header, sizeof header) || !ValidHeader(header, &ps, &bigEndian))
        return 0;
    const uint64_t frameBytes = uint64_t(ps) + kFrameHeaderSize;
    const uint64_t count = (size - kWalHeaderSize) / frameBytes;
    // Whole frames at a time, about a mebibyte of them.
    const uint64_t framesPerRead = std::max<uint64_t>(1, (uint64_t(1) << 20) / frameBytes);
    std::vector<uint8_t> chunk(static_cast<size_t>(framesPerRead * frameBytes));
    FrameChainCheck check(header, ps, bigEndian);
    uint64_t validFrames = 0;
    uint32_t pageBefore = 0;
    for (uint64_t first = 0; first < count; first += framesPerRead) {
        // A hole reads as frames of zeros. Past the first of them, each leaves the check as the one
        // before did and none counts: a log left sparse is not read through its hole.
        const uint64_t data = log.NextDataAt(kWalHeaderSize + first * frameBytes);
        const uint64_t zeroFrames = data == UINT64_MAX ? count - first
                                                       : std::min(count - first, (data - kWalHeaderSize) / frameBytes - first);
        if (zeroFrames > 1) {
            std::fill(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(frameBytes), 0);
            const int counts = check.Next(chunk.data());
            if ((counts & FrameChainCheck::kFrameBefore) && pageBefore != 0) validFrames = first + 1;
            pageBefore = 0;
            first += zeroFrames;
            if (first >= count) break;
        }
        const uint64_t n = std::min(framesPerRead, count - first);
        if (!log.ReadAt(kWalHeaderSize + first * frameBytes, chunk.data(), static_cast<size_t>(n * frameBytes))) break;
        for (uint64_t i = 0; i < n; ++i) {
            const uint8_t* frame = chunk.data() + i * frameBytes;
            const uint32_t page = LoadBE32(frame + kFramePageNumber);
            const int counts = check.Next(frame);
            // A frame that counts and holds a page, or one that vouches for such a frame before it
            // (which would not count without it).
            if (((counts & FrameChainCheck::kThisFrame) && page != 0) ||
                ((counts & FrameChainCheck::kFrameBefore) && pageBefore != 0))
                validFrames = first + i + 1;
            pageBefore = page;
        }
    }
    return validFrames ? kWalHeaderSize + validFrames * frameBytes : 0;
}
