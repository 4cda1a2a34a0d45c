#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "sqlite_recovery/framework/IStorageDevice.h"

// One copy of a file allocation table, read whole from the device and kept in memory.
class IRealFATTable {
public:
    virtual ~IRealFATTable();
    virtual uint32_t NextCluster(uint32_t cluster) = 0;
    virtual bool IsValid() = 0;

    uint32_t EntryCount() const { return entryCount_; }
    // Sectors of the copy that could not be read (bad, or past the device's end): read as free
    // entries, so chains through them end there.
    size_t MissedSectors() const { return missed_.size(); }
    // Takes the missed sectors that the other copy of the table could read from it; returns those
    // still missed.
    size_t FillFrom(const IRealFATTable& other);
    bool ChainsChecked() const { return chainTest_; }
    // Off: IsValid accepts loops and cross-links (entries must still be in range).
    void SetChainTest(bool on) { chainTest_ = on; }
    bool HasBuffer() const { return buffer_ != nullptr; }
    // Whether the other copy holds the same bytes.
    bool SameEntries(const IRealFATTable& other) const;
    // Whether entry c lies in a sector that could not be read (it reads as free, but is not known).
    bool EntryMissed(uint32_t c) const;
    // By cluster, whether a link of the copy names it (filled by IsValid).
    const std::vector<bool>& Named() const { return named_; }

protected:
    // Reads the copy when sectors lies in [minSectors, maxSectors], as far as it can: a copy whose
    // first sector cannot be read leaves no buffer.
    IRealFATTable(IStorageDevice* device, uint64_t startSector, uint32_t sectors, uint32_t minSectors,
                  uint32_t maxSectors, uint32_t entryBits);
    size_t BufferBytes() const { return static_cast<size_t>(sectors_) * sectorSize_; }
    // A size bound given in 512-byte sectors, in the device's own sectors.
    static uint32_t ScaledBound(uint32_t bound, IStorageDevice* device);

    IStorageDevice* device_;
    uint64_t startSector_;
    uint32_t sectors_;
    uint32_t entryCount_ = 0;
    std::unique_ptr<uint8_t[]> buffer_;
    uint32_t sectorSize_;
    bool chainTest_ = true;
    std::vector<uint32_t> missed_;  // in the copy's own sectors, ascending
    uint32_t entryBits_;
    std::vector<bool> named_;
};

// How much of a copy's contents must hold: everything, or all but sound chains (a damaged copy
// whose loops and cross-links the walkers bound is still better than none), or nothing yet (a copy
// read only to be compared with another, tested when it differs).
enum class FatTableCheck { Full, KeepBrokenChains, Later };

// A valid copy of the given variant at startSector, or null (bad size, no memory, failed read, or
// contents that fail the validity test).
IRealFATTable* CreateFATTable(uint32_t variant, uint32_t sectorsPerFat, uint64_t startSector, IStorageDevice* device,
                              FatTableCheck check = FatTableCheck::Full);
