#include "filesystems/exfat/ExFatDirectoryEntry.h"

#include "filesystems/exfat/ExFatLayout.h"
#include "platform/TimeConversion.h"

using namespace exfat;

namespace {

// Timestamp bits: 0-4 DoubleSeconds, 5-10 Minute, 11-15 Hour, 16-20 Day, 21-24 Month, 25-31 Year
// from 1980.
uint32_t Day(uint32_t t) { return (t >> 16) & 31; }
uint32_t Month(uint32_t t) { return (t >> 21) & 15; }
uint32_t Hour(uint32_t t) { return (t >> 11) & 31; }
uint32_t Minute(uint32_t t) { return (t >> 5) & 63; }
uint32_t DoubleSeconds(uint32_t t) { return t & 31; }

// DataLength (and ValidDataLength) must fit the device; a contiguous extent must end below the
// FAT's marks.
bool LengthFits(uint64_t length, uint32_t sectorShift, uint64_t deviceSectors) {
    return sectorShift < 64 && (length >> sectorShift) < deviceSectors;
}
bool ExtentFits(uint64_t length, uint32_t firstCluster, uint32_t clusterShift) {
    return clusterShift < 64 && (length >> clusterShift) + firstCluster < 0xFFFFFFF6ULL;
}

bool IsValidSystemEntry(const uint8_t* e, uint32_t sectorShift, uint32_t clusterShift, uint64_t deviceSectors) {
    const uint32_t first = LoadLE32(e + kSystemFirstCluster);
    const uint64_t length = LoadLE64(e + kSystemDataLength);
    if (first < kFirstCluster || first > kLastValidCluster) return false;
    return LengthFits(length, sectorShift, deviceSectors) && ExtentFits(length, first, clusterShift);
}

}  // namespace

bool IsValidExFatTimestamp(uint32_t t) {
    return Day(t) >= 1 && Month(t) >= 1 && Month(t) <= 12 && Hour(t) <= 23 && Minute(t) <= 59 &&
           DoubleSeconds(t) <= 29;
}

bool IsValidFileEntryLayout(const uint8_t* e) {
    const uint8_t count = e[kFileSecondaryCount];
    if (count < kMinSecondaryCount || count > kMaxSecondaryCount) return false;
    if (e[kFileCreate10ms] > kMax10msIncrement || e[kFileModify10ms] > kMax10msIncrement) return false;
    return AllZero(e, kFileReserved1, kFileReserved1 + 2) && AllZero(e, kFileReserved2, kEntrySize);
}

bool IsValidFileEntry(const uint8_t* e) {
    return IsValidFileEntryLayout(e) && IsValidExFatTimestamp(LoadLE32(e + kFileCreateTime)) &&
           IsValidExFatTimestamp(LoadLE32(e + kFileModifyTime)) && IsValidExFatTimestamp(LoadLE32(e + kFileAccessTime));
}

bool IsValidStreamLayout(const uint8_t* e) {
    if (!AllZero(e, kStreamReserved2, kStreamReserved2 + 2) || !AllZero(e, kStreamReserved3, kStreamReserved3 + 4))
        return false;
    const uint32_t first = LoadLE32(e + kStreamFirstCluster);
    return first != 1 && first <= 0xFFFFFFF6;
}

bool IsValidStreamEntry(const uint8_t* e, uint32_t sectorShift, uint32_t clusterShift, uint64_t deviceSectors) {
    if (!IsValidStreamLayout(e)) return false;
    const uint32_t first = LoadLE32(e + kStreamFirstCluster);
    const uint64_t length = LoadLE64(e + kStreamDataLength), valid = LoadLE64(e + kStreamValidDataLength);
    if (!LengthFits(length, sectorShift, deviceSectors) || !LengthFits(valid, sectorShift, deviceSectors)) return false;
    if (first == 0 || !(e[kStreamFlags] & kFlagNoFatChain)) return true;
    return ExtentFits(length, first, clusterShift) && ExtentFits(valid, first, clusterShift);
}

bool IsValidExFatNameChar(uint16_t u) {
    if (u >= 0x100) return true;
    if (u < 0x1A || u == 0xFF) return false;
    switch (u) {
        case '"': case '*': case '/': case ':': case '<': case '>': case '?': case '\\': case '|': return false;
        default: return true;
    }
}

bool IsValidNameEntry(const uint8_t* e) {
    if (e[kNameFlags] != 0 || LoadLE16(e + kNameText) == 0) return false;
    for (size_t i = 0; i < kNameUnitsPerEntry; ++i) {
        const uint16_t u = LoadLE16(e + kNameText + 2 * i);
        if (u == 0) break;
        if (!IsValidExFatNameChar(u)) return false;
    }
    return true;
}

bool IsValidLabelEntry(const uint8_t* e) {
    const uint8_t count = e[kLabelCount];
    if (count > kLabelMaxUnits) return false;
    for (size_t i = 0; i < count; ++i)
        if (!IsValidExFatNameChar(LoadLE16(e + kLabelText + 2 * i))) return false;
    return AllZero(e, kLabelText + 2 * count, kLabelReserved) && AllZero(e, kLabelReserved, kEntrySize);
}

bool IsValidBitmapEntry(const uint8_t* e, uint32_t sectorShift, uint32_t clusterShift, uint64_t deviceSectors) {
    return IsValidSystemEntry(e, sectorShift, clusterShift, deviceSectors) && AllZero(e, 2, 20);
}

bool IsValidUpcaseEntry(const uint8_t* e, uint32_t sectorShift, uint32_t clusterShift, uint64_t deviceSectors) {
    return IsValidSystemEntry(e, sectorShift, clusterShift, deviceSectors) && AllZero(e, 1, 4) && AllZero(e, 8, 20);
}

bool IsBelievableFolderEntry(const uint8_t* e) {
    switch (e[0]) {
        case kTypeEndOfDirectory: return AllZero(e, 0, kEntrySize);
        case kTypeBitmap: return AllZero(e, 2, 20);
        case kTypeUpcase: return AllZero(e, 1, 4) && AllZero(e, 8, 20);
        case kTypeLabel:
        case kTypeLabelDeleted: return true;  // a label is only text, and its own fault
        case kTypeFile:
        case kTypeFileDeleted: return IsValidFileEntryLayout(e);
        case kTypeStream:
        case kTypeStreamDeleted: return e[kStreamReserved1] == 0 && IsValidStreamLayout(e);
        case kTypeName:
        case kTypeNameDeleted: return IsValidNameEntry(e);
        // Benign ones: a volume GUID or padding (their last ten bytes reserved), vendor entries
        // (by their type alone), live or not.
        default: return ((e[0] & 0x7C) == 0x20 && AllZero(e, 22, kEntrySize)) || (e[0] & 0x7C) == 0x60;
    }
}

bool HoldsOnlyBelievableFolderEntries(const uint8_t* cluster, size_t bytes) {
    for (size_t at = 0; at + kEntrySize <= bytes; at += kEntrySize) {
        if (!IsBelievableFolderEntry(cluster + at)) return false;
        if (cluster[at] == kTypeEndOfDirectory) break;
    }
    return true;
}

bool EntrySetChecksumMatches(const uint8_t* set, uint32_t byteCount, uint16_t expected) {
    const bool deleted = byteCount > 0 && set[0] == kTypeFileDeleted;
    uint16_t sum = 0, live = 0;
    for (uint32_t i = 0; i < byteCount; ++i) {
        if (i == kFileSetChecksum || i == kFileSetChecksum + 1) continue;
        uint8_t b = set[i];
        sum = static_cast<uint16_t>(((sum >> 1) | (sum << 15)) + b);
        if (deleted) {
            // Deleting clears bit 7 of every type byte of the set, vendor entries' included.
            if (i % kEntrySize == 0) b |= kTypeInUse;
            live = static_cast<uint16_t>(((live >> 1) | (live << 15)) + b);
        }
    }
    return sum == expected || (deleted && live == expected);
}

uint64_t ExFatTimestampToFileTime(uint32_t timestamp) {
    uint64_t out = 0;
    const uint16_t date = static_cast<uint16_t>(timestamp >> 16), time = static_cast<uint16_t>(timestamp);
    return platform::DosDateTimeToFileTime(date, time, &out) ? out : 0;
}
