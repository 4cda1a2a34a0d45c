#include "filesystems/ext/ExtChecksums.h"

#include <array>
#include <cstring>

#include "filesystems/ext/ExtSuperBlock.h"

using namespace ext;

namespace {
template <class T, T Polynomial>
std::array<T, 256> MakeTable() {
    std::array<T, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        T crc = static_cast<T>(i);
        for (int bit = 0; bit < 8; ++bit) crc = static_cast<T>((crc & 1) ? (crc >> 1) ^ Polynomial : crc >> 1);
        table[i] = crc;
    }
    return table;
}
}  // namespace

uint16_t ExtCrc16(uint16_t crc, const uint8_t* data, size_t size) {
    static const std::array<uint16_t, 256> table = MakeTable<uint16_t, 0xA001>();
    for (size_t i = 0; i < size; ++i) crc = static_cast<uint16_t>((crc >> 8) ^ table[(crc ^ data[i]) & 0xFF]);
    return crc;
}

namespace {
#if defined(__x86_64__)
// The processor's CRC32C instruction (SSE 4.2), eight bytes at a time: every folder block of a
// volume with metadata checksums is checked.
__attribute__((target("sse4.2"))) uint32_t Crc32cByInstruction(uint32_t crc, const uint8_t* data, size_t size) {
    uint64_t c = crc;
    for (; size >= 8; data += 8, size -= 8) {
        uint64_t word;
        std::memcpy(&word, data, 8);
        c = __builtin_ia32_crc32di(c, word);
    }
    uint32_t c32 = static_cast<uint32_t>(c);
    for (; size > 0; ++data, --size) c32 = __builtin_ia32_crc32qi(c32, *data);
    return c32;
}

bool HasCrc32cInstruction() {
    static const bool has = __builtin_cpu_supports("sse4.2");
    return has;
}
#endif
}  // namespace

uint32_t ExtCrc32c(uint32_t crc, const uint8_t* data, size_t size) {
#if defined(__x86_64__)
    if (HasCrc32cInstruction()) return Crc32cByInstruction(crc, data, size);
#endif
    static const std::array<uint32_t, 256> table = MakeTable<uint32_t, 0x82F63B78u>();
    for (size_t i = 0; i < size; ++i) crc = (crc >> 8) ^ table[(crc ^ data[i]) & 0xFF];
    return crc;
}

namespace {
uint32_t MetadataSeed(const ExtSuperBlock& sb) { return sb.MetadataSeed(); }
}  // namespace

int32_t ExtDescriptorChecksum(const ExtSuperBlock& sb, uint32_t group, const uint8_t* bytes, size_t size) {
    const uint8_t number[4] = {static_cast<uint8_t>(group), static_cast<uint8_t>(group >> 8),
                               static_cast<uint8_t>(group >> 16), static_cast<uint8_t>(group >> 24)};
    const size_t after = GD_CHECKSUM + 2;
    if (size < after) return -1;
    if (sb.featureRoCompat & kRoCompatMetadataCsum) {
        const uint32_t seed = MetadataSeed(sb);
        const uint8_t zero[2] = {0, 0};
        uint32_t crc = ExtCrc32c(seed, number, 4);
        crc = ExtCrc32c(crc, bytes, GD_CHECKSUM);
        crc = ExtCrc32c(crc, zero, 2);
        crc = ExtCrc32c(crc, bytes + after, size - after);
        return static_cast<int32_t>(crc & 0xFFFF);
    }
    if (sb.featureRoCompat & kRoCompatGdtCsum) {
        uint16_t crc = ExtCrc16(0xFFFF, sb.Uuid(), 16);
        crc = ExtCrc16(crc, number, 4);
        crc = ExtCrc16(crc, bytes, GD_CHECKSUM);
        if (sb.Is64Bit()) crc = ExtCrc16(crc, bytes + after, size - after);
        return crc;
    }
    return -1;
}

namespace {
uint8_t* PutLE32(uint32_t v, uint8_t* out) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
    return out;
}
}  // namespace

uint32_t ExtBitmapChecksum(const ExtSuperBlock& sb, const uint8_t* bitmap, size_t size) {
    return ExtCrc32c(MetadataSeed(sb), bitmap, size);
}

bool ExtExtentBlockChecksumHolds(const ExtSuperBlock& sb, uint32_t ino, uint32_t generation, const uint8_t* block,
                                 size_t size) {
    if (!(sb.featureRoCompat & kRoCompatMetadataCsum)) return true;
    // The tail follows the room for all entries the node may hold.
    const size_t tail = kExtentHeaderBytes + static_cast<size_t>(LoadLE16(block + EH_MAX)) * kExtentEntryBytes;
    if (tail + 4 > size) return true;
    uint8_t word[4];
    uint32_t crc = ExtCrc32c(MetadataSeed(sb), PutLE32(ino, word), 4);
    crc = ExtCrc32c(crc, PutLE32(generation, word), 4);
    return ExtCrc32c(crc, block, tail) == LoadLE32(block + tail);
}

bool ExtFolderBlockChecksumHolds(const ExtSuperBlock& sb, uint32_t ino, uint32_t generation, const uint8_t* block,
                                 size_t size) {
    if (!(sb.featureRoCompat & kRoCompatMetadataCsum) || size < 12) return true;
    // The tail: a record of inode 0, 12 bytes long, no name, type 0xDE, then the checksum.
    const uint8_t* tail = block + size - 12;
    if (LoadLE32(tail) != 0 || LoadLE16(tail + 4) != 12 || tail[6] != 0 || tail[7] != 0xDE) return true;
    uint8_t word[4];
    uint32_t crc = ExtCrc32c(MetadataSeed(sb), PutLE32(ino, word), 4);
    crc = ExtCrc32c(crc, PutLE32(generation, word), 4);
    return ExtCrc32c(crc, block, size - 12) == LoadLE32(tail + 8);
}

bool ExtInodeChecksumHolds(const ExtSuperBlock& sb, uint32_t ino, const uint8_t* bytes, size_t size) {
    if (!(sb.featureRoCompat & kRoCompatMetadataCsum) || size < kGoodOldInodeSize) return true;
    uint32_t stored = LoadLE16(bytes + IN_CHECKSUM_LO);
    const bool wide = size > kGoodOldInodeSize && kGoodOldInodeSize + LoadLE16(bytes + IN_EXTRA_ISIZE) >= IN_CHECKSUM_HI + 2;
    if (wide) stored |= static_cast<uint32_t>(LoadLE16(bytes + IN_CHECKSUM_HI)) << 16;
    // Seeded with the inode's number and generation; both checksum halves count as zeros. Every
    // live inode is checked: one run of the CRC over a copy (inodes of up to 1 KiB; larger ones,
    // rare, in pieces).
    uint8_t copy[8 + 1024];
    uint32_t crc;
    if (size <= 1024) {
        PutLE32(ino, copy);
        std::memcpy(copy + 4, bytes + IN_GENERATION, 4);
        std::memcpy(copy + 8, bytes, size);
        copy[8 + IN_CHECKSUM_LO] = copy[8 + IN_CHECKSUM_LO + 1] = 0;
        if (wide) copy[8 + IN_CHECKSUM_HI] = copy[8 + IN_CHECKSUM_HI + 1] = 0;
        crc = ExtCrc32c(sb.MetadataSeed(), copy, 8 + size);
    } else {
        const uint8_t zero[2] = {0, 0};
        crc = ExtCrc32c(sb.MetadataSeed(), PutLE32(ino, copy), 4);
        crc = ExtCrc32c(crc, bytes + IN_GENERATION, 4);
        crc = ExtCrc32c(crc, bytes, IN_CHECKSUM_LO);
        crc = ExtCrc32c(crc, zero, 2);
        crc = ExtCrc32c(crc, bytes + IN_CHECKSUM_LO + 2, IN_CHECKSUM_HI - (IN_CHECKSUM_LO + 2));
        size_t rest = IN_CHECKSUM_HI;
        if (wide) {
            crc = ExtCrc32c(crc, zero, 2);
            rest += 2;
        }
        crc = ExtCrc32c(crc, bytes + rest, size - rest);
    }
    if (!wide) crc &= 0xFFFF;
    return crc == stored;
}
