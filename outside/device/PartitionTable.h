#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/PlatformFile.h"

// A partition of a whole-disk image, in bytes from the start of the image.
struct PartitionExtent {
    uint64_t offset;
    uint64_t length;
};

// Reads an MBR (with extended partitions) or a GPT from the image. Empty when the image holds no
// partition table, and then the image is a single volume. Every entry is checked against the size,
// and each partition is given once: an entry with the start and length of one before it is left
// out (and counted in *repeated when that is given).
std::vector<PartitionExtent> ReadPartitionTable(const platform::PlatformFile& image, uint64_t imageSize,
                                                uint32_t sectorSize, size_t* repeated = nullptr);
