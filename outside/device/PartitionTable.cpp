#include "outside/device/PartitionTable.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "sqlite_recovery/framework/ByteOrder.h"

namespace {

// MBR, at the start of sector 0 and of every link of an extended partition's chain:
//   446  4 slots of 16 bytes: +0 status (0x00 or 0x80), +4 type (0 = unused), +8 first sector (LE32),
//        +12 sector count (LE32)
//   510  55 AA
// In a link of the chain, slot 1 is the logical partition (relative to the link) and slot 2 the next
// link (relative to the extended partition's start).
constexpr size_t kSlots = 446;
constexpr size_t kSlotBytes = 16;
constexpr unsigned kMostLinks = 256;

bool IsExtendedType(unsigned char type) { return type == 0x05 || type == 0x0F || type == 0x85; }

std::string Hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
    return text;
}

// A FAT or exFAT boot sector: a jump, then a power of two from 512 to 4096 bytes per sector at 11.
bool LooksLikeVolumeBootSector(const unsigned char* sector) {
    if (sector[0] != 0xEB && sector[0] != 0xE9) return false;
    const unsigned bytes = LoadLE16(sector + 11);
    if (std::memcmp(sector + 3, "EXFAT   ", 8) == 0) return true;
    return bytes >= 512 && bytes <= 4096 && (bytes & (bytes - 1)) == 0;
}

bool Usable(const unsigned char* e, uint64_t sectors) {
    const uint64_t start = LoadLE32(e + 8), count = LoadLE32(e + 12);
    return e[4] != 0 && start != 0 && count != 0 && start < sectors;
}

// A file system's boot sector also ends in 55 AA, with boot code or zeros where the slots would be:
// a table is taken when every status byte is plausible and at least one slot can be used. A table
// that also has slots that cannot be used (no sectors, or over the table itself) is taken only when
// sector 0 is no volume's boot sector; those slots are then passed over one by one.
bool PlausibleMbr(const unsigned char* sector, uint64_t sectors) {
    if (sector[510] != 0x55 || sector[511] != 0xAA) return false;
    int usable = 0, unusable = 0;
    for (int i = 0; i < 4; ++i) {
        const unsigned char* e = sector + kSlots + kSlotBytes * i;
        if (e[0] != 0x00 && e[0] != 0x80) return false;
        if (e[4] == 0) continue;
        if (Usable(e, sectors)) ++usable;
        else if (LoadLE32(e + 8) == 0 || LoadLE32(e + 12) == 0) ++unusable;
    }
    return usable > 0 && (unusable == 0 || !LooksLikeVolumeBootSector(sector));
}

// A partition of count sectors from sector start, cut to the image's sectors.
PartitionExtent Extent(uint64_t start, uint64_t count, uint64_t sectors, uint32_t ss, unsigned number) {
    const uint64_t held = start >= sectors ? 0 : std::min(count, sectors - start);
    return {start * ss, held * ss, count * ss, number};
}

// Why a slot's start and count cannot make a partition; empty when they can.
std::string WhyUnusable(uint64_t start, uint64_t count) {
    if (count == 0) return "no sectors";
    if (start == 0) return "its start at sector 0, where the table itself lies";
    return std::string();
}

struct Reading {
    std::vector<PartitionExtent> parts;
    std::vector<std::string> passedOver;
};

void ReadGpt(const platform::PlatformFile& image, uint64_t sectors, uint32_t ss, Reading& out) {
    // GPT header at LBA 1: "EFI PART", +72 entries' LBA (LE64), +80 entry count, +84 entry size.
    // An entry: +0 type GUID (zeros = unused), +32 first LBA, +40 last LBA (inclusive).
    std::vector<unsigned char> header(ss);
    if (!image.ReadAt(ss, header.data(), ss) ||
        std::string(reinterpret_cast<char*>(header.data()), 8) != "EFI PART") {
        out.passedOver.push_back("its protective MBR names a GPT, but sector 1 holds no GPT header: read as one volume");
        return;
    }
    uint64_t entriesLba = LoadLE64(&header[72]);
    uint32_t count = LoadLE32(&header[80]);
    uint32_t entrySize = LoadLE32(&header[84]);
    std::vector<unsigned char> entries;
    if (entrySize >= 128 && entrySize <= 4096 && count <= 1024 && entriesLba < sectors) {
        entries.resize(static_cast<size_t>(count) * entrySize);
        if (!image.ReadAt(entriesLba * ss, entries.data(), entries.size())) entries.clear();
    }
    if (entries.empty() && count != 0) {
        out.passedOver.push_back("its GPT header gives entries that cannot be read (" + std::to_string(count) +
                                 " of " + std::to_string(entrySize) + " bytes at sector " +
                                 std::to_string(entriesLba) + "): read as one volume");
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char* e = &entries[static_cast<size_t>(i) * entrySize];
        bool empty = true;
        for (int k = 0; k < 16; ++k) empty = empty && e[k] == 0;
        if (empty) continue;
        uint64_t first = LoadLE64(e + 32), last = LoadLE64(e + 40);
        const std::string name = "partition " + std::to_string(i + 1);
        if (last < first) {
            out.passedOver.push_back(name + " ends (sector " + std::to_string(last) + ") before it starts (sector " +
                                     std::to_string(first) + "): passed over");
        } else if (first == 0) {
            out.passedOver.push_back(name + " starts at sector 0, where the table itself lies: passed over");
        } else if (last >= UINT64_MAX / ss) {
            out.passedOver.push_back(name + " ends at sector " + std::to_string(last) +
                                     ", beyond any image: passed over");
        } else {
            out.parts.push_back(Extent(first, last - first + 1, sectors, ss, i + 1));
        }
    }
}

// The logical partitions of the extended partition at extStart, numbered from *number on.
void ReadChain(const platform::PlatformFile& image, uint64_t extStart, uint64_t sectors, uint32_t ss,
               unsigned* number, Reading& out) {
    std::set<uint64_t> visited;
    std::vector<unsigned char> ebr(ss < 512 ? 512 : ss);
    const auto stop = [&](uint64_t link, const std::string& why) {
        out.passedOver.push_back("the chain of logical partitions " + why + " (its link at sector " +
                                 std::to_string(link) + "): logical partitions from " + std::to_string(*number) +
                                 " on are passed over");
    };
    for (uint64_t link = extStart; link != 0;) {
        if (link >= sectors) return stop(link, "leads past the end of the image");
        if (!visited.insert(link).second) return stop(link, "loops back to a link read before");
        if (visited.size() > kMostLinks) return stop(link, "has more than " + std::to_string(kMostLinks) + " links");
        if (!image.ReadAt(link * ss, ebr.data(), ebr.size())) return stop(link, "cannot be read");
        if (ebr[510] != 0x55 || ebr[511] != 0xAA) return stop(link, "ends in a sector without a table");
        const unsigned char* logical = &ebr[kSlots];
        const unsigned char* next = &ebr[kSlots + kSlotBytes];
        const uint64_t offset = LoadLE32(logical + 8), lCount = LoadLE32(logical + 12);
        if (logical[4] != 0) {
            if (lCount == 0)
                out.passedOver.push_back("the logical partition at link sector " + std::to_string(link) +
                                         " has type " + Hex(logical[4]) + " but no sectors: passed over");
            else
                out.parts.push_back(Extent(link + offset, lCount, sectors, ss, (*number)++));
        }
        link = IsExtendedType(next[4]) && LoadLE32(next + 8) != 0 ? extStart + LoadLE32(next + 8) : 0;
    }
}

// Every entry of the MBR (the logical partitions of its extended one included) or of the GPT that
// can be used, in table order, and why each of the others was passed over.
Reading ReadEntries(const platform::PlatformFile& image, uint64_t imageSize, uint32_t ss) {
    Reading out;
    uint64_t sectors = imageSize / ss;
    std::vector<unsigned char> mbr(ss < 512 ? 512 : ss);
    if (sectors < 2 || !image.ReadAt(0, mbr.data(), mbr.size())) return out;
    if (!PlausibleMbr(mbr.data(), sectors)) return out;

    for (int i = 0; i < 4; ++i) {
        if (mbr[kSlots + kSlotBytes * i + 4] == 0xEE) {  // protective MBR: the real table is the GPT
            ReadGpt(image, sectors, ss, out);
            return out;
        }
    }
    unsigned number = 5;
    for (int i = 0; i < 4; ++i) {
        const unsigned char* e = &mbr[kSlots + kSlotBytes * i];
        unsigned char type = e[4];
        if (type == 0) continue;
        uint64_t start = LoadLE32(e + 8), count = LoadLE32(e + 12);
        const std::string why = WhyUnusable(start, count);
        if (!why.empty()) {
            out.passedOver.push_back("partition " + std::to_string(i + 1) + " has type " + Hex(type) + " but " + why +
                                     ": passed over");
        } else if (IsExtendedType(type)) {
            ReadChain(image, start, sectors, ss, &number, out);
        } else {
            out.parts.push_back(Extent(start, count, sectors, ss, static_cast<unsigned>(i + 1)));
        }
    }
    return out;
}

}  // namespace

std::vector<PartitionExtent> ReadPartitionTable(const platform::PlatformFile& image, uint64_t imageSize,
                                                uint32_t ss, size_t* repeated, std::vector<std::string>* passedOver) {
    Reading found = ReadEntries(image, imageSize, ss);
    std::vector<PartitionExtent> out;
    std::set<std::pair<uint64_t, uint64_t>> seen;
    size_t left = 0;
    for (const PartitionExtent& part : found.parts) {
        if (!seen.emplace(part.offset, part.length).second) {
            ++left;
            continue;
        }
        // Two partitions over the same sectors would give the same files twice, or neither whole:
        // the one the table lists first is read.
        auto over = std::find_if(out.begin(), out.end(), [&](const PartitionExtent& other) {
            return part.offset < other.offset + other.listed && other.offset < part.offset + part.listed;
        });
        if (over != out.end()) {
            found.passedOver.push_back("partition " + std::to_string(part.number) + " (sectors " +
                                       std::to_string(part.offset / ss) + " to " +
                                       std::to_string((part.offset + part.listed) / ss - 1) + ") overlaps partition " +
                                       std::to_string(over->number) + ": passed over");
            continue;
        }
        out.push_back(part);
    }
    if (repeated) *repeated = left;
    if (passedOver) *passedOver = std::move(found.passedOver);
    return out;
}
