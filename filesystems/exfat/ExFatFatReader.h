#pragma once
#include <cstdint>
#include <map>
#include <memory>

class IStorageDevice;

// The first FAT of one exFAT volume, read in windows of 1 MiB of which at most 9 are held: answers
// which cluster follows a cluster. Never writes.
class ExFatFatReader {
public:
    static constexpr uint32_t kWindowBytes = 0x100000;
    static constexpr uint32_t kEntriesPerWindow = kWindowBytes / 4;
    static constexpr size_t kMostWindows = 9;

    ExFatFatReader() = default;
    ~ExFatFatReader() { Close(); }
    ExFatFatReader(const ExFatFatReader&) = delete;
    ExFatFatReader& operator=(const ExFatFatReader&) = delete;

    // The FAT of fatSectors sectors from device sector fatStart. The reader stays closed when the FAT
    // does not end before the device's last sector, or its first window cannot be read.
    void Open(IStorageDevice* device, uint64_t fatStart, uint32_t fatSectors);
    // The FAT entry of cluster (the next cluster, or the free, bad or end mark as stored), or
    // 0xFFFFFFFF when the reader is closed, the cluster lies beyond the FAT or a read fails.
    uint32_t NextCluster(uint32_t cluster);
    void Close();

    bool IsOpen() const { return !windows_.empty(); }
    size_t WindowCount() const { return windows_.size(); }

private:
    const uint8_t* Window(uint64_t key, uint64_t firstFatSector);

    IStorageDevice* device_ = nullptr;
    uint64_t fatStart_ = 0;
    uint32_t fatSectors_ = 0;
    uint32_t sectorsPerWindow_ = 0;
    uint32_t bytesPerSector_ = 0;
    // Window start sector (absolute) -> its 1 MiB.
    std::map<uint64_t, std::unique_ptr<uint8_t[]>> windows_;
    // The window of the last answer: chain walks stay in one window for long stretches.
    uint64_t lastKey_ = 0;
    const uint8_t* lastWindow_ = nullptr;
};
