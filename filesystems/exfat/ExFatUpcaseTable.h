#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class IStorageDevice;
struct ExFatVolume;

// A volume's up-case table (the root folder's 0x82 entry names it): the capital of every UTF-16 unit,
// through which each entry set's name hash was made. Without it only the capitals of the units below
// 0x80 are known (a-z to A-Z), and a name with other units cannot be checked by its hash.
//
// Stored form, u16 after u16: the capital of unit 0, 1, 2, ...; the pair 0xFFFF N stands for N units
// that are their own capitals. The stored bytes add up to the entry's TableChecksum, each step the
// sum so far turned right by one bit (32 bits wide) plus the next byte.
class ExFatUpcaseTable {
public:
    // A table is a few KiB; one stored without runs of own capitals is 128 KiB.
    static constexpr uint64_t kMostBytes = 256 * 1024;

    // Takes the stored table; false (and nothing taken) when its bytes do not add up to checksum.
    bool Take(const uint8_t* bytes, size_t length, uint32_t checksum);
    // Reads the stored table of length bytes from its first cluster on, along its FAT chain (in one
    // stretch where the FAT names no next cluster), and takes it. False when it cannot be read whole,
    // is larger than kMostBytes, or does not add up.
    bool Read(ExFatVolume& volume, IStorageDevice* device, uint32_t firstCluster, uint64_t length, uint32_t checksum);
    bool IsTaken() const { return !capitals_.empty(); }
    // The capitals of all 65536 units once taken, else null.
    const uint16_t* Capitals() const { return capitals_.empty() ? nullptr : capitals_.data(); }


private:
    std::vector<uint16_t> capitals_;  // 65536 once taken
};

// The name hash of an entry set, one unit at a time: hash is the hash so far (0 before the first
// unit), capital the unit's capital; both of its bytes, low first, are added as the checksum adds.
inline uint16_t ExFatNameHashStep(uint16_t hash, uint16_t capital) {
    hash = static_cast<uint16_t>(((hash >> 1) | (hash << 15)) + (capital & 0xFF));
    return static_cast<uint16_t>(((hash >> 1) | (hash << 15)) + (capital >> 8));
}
