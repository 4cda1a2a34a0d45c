#include "media_recovery/raw/formats/FileOLEAnalyser.h"

#include <cstring>
#include <string>
#include <vector>

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

using namespace rawbytes;

namespace {

constexpr uint32_t kFree = 0xFFFFFFFF;
// Sector numbers from 0xFFFFFFFA up are markers, never sectors.
constexpr uint32_t kMaxSector = 0xFFFFFFF9;
// No compound file within the largest carve has more FAT-location sectors than this.
constexpr int kMaxDifatSectors = 64;
constexpr uint64_t kUnreadableDirectoryLimit = 0xA00000;
// Directory sectors looked at for the main stream when the first four entries tell nothing.
constexpr int kMaxDirectorySectors = 16;

// Sector s of the file (s = -1 is the header), 512 bytes.
const uint8_t* ReadOleSector(CandidateReader& r, uint64_t s) { return ReadCandidateSpan(r, (s + 1) * 512, 512); }

// The name of a 128-byte directory entry, as UTF-16 units up to its terminator.
std::u16string EntryName(const uint8_t* e) {
    std::u16string name;
    for (int i = 0; i < 32; ++i) {
        char16_t c = static_cast<char16_t>(LoadLE16(e + 2 * i));
        if (c == 0) break;
        name.push_back(c);
    }
    return name;
}

bool Is(const std::u16string& name, const char* text) {
    size_t n = std::strlen(text);
    if (name.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (name[i] != static_cast<unsigned char>(text[i])) return false;
    return true;
}

bool IsMarked(const std::u16string& name, char16_t mark, const char* text) {
    return !name.empty() && name[0] == mark && Is(name.substr(1), text);
}

// The type the first four directory entries tell, from RAW_TYPE_MOF (a compound file of no known
// kind).
uint32_t Classify(const uint8_t* dir, uint64_t& size) {
    std::u16string n[4];
    for (int i = 0; i < 4; ++i) n[i] = EntryName(dir + 128 * i);
    uint32_t type = RAW_TYPE_MOF;
    for (int i = 0; i < 4; ++i)
        if (Is(n[i], "WordDocument") || Is(n[i], "ObjectPool")) type = RAW_TYPE_DOC;
    for (int i = 1; i <= 2; ++i)
        if (Is(n[i], "Workbook") || Is(n[i], "Book")) type = RAW_TYPE_XLS;
    for (int i = 1; i <= 3; ++i)
        if (Is(n[i], "PowerPoint Document")) type = RAW_TYPE_PPT;
    if (Is(n[1], "Pictures") || Is(n[1], "PP40")) type = RAW_TYPE_PPT;
    if (Is(n[1], "Scene")) type = RAW_TYPE_MAX;
    if (Is(n[1], "VisioDocument")) {
        type = RAW_TYPE_VSD;
        size += 0x400;
    }
    if (Is(n[1], "PerfectOffice_MAIN") && Is(n[2], "PerfectOffice_OBJECTS")) {
        type = RAW_TYPE_WPD;
        if (IsMarked(n[3], 5, "SummaryInformation")) {
            type = RAW_TYPE_SHW;
        } else {
            static const uint8_t kZero[16] = {};
            if (std::memcmp(dir + 0x50, kZero, 16) == 0) type = RAW_TYPE_WPG;
        }
    }
    if (Is(n[1], "Objects") && Is(n[2], "Quill") && Is(n[3], "Escher")) type = RAW_TYPE_PUB;
    if (Is(n[1], "NativeContent_MAIN")) type = RAW_TYPE_QPW;
    if (IsMarked(n[1], 1, "CompObj") &&
        ((Is(n[2], "   19") && Is(n[3], "   29")) || (Is(n[2], "   112") && Is(n[3], "   212"))))
        type = RAW_TYPE_MPP;
    if (Is(n[1], "PropData") && Is(n[2], "Forms") && Is(n[3], "Reports")) type = RAW_TYPE_ADP;
    return type;
}

// The main stream's name anywhere in the directory: writers other than the Office programs (such
// as LibreOffice) put it behind the first four entries. Follows the directory's FAT chain.
uint32_t ClassifyByLaterEntries(CandidateReader& r, const std::vector<uint32_t>& fatSectors, uint32_t dirSector) {
    uint32_t sector = dirSector;
    for (int n = 0; n < kMaxDirectorySectors && sector <= kMaxSector; ++n) {
        const uint8_t* dir = ReadOleSector(r, sector);
        if (!dir) return RAW_TYPE_MOF;
        for (int i = 0; i < 4; ++i) {
            std::u16string name = EntryName(dir + 128 * i);
            if (Is(name, "WordDocument")) return RAW_TYPE_DOC;
            if (Is(name, "Workbook") || Is(name, "Book")) return RAW_TYPE_XLS;
            if (Is(name, "PowerPoint Document")) return RAW_TYPE_PPT;
        }
        uint64_t index = sector / 128;
        if (index >= fatSectors.size()) return RAW_TYPE_MOF;
        const uint8_t* fat = ReadOleSector(r, fatSectors[index]);
        if (!fat) return RAW_TYPE_MOF;
        uint32_t next = LoadLE32(fat + 4 * (sector % 128));
        if (next == sector) return RAW_TYPE_MOF;
        sector = next;
    }
    return RAW_TYPE_MOF;
}

}  // namespace

bool FileOLEAnalyser::IsHeader(const uint8_t* s, RawHit& hit) {
    if (!Equals(s, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) return false;
    hit.fileTypeId = RAW_TYPE_OLE;
    return true;
}

bool FileOLEAnalyser::ComputeSize(RawHit& hit, IStorageDevice* device) {
    CandidateReader r(device, hit.startSector);
    const uint8_t* p = ReadCandidateSpan(r, 0, 512);
    if (!p) return false;
    uint8_t header[512];
    std::memcpy(header, p, sizeof(header));

    uint64_t fatCount = 0;
    uint32_t lastFat = kFree;
    std::vector<uint32_t> fatSectors;  // in FAT order, as far as they are listed in order
    bool inOrder = true;
    for (int i = 0; i < 109; ++i) {
        uint32_t s = LoadLE32(header + 0x4C + 4 * i);
        if (s == kFree) {
            inOrder = false;
            continue;
        }
        ++fatCount;
        lastFat = s;
        if (inOrder) fatSectors.push_back(s);
    }
    // The chain of FAT-location sectors ends at either marker; each link must lead forward.
    uint32_t difat = LoadLE32(header + 0x44);
    for (int n = 0; difat <= kMaxSector; ++n) {
        if (n == kMaxDifatSectors) return false;
        const uint8_t* d = ReadOleSector(r, difat);
        if (!d) return false;
        for (int i = 0; i < 127; ++i) {
            uint32_t s = LoadLE32(d + 4 * i);
            if (s == kFree) continue;
            ++fatCount;
            lastFat = s;
        }
        uint32_t next = LoadLE32(d + 4 * 127);
        if (next <= difat || next > kMaxSector) break;
        difat = next;
    }
    // Without a FAT there is nothing to size the file by.
    if (fatCount == 0 || lastFat > kMaxSector) return false;
    const uint8_t* fat = ReadOleSector(r, lastFat);
    if (!fat) return false;
    uint64_t used = 0;
    for (int i = 127; i >= 0; --i) {
        if (LoadLE32(fat + 4 * i) != kFree) {
            used = static_cast<uint64_t>(i) + 1;
            break;
        }
    }
    uint64_t size = ((fatCount - 1) * 128 + used + 1) * 512;

    uint32_t dirSector = LoadLE32(header + 0x30);
    const uint8_t* dir = dirSector <= kMaxSector ? ReadOleSector(r, dirSector) : nullptr;
    if (!dir) {
        if (size > kUnreadableDirectoryLimit) return false;
        hit.fileTypeId = RAW_TYPE_MOF;
        hit.size = size;
        return true;
    }
    uint32_t type = Classify(dir, size);
    if (type == RAW_TYPE_MOF) type = ClassifyByLaterEntries(r, fatSectors, dirSector);
    hit.fileTypeId = type;
    hit.size = size;
    return true;
}
