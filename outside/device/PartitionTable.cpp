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

// Types of volumes that begin with a boot sector: FAT12, FAT16, FAT32 (and their hidden forms),
// exFAT and NTFS.
bool IsBootSectorType(unsigned char type) {
    switch (type & 0xEF) {  // 0x1X: hidden
    case 0x01: case 0x04: case 0x06: case 0x07: case 0x0B: case 0x0C: case 0x0E: return true;
    default: return false;
    }
}

// A volume's boot sector as a search among sectors takes it: exFAT or NTFS by name, FAT by a
// parameter block of one or two FATs, a cluster of 1 to 128 sectors and reserved sectors; the
// device's sector size; 55 AA.
bool IsVolumeBootSector(const unsigned char* s, uint32_t ss) {
    if (s[510] != 0x55 || s[511] != 0xAA || (s[0] != 0xEB && s[0] != 0xE9) || LoadLE16(s + 11) != ss) return false;
    if (std::memcmp(s + 3, "EXFAT   ", 8) == 0 || std::memcmp(s + 3, "NTFS    ", 8) == 0) return true;
    const unsigned spc = s[13];
    return (s[16] == 1 || s[16] == 2) && spc != 0 && spc <= 128 && (spc & (spc - 1)) == 0 && LoadLE16(s + 14) != 0;
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
    return {start * ss, held * ss, count * ss, number, 0};
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
        if (IsVolumeBootSector(ebr.data(), ss)) return stop(link, "leads to a volume's boot sector");
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

bool HoldsVolumeAt(const platform::PlatformFile& image, uint64_t s, uint64_t sectors, uint32_t ss);

// Whether sector s, where a chain of logical partitions would begin, holds a volume's boot sector.
bool LinkIsVolume(const platform::PlatformFile& image, uint64_t s, uint64_t sectors, uint32_t ss) {
    std::vector<unsigned char> sector(ss < 512 ? 512 : ss);
    return s != 0 && s < sectors && image.ReadAt(s * ss, sector.data(), sector.size()) &&
           IsVolumeBootSector(sector.data(), ss);
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
    // A volume's boot sector taken for a table holds boot code where empty slots would be zeros.
    const bool volumeAtZero = LooksLikeVolumeBootSector(mbr.data());
    for (int i = 0; i < 4; ++i) {
        const unsigned char* e = &mbr[kSlots + kSlotBytes * i];
        unsigned char type = e[4];
        uint64_t start = LoadLE32(e + 8), count = LoadLE32(e + 12);
        const std::string why = WhyUnusable(start, count);
        if (type == 0) {
            // An empty slot is zeros; one that still lists sectors lost its type byte. Where a
            // volume's boot sector lies at its start, that volume is its partition. (An Ext volume,
            // which has none, is found by the whole-device pass.)
            if ((start == 0 && count == 0) || volumeAtZero) continue;
            const std::string slot = "partition " + std::to_string(i + 1) + " has type 0x00 but lists " +
                                     std::to_string(count) + " sectors from sector " + std::to_string(start);
            if (why.empty() && HoldsVolumeAt(image, start, sectors, ss)) {
                out.passedOver.push_back(slot + ", where a volume's boot sector lies: read as a partition");
                out.parts.push_back(Extent(start, count, sectors, ss, static_cast<unsigned>(i + 1)));
            } else {
                out.passedOver.push_back(slot + ", where no boot sector lies: passed over");
            }
            continue;
        }
        if (count == 0 && start != 0 && start < sectors && !IsExtendedType(type) &&
            HoldsVolumeAt(image, start, sectors, ss)) {
            // Its sector count was lost, its start kept: the volume there is read up to where the
            // next partition starts, or the image ends (its own boot sector says how long it is).
            uint64_t end = sectors;
            for (int k = 0; k < 4; ++k) {
                const unsigned char* other = &mbr[kSlots + kSlotBytes * k];
                const uint64_t otherStart = LoadLE32(other + 8);
                if (other[4] != 0 && otherStart > start) end = std::min(end, otherStart);
            }
            out.passedOver.push_back("partition " + std::to_string(i + 1) + " has type " + Hex(type) +
                                     " but no sectors; a volume's boot sector lies at its start, sector " +
                                     std::to_string(start) + ": read as a partition up to sector " +
                                     std::to_string(end));
            out.parts.push_back(Extent(start, end - start, sectors, ss, static_cast<unsigned>(i + 1)));
            out.parts.back().type = type;
        } else if (!why.empty()) {
            out.passedOver.push_back("partition " + std::to_string(i + 1) + " has type " + Hex(type) + " but " + why +
                                     ": passed over");
        } else if (IsExtendedType(type) && LinkIsVolume(image, start, sectors, ss)) {
            // A chain's link holds a table, never a boot sector: the type byte was changed, and the
            // volume at its start is its partition.
            out.passedOver.push_back("partition " + std::to_string(i + 1) + " has type " + Hex(type) +
                                     " (extended) but a volume's boot sector lies at its start, sector " +
                                     std::to_string(start) + ": read as a partition");
            out.parts.push_back(Extent(start, count, sectors, ss, static_cast<unsigned>(i + 1)));
        } else if (IsExtendedType(type)) {
            ReadChain(image, start, sectors, ss, &number, out);
        } else {
            out.parts.push_back(Extent(start, count, sectors, ss, static_cast<unsigned>(i + 1)));
            out.parts.back().type = type;
        }
    }
    return out;
}

// Bytes a volume's search looks at, from the start of each stretch of sectors no partition holds:
// partitions are laid one after the other or on the next MiB (an SD card's first on its 4 MiB),
// and read a piece at a time.
constexpr uint64_t kMostSearchedBytes = 8 << 20;
constexpr uint64_t kSearchPieceBytes = 1 << 20;

// Whether sector s (or the FAT32 backup six after it) holds a volume's boot sector.
bool HoldsVolumeAt(const platform::PlatformFile& image, uint64_t s, uint64_t sectors, uint32_t ss) {
    std::vector<unsigned char> sector(ss < 512 ? 512 : ss);
    for (uint64_t at : {s, s + 6})
        if (at < sectors && image.ReadAt(at * ss, sector.data(), sector.size()) &&
            LooksLikeVolumeBootSector(sector.data()) && sector[510] == 0x55 && sector[511] == 0xAA)
            return true;
    return false;
}

// The first volume boot sector in the sectors that none of parts holds (from sector 1), looking at
// the first kMostSearchedBytes of each stretch; *end receives where that stretch ends. 0: none.
uint64_t FindUnheldVolume(const platform::PlatformFile& image, const std::vector<PartitionExtent>& parts,
                          uint64_t sectors, uint32_t ss, const std::set<uint64_t>& taken, uint64_t* end) {
    std::vector<std::pair<uint64_t, uint64_t>> held;
    for (const PartitionExtent& p : parts) held.emplace_back(p.offset / ss, (p.offset + p.listed) / ss);
    std::sort(held.begin(), held.end());
    std::vector<unsigned char> piece;
    uint64_t from = 1;
    for (size_t i = 0; i <= held.size() && from < sectors; ++i) {
        const uint64_t to = i < held.size() ? std::min(held[i].first, sectors) : sectors;
        const uint64_t last = std::min(to, from + kMostSearchedBytes / ss);
        for (uint64_t at = from; at < last && ss >= 512;) {
            const uint64_t n = std::min(last - at, kSearchPieceBytes / ss);
            piece.resize(static_cast<size_t>(n * ss));
            if (!image.ReadAt(at * ss, piece.data(), piece.size())) break;
            for (uint64_t k = 0; k < n; ++k)
                if (IsVolumeBootSector(&piece[static_cast<size_t>(k * ss)], ss) && !taken.count(at + k)) {
                    *end = to;
                    return at + k;
                }
            at += n;
        }
        if (i < held.size()) from = std::max(from, held[i].second);
    }
    return 0;
}

// A slot of a boot-sector type whose start leads to no volume.
struct StraySlot {
    PartitionExtent slot;
    std::string where;     // why: past the image, inside another partition, where no volume begins
    std::string unplaced;  // what is said when no volume is found for it
};

// Slots of a boot-sector type that lead to no volume (past the image, passed over for sectors
// another partition holds, or a start beside their volume): each is read from the first volume
// boot sector no partition holds, for its listed length, as far as that stretch goes.

void PlaceStraySlots(const platform::PlatformFile& image, uint64_t sectors, uint32_t ss,
                     const std::vector<StraySlot>& stray, std::vector<PartitionExtent>& out,
                     std::vector<std::string>& said) {
    std::set<uint64_t> taken;
    for (const StraySlot& s : stray) {
        const PartitionExtent& slot = s.slot;
        std::vector<PartitionExtent> others;
        for (const PartitionExtent& p : out)
            if (p.number != slot.number) others.push_back(p);
        uint64_t end = 0;
        const uint64_t at = FindUnheldVolume(image, others, sectors, ss, taken, &end);
        if (at == 0) {
            if (!s.unplaced.empty()) said.push_back(s.unplaced);
            continue;
        }
        taken.insert(at);
        PartitionExtent placed = Extent(at, std::min(slot.listed / ss, end - at), sectors, ss, slot.number);
        placed.type = slot.type;
        said.push_back("partition " + std::to_string(slot.number) + " starts at sector " +
                       std::to_string(slot.offset / ss) + ", " + s.where + "; a volume's boot sector lies at "
                       "sector " + std::to_string(at) + ", which no partition holds: partition " +
                       std::to_string(slot.number) + " is read from there (" + std::to_string(placed.listed / ss) +
                       " sectors)");
        auto known = std::find_if(out.begin(), out.end(), [&](const PartitionExtent& p) { return p.number == slot.number; });
        if (known != out.end()) *known = placed;
        else out.push_back(placed);
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const PartitionExtent& a, const PartitionExtent& b) { return a.number < b.number; });
}

}  // namespace

std::vector<PartitionExtent> ReadPartitionTable(const platform::PlatformFile& image, uint64_t imageSize,
                                                uint32_t ss, size_t* repeated, std::vector<std::string>* passedOver) {
    Reading found = ReadEntries(image, imageSize, ss);
    std::vector<PartitionExtent> out;
    std::vector<StraySlot> stray;
    std::set<std::pair<uint64_t, uint64_t>> seen;
    size_t left = 0;
    const uint64_t sectors = imageSize / ss;
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
        const bool lost = IsBootSectorType(part.type) &&
                          (over != out.end() || !HoldsVolumeAt(image, part.offset / ss, sectors, ss));
        const std::string overlap =
            over == out.end() ? std::string()
                              : "partition " + std::to_string(part.number) + " (sectors " +
                                    std::to_string(part.offset / ss) + " to " +
                                    std::to_string((part.offset + part.listed) / ss - 1) + ") overlaps partition " +
                                    std::to_string(over->number) + ": passed over";
        if (lost) {
            // Said once it is known whether its volume lies elsewhere.
            stray.push_back({part, part.length == 0       ? "past the end of the image"
                                   : over != out.end() ? "inside partition " + std::to_string(over->number)
                                                       : "where no volume begins", overlap});
        } else if (!overlap.empty()) {
            found.passedOver.push_back(overlap);
        }
        if (over == out.end()) out.push_back(part);
    }
    if (!stray.empty()) PlaceStraySlots(image, sectors, ss, stray, out, found.passedOver);
    if (repeated) *repeated = left;
    if (passedOver) *passedOver = std::move(found.passedOver);
    return out;
}
