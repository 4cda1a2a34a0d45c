#pragma once
#include <cstdint>
#include <string>

#include "sqlite_recovery/framework/IStorageDevice.h"
#include "platform/PlatformFile.h"

// One storage volume: an image file, a block device, or a partition of either. Read only.
class CImageStorage : public IStorageDevice {
public:
    // length 0 means "to the end of the file".
    CImageStorage(std::string path, uint32_t sectorSize, uint64_t offset = 0, uint64_t length = 0);

    int Open() override;
    int Close() override;
    int ReadSectors(void* buffer, uint64_t first, uint64_t count) override;
    uint32_t GetSectorSize() override { return sectorSize_; }
    uint64_t GetSectorCount() override;
    uint64_t GetReserved() override { return 0; }

    const std::string& Path() const { return path_; }
    uint64_t Offset() const { return offset_; }

private:
    std::string path_;
    uint32_t sectorSize_;
    uint64_t offset_;
    uint64_t length_;
    platform::PlatformFile file_;
    bool opened_ = false;
};
