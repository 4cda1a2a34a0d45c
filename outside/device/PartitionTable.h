#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/PlatformFile.h"

// A partition of a whole-disk image, in bytes from the start of the image.
struct PartitionExtent {
    uint64_t offset;
    uint64_t length;   // as far as the image goes
    uint64_t listed;   // as the table gives it: more than length when the image ends inside it
    unsigned number;   // as the system names it: MBR slots 1-4, logical partitions from 5, GPT entries from 1
    unsigned char type = 0;  // MBR type byte; 0 for a GPT entry
};

// Reads an MBR (with extended partitions) or a GPT from the image. Empty when the image holds no
// partition table, and then the image is a single volume. A partition that runs past the end of the
// image (a dump that stopped early) is kept, cut to what the image holds; one that starts past its
// end has length 0. Each partition is given once: an entry whose start and length as read are
// those of one before it is left out (and counted in *repeated when that is given). A slot that
// cannot be used (no sectors, a start over the table, sectors another partition holds, a chain of
// logical partitions that loops or leads nowhere) costs only itself: the others are read, and why
// it was passed over is added to *passedOver, one text each. A slot of a FAT, exFAT or NTFS type
// whose start holds no volume (its start edited: past the image, over another partition, or
// beside its volume) is read from the first volume boot sector that lies in the sectors no
// partition holds, for its listed length, and that too is added to *passedOver. So is a slot whose
// type byte is 0 but which lists sectors: read when a volume boot sector lies at its start.
std::vector<PartitionExtent> ReadPartitionTable(const platform::PlatformFile& image, uint64_t imageSize,
                                                uint32_t sectorSize, size_t* repeated = nullptr,
                                                std::vector<std::string>* passedOver = nullptr);
