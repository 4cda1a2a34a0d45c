#pragma once
#include <cstddef>
#include <cstdint>

#include "filesystems/ext/ExtLayout.h"

// A copy of a superblock with the values derived from it. Parse, Normalise, then IsValid.
struct ExtSuperBlock {
    uint8_t raw[ext::kSuperBlockBytes] = {};

    // Reads the fields of raw (and nothing else).
    void Parse();
    // 1 KiB-block volumes start at block 1, others at 0; an inode count that does not fit the
    // groups becomes groups x inodes per group.
    void Normalise();
    // The tests that a volume must pass before any of its geometry is used.
    bool IsValid() const { return Fault() == nullptr; }
    // The first of those tests that fails, in words; null when all pass.
    const char* Fault() const;
    // The same volume (for backup copies): magic, block size, counts, inode size, first block, uuid.
    bool SameVolume(const ExtSuperBlock& other) const;

    bool Is64Bit() const { return featureIncompat & ext::kIncompat64Bit; }
    bool HasFlexGroups() const { return featureIncompat & ext::kIncompatFlexBg; }
    // The high half only counts on 64-bit volumes: elsewhere it is not part of the format.
    uint64_t BlockCount() const { return (Is64Bit() ? static_cast<uint64_t>(blocksCountHi) << 32 : 0) | blocksCountLo; }
    // 0 for a block size above 64 KiB.
    uint32_t BlockSize() const { return logBlockSize <= 6 ? 1024u << logBlockSize : 0; }
    // 0 without blocks per group.
    uint64_t GroupCount() const;
    uint32_t InodeSize() const { return revLevel == 0 ? ext::kGoodOldInodeSize : inodeSize; }
    uint32_t FirstInode() const { return revLevel == 0 ? ext::kGoodOldFirstInode : firstIno; }
    uint32_t DescriptorSize() const { return Is64Bit() ? descSize : static_cast<uint32_t>(ext::kSmallDescriptorBytes); }
    // Blocks of one group's inode table.
    uint64_t InodeTableBlocks() const;
    // Group g holds a copy of the superblock (and, without descriptor blocks spread over the
    // groups, of the descriptor table and the blocks reserved after it).
    bool HasSuperBlockCopy(uint64_t g) const;
    // Blocks of one copy of the descriptor table.
    uint64_t DescriptorBlocks() const;
    // Checksums guard the descriptors (CRC16 or CRC32C), so their never-used marks can be trusted.
    bool HasDescriptorChecksums() const {
        return featureRoCompat & (ext::kRoCompatGdtCsum | ext::kRoCompatMetadataCsum);
    }

    uint32_t inodesCount = 0;
    uint32_t blocksCountLo = 0;
    uint32_t blocksCountHi = 0;
    uint32_t firstDataBlock = 0;
    uint32_t logBlockSize = 0;
    uint32_t blocksPerGroup = 0;
    uint32_t inodesPerGroup = 0;
    uint16_t magic = 0;
    uint32_t revLevel = 0;
    uint32_t firstIno = 0;
    uint16_t inodeSize = 0;
    uint16_t blockGroupNr = 0;
    uint32_t featureCompat = 0;
    uint32_t featureIncompat = 0;
    uint32_t featureRoCompat = 0;
    uint16_t descSize = 0;
    uint16_t reservedGdtBlocks = 0;
    uint32_t journalInum = 0;
    uint32_t checksumSeed = 0;
    const uint8_t* Uuid() const { return raw + ext::SB_UUID; }
    // What every metadata CRC32C starts from: the seed the superblock keeps, or its uuid's CRC.
    uint32_t MetadataSeed() const { return metadataSeed; }
    uint32_t metadataSeed = 0;
};
