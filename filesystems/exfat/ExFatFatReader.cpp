#include "filesystems/exfat/ExFatFatReader.h"

#include <algorithm>
#include <new>

#include "filesystems/exfat/ExFatLayout.h"
#include "sqlite_recovery/framework/IStorageDevice.h"

void ExFatFatReader::Open(IStorageDevice* device, uint64_t fatStart, uint32_t fatSectors) {
    Close();
    if (!device || fatSectors == 0 || static_cast<int64_t>(fatStart) < 0) return;
    const uint64_t deviceSectors = device->GetSectorCount();
    if (fatStart >= deviceSectors || fatSectors >= deviceSectors - fatStart) return;
    const uint32_t bytesPerSector = device->GetSectorSize();
    if (bytesPerSector == 0 || bytesPerSector > kWindowBytes) return;
    device_ = device;
    fatStart_ = fatStart;
    fatSectors_ = fatSectors;
    bytesPerSector_ = bytesPerSector;
    sectorsPerWindow_ = kWindowBytes / bytesPerSector;
    if (!Window(fatStart, 0)) Close();
}

void ExFatFatReader::Close() {
    windows_.clear();
    lastWindow_ = nullptr;
    lastKey_ = 0;
    device_ = nullptr;
    fatStart_ = 0;
    fatSectors_ = 0;
    sectorsPerWindow_ = 0;
    bytesPerSector_ = 0;
}

const uint8_t* ExFatFatReader::Window(uint64_t key, uint64_t firstFatSector) {
    auto found = windows_.find(key);
    if (found != windows_.end()) return found->second.get();
    std::unique_ptr<uint8_t[]> buffer;
    if (windows_.size() >= kMostWindows) {
        // The window nearest the FAT's start makes room.
        auto lowest = windows_.begin();
        buffer = std::move(lowest->second);
        if (lastWindow_ == buffer.get()) lastWindow_ = nullptr;
        windows_.erase(lowest);
    } else {
        buffer.reset(new (std::nothrow) uint8_t[kWindowBytes]);
        if (!buffer) return nullptr;
    }
    // The last window of the FAT holds only the FAT's remaining sectors.
    const uint64_t count = std::min<uint64_t>(sectorsPerWindow_, fatSectors_ - firstFatSector);
    if (!device_->ReadSectors(buffer.get(), key, count)) return nullptr;
    const uint8_t* window = buffer.get();
    windows_.emplace(key, std::move(buffer));
    return window;
}

uint32_t ExFatFatReader::NextCluster(uint32_t cluster) {
    if (!IsOpen()) return exfat::kNoCluster;
    const uint64_t offset = static_cast<uint64_t>(cluster) * 4;
    if (offset >= static_cast<uint64_t>(fatSectors_) * bytesPerSector_) return exfat::kNoCluster;
    const uint64_t sector = offset / bytesPerSector_;
    const uint64_t windowSector = sector - sector % sectorsPerWindow_;
    const uint64_t key = fatStart_ + windowSector;
    if (!lastWindow_ || lastKey_ != key) {
        lastWindow_ = Window(key, windowSector);
        if (!lastWindow_) return exfat::kNoCluster;
        lastKey_ = key;
    }
    return LoadLE32(lastWindow_ + static_cast<size_t>(cluster % kEntriesPerWindow) * 4);
}
