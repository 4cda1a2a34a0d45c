#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "filesystems/ext/ExtMemory.h"
#include "filesystems/ext/ExtSuperBlock.h"

class IStorageDevice;
class CExt2FileSystem;

// Opens the volume whose primary superblock lies at sector as the constructor does. When that copy,
// or its descriptors, do not hold together: a backup copy where the usual geometries put one, then
// the copy with one or two fields taken from their second source (the twin field without clusters,
// the other fields, mke2fs's values), each read only when its descriptors check out and its root
// folder lies where it says (the log says which). When none can be read, a copy with the magic of
// the kind is said lost; the constructor's exception is thrown.
std::unique_ptr<CExt2FileSystem> OpenExtVolume(IStorageDevice* device, uint64_t sector);

// One group's descriptor, as far as the reader uses it.
struct ExtGroupDescriptor {
    uint64_t blockBitmap = 0;
    uint64_t inodeBitmap = 0;
    uint64_t inodeTable = 0;
    uint16_t flags = 0;
    uint32_t itableUnused = 0;
    uint32_t bitmapChecksum = 0;     // of the block bitmap (metadata checksums): 16 bits, or 32 when wide
    bool wideBitmapChecksum = false;
    bool checksumOk = false;
    bool tableOk = true;    // the inode table lies in its group, on the volume (else its inodes are lost)
    bool bitmapsOk = true;  // both bitmaps lie in the group, apart (else they are not used)  // the descriptor carries the checksum it must (never without checksums)
};

// One Ext2/3/4 volume on a storage device: its superblock, a trustworthy group-descriptor table and
// block reads. Every failure is thrown (ExtErrors.h, std::range_error for a block outside the device).
// A file system larger than its device is read as far as the device goes: the groups whose
// descriptors lie past its end are left out, and blocks past it cannot be read.
class CExt2FileSystem {
public:
    // Opens the volume whose superblock copy lies at sector (512-byte units from the start of the
    // device: 2 for the primary copy of a volume at the device's start). Quiet: what it finds is
    // not said (a copy being tried, which may be no volume's).
    CExt2FileSystem(IStorageDevice* device, uint64_t sector, bool quiet = false);
    // The same with the superblock given in place of the copy at sector (one mended from it).
    CExt2FileSystem(IStorageDevice* device, uint64_t sector, const ExtSuperBlock& given, bool quiet);
    virtual ~CExt2FileSystem();
    CExt2FileSystem(const CExt2FileSystem&) = default;
    CExt2FileSystem& operator=(const CExt2FileSystem&) = delete;

    const ExtSuperBlock& SuperBlock() const { return sb_; }
    const ExtGroupDescriptor& Group(uint64_t group) const { return groups_[static_cast<size_t>(group)]; }
    uint64_t GroupCount() const { return groups_.size(); }
    uint32_t BlockSize() const { return blockSize_; }
    uint64_t BlockCount() const { return sb_.BlockCount(); }
    IStorageDevice* Device() const { return device_; }
    uint32_t DeviceSectorSize() const { return sectorSize_; }
    // 512-byte units, as the caller gave them.
    uint64_t FoundSector() const { return foundSector_; }
    uint64_t PrimarySuperBlockSector() const { return (partitionByte_ + ext::kSuperBlockByte) / 512; }
    // Device sector of block 0.
    uint64_t PartitionStartSector() const { return partitionByte_ / sectorSize_; }
    bool IsValidBlock(uint64_t block) const { return block < BlockCount(); }
    // Blocks of the volume that lie on the device: all of them, or those before the device's end
    // when the file system runs past it (a cut image, a partition smaller than its file system).
    uint64_t ReadableBlocks() const { return readableBlocks_; }
    bool IsReadableBlock(uint64_t block) const { return block < readableBlocks_; }
    // The descriptors came from the primary table and carry checksums: their never-used marks hold.
    bool TrustsUnusedInodes() const { return fromPrimary_ && sb_.HasDescriptorChecksums(); }
    // The group whose descriptor copy is in use (0 for the primary table).
    uint32_t DescriptorCopyGroup() const { return copyGroup_; }

    // Group 0's inode table leads to a root folder whose first block begins with its "." and "..".
    bool RootFolderHolds() const;

    // Reads count blocks from block into buffer (count x block size bytes). A read failure zeroes the
    // buffer and throws CExt2ReadSectorError; blocks beyond the device throw std::range_error.
    void ReadBlocks(void* buffer, uint64_t block, uint32_t count) const;

private:
    void Open(const ExtSuperBlock* given, bool quiet);
    void ReadBytes(uint8_t* buffer, uint64_t byte, size_t length) const;
    bool ReadDescriptors();
    bool ParseTable(const uint8_t* bytes, uint64_t groups, ExtVector<ExtGroupDescriptor>* table) const;
    // Marks each group's inode table and bitmaps as they check out; true when all do.
    bool CheckTable(ExtVector<ExtGroupDescriptor>* table) const;
    // The root folder's inode, in an inode table at inodeTable, leads to a block that begins with
    // the root's "." and "..".
    bool RootFolderAt(uint64_t inodeTable) const;
    // Where the volume's layout puts group's inode table, when the root folder confirms it (group 0);
    // 0 otherwise.
    uint64_t LaidOutTable(uint64_t group, const ExtGroupDescriptor& d) const;

    ExtSuperBlock sb_;
    ExtVector<ExtGroupDescriptor> groups_;
    IStorageDevice* device_ = nullptr;
    uint64_t foundSector_ = 0;
    uint64_t partitionByte_ = 0;
    uint64_t deviceBytes_ = 0;
    uint64_t readableBlocks_ = 0;
    uint32_t sectorSize_ = 512;
    uint32_t blockSize_ = 0;
    bool fromPrimary_ = false;
    uint32_t copyGroup_ = 0;
    // What no copy of the descriptors held whole and how it was read: lost is a loss to say.
    struct Repair {
        bool lost;
        std::string what;
    };
    std::vector<Repair> repairs_;
};
