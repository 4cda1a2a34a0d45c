#include "outside/device/PartitionTable.h"

#include <algorithm>
#include <set>

#include "sqlite_recovery/framework/ByteOrder.h"

namespace {

bool IsExtendedType(unsigned char type) { return type == 0x05 || type == 0x0F || type == 0x85; }

// A file system's boot sector also ends in 55 AA, with boot code or zeros where the slots would be:
// a table is taken only when every slot is plausible and at least one used slot starts inside the
// image. A slot may run past the image's end: a cut dump keeps its table.
bool PlausibleMbr(const unsigned char* sector, uint64_t sectors) {
    if (sector[510] != 0x55 || sector[511] != 0xAA) return false;
    int inside = 0;
    for (int i = 0; i < 4; ++i) {
        const unsigned char* e = sector + 446 + 16 * i;
        if (e[0] != 0x00 && e[0] != 0x80) return false;
        if (e[4] == 0) continue;
        uint64_t start = LoadLE32(e + 8), count = LoadLE32(e + 12);
        if (start == 0 || count == 0) return false;
        if (start < sectors) ++inside;
    }
    return inside > 0;
}

// A partition of count sectors from sector start, cut to the image's sectors.
PartitionExtent Extent(uint64_t start, uint64_t count, uint64_t sectors, uint32_t ss, unsigned number) {
    const uint64_t held = start >= sectors ? 0 : std::min(count, sectors - start);
    return {start * ss, held * ss, count * ss, number};
}

void ReadGpt(const platform::PlatformFile& image, uint64_t sectors, uint32_t ss, std::vector<PartitionExtent>& out) {
    std::vector<unsigned char> header(ss);
    if (!image.ReadAt(ss, header.data(), ss)) return;
    if (std::string(reinterpret_cast<char*>(header.data()), 8) != "EFI PART") return;
    uint64_t entriesLba = LoadLE64(&header[72]);
    uint32_t count = LoadLE32(&header[80]);
    uint32_t entrySize = LoadLE32(&header[84]);
    if (entrySize < 128 || entrySize > 4096 || count > 1024 || entriesLba >= sectors) return;
    std::vector<unsigned char> entries(static_cast<size_t>(count) * entrySize);
    if (!image.ReadAt(entriesLba * ss, entries.data(), entries.size())) return;
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char* e = &entries[static_cast<size_t>(i) * entrySize];
        bool empty = true;
        for (int k = 0; k < 16; ++k) empty = empty && e[k] == 0;
        if (empty) continue;
        uint64_t first = LoadLE64(e + 32), last = LoadLE64(e + 40);
        if (first == 0 || last < first || last >= UINT64_MAX / ss) continue;
        out.push_back(Extent(first, last - first + 1, sectors, ss, i + 1));
    }
}

// Every plausible entry of the MBR (the logical partitions of its extended one included) or of the
// GPT, in table order.
std::vector<PartitionExtent> ReadEntries(const platform::PlatformFile& image, uint64_t imageSize, uint32_t ss) {
    std::vector<PartitionExtent> out;
    uint64_t sectors = imageSize / ss;
    std::vector<unsigned char> mbr(ss < 512 ? 512 : ss);
    if (sectors < 2 || !image.ReadAt(0, mbr.data(), mbr.size())) return out;
    if (!PlausibleMbr(mbr.data(), sectors)) return out;

    for (int i = 0; i < 4; ++i) {
        const unsigned char* e = &mbr[446 + 16 * i];
        if (e[4] == 0xEE) {  // protective MBR: the real table is the GPT
            out.clear();
            ReadGpt(image, sectors, ss, out);
            return out;
        }
    }
    for (int i = 0; i < 4; ++i) {
        const unsigned char* e = &mbr[446 + 16 * i];
        unsigned char type = e[4];
        if (type == 0) continue;
        uint64_t start = LoadLE32(e + 8), count = LoadLE32(e + 12);
        if (!IsExtendedType(type)) {
            out.push_back(Extent(start, count, sectors, ss, static_cast<unsigned>(i + 1)));
            continue;
        }
        // The chain of logical partitions; each link is relative to the extended partition.
        uint64_t extStart = start;
        uint64_t link = start;
        std::set<uint64_t> visited;
        unsigned number = 5;
        std::vector<unsigned char> ebr(ss < 512 ? 512 : ss);
        while (link != 0 && link < sectors && visited.insert(link).second && visited.size() <= 256) {
            if (!image.ReadAt(link * ss, ebr.data(), ebr.size())) break;
            if (ebr[510] != 0x55 || ebr[511] != 0xAA) break;
            const unsigned char* logical = &ebr[446];
            const unsigned char* next = &ebr[462];
            uint64_t lStart = link + LoadLE32(logical + 8), lCount = LoadLE32(logical + 12);
            if (logical[4] != 0 && lCount != 0) out.push_back(Extent(lStart, lCount, sectors, ss, number++));
            link = IsExtendedType(next[4]) && LoadLE32(next + 8) != 0 ? extStart + LoadLE32(next + 8) : 0;
        }
    }
    return out;
}

}  // namespace

std::vector<PartitionExtent> ReadPartitionTable(const platform::PlatformFile& image, uint64_t imageSize,
                                                uint32_t ss, size_t* repeated) {
    std::vector<PartitionExtent> found = ReadEntries(image, imageSize, ss);
    std::vector<PartitionExtent> out;
    std::set<std::pair<uint64_t, uint64_t>> seen;
    size_t left = 0;
    for (const PartitionExtent& part : found) {
        if (seen.emplace(part.offset, part.length).second) out.push_back(part);
        else ++left;
    }
    if (repeated) *repeated = left;
    return out;
}
