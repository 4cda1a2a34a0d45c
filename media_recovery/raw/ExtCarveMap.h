#pragma once
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "sqlite_recovery/framework/IStorageDevice.h"

// Where an Ext2/3/4 volume the carving pass went over lies, and its blocks.
struct ExtCarveVolume {
    uint64_t startSector = 0;  // device sector of the volume's first byte
    uint64_t blocks = 0;
    uint32_t blockSize = 0;
};

// The Ext volumes a pass has seen, by their superblocks (the first, or a backup that tells its
// group): a carved file inside one is read as the volume placed it.
class ExtCarveVolumes {
public:
    // Where a superblock's magic lies in it; a sector of 1024 bytes or more may hold one at this
    // offset from each 1024 bytes.
    static constexpr uint32_t kMagicOffset = 56;
    void Clear() { volumes_.clear(); }
    // Takes the volume of the superblock whose magic lies offset bytes into the device's sector,
    // when it checks out; magic points at it, with the superblock's first 512 bytes readable.
    void Note(const uint8_t* magic, uint64_t sector, uint32_t offset, uint32_t sectorSize);
    // The volume that holds the sector, or null.
    const ExtCarveVolume* Containing(uint64_t sector, uint32_t sectorSize) const;
    size_t Count() const { return volumes_.size(); }

private:
    std::vector<ExtCarveVolume> volumes_;
};

// A carved file's bytes as an Ext2/3 volume placed them: its first twelve blocks from its start,
// then each block where the indirect blocks that follow them say, skipping those. A file whose
// thirteenth block holds no indirect block that points at the block after it (an Ext4 file, a
// file of twelve blocks or fewer, no Ext file at all) is read straight on. Sectors are numbered
// as the file's: sector start + k is the file's k-th sector.
class ExtCarvedFileView : public IStorageDevice {
public:
    // retry (may be null) tells, after a read of the inner device failed, whether it only asked
    // too early (then the read fails) rather than for a sector that cannot be read (then the map
    // ends there).
    ExtCarvedFileView(IStorageDevice* inner, const ExtCarveVolume& volume, uint64_t startSector,
                      const bool* retry = nullptr);

    int Open() override { return 1; }
    int Close() override { return 1; }
    int ReadSectors(void* buffer, uint64_t first, uint64_t count) override;
    uint32_t GetSectorSize() override { return sectorSize_; }
    uint64_t GetSectorCount() override { return inner_->GetSectorCount(); }
    uint64_t GetReserved() override { return 0; }

    // Whether the file's indirect blocks were found (and are skipped); false when it is read
    // straight on. Valid once a read succeeded or after Map().
    bool Mapped() const { return mapped_; }
    // Builds the map; false when a read came too early.
    bool Map();
    // The device sectors that hold the file's first size bytes, {first, count} in order.
    std::vector<std::pair<uint64_t, uint64_t>> Runs(uint64_t size) const;

private:
    struct Piece {
        uint64_t logical, physical, count;  // blocks
    };
    // The device sector of the file's sector at index (from its start).
    uint64_t DeviceSector(uint64_t index, uint64_t* runLeft) const;
    // Reads a pointer block: the block numbers it holds before its first zero, all inside the
    // volume, zeros after them. 0 = not one, 1 = one, -1 = read too early.
    int ReadPointers(uint64_t block, std::vector<uint32_t>& out);
    // Maps the data under a pointer block of the given depth (1 = indirect); false to stop.
    bool Walk(uint64_t block, int depth, int& status);
    void AddData(uint64_t physical);

    IStorageDevice* inner_;
    ExtCarveVolume volume_;
    uint64_t start_;
    const bool* retry_;
    uint32_t sectorSize_ = 512;
    uint64_t sectorsPerBlock_ = 0;  // 0 when the file cannot be mapped (blocks smaller than sectors)
    bool built_ = false, mapped_ = false;
    uint64_t lastData_ = 0;  // the last data block mapped
    uint64_t logical_ = 0;   // blocks mapped
    std::vector<Piece> pieces_;
    std::vector<uint8_t> block_;
};
