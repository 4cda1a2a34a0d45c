#pragma once
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "outside/device/CImageStorage.h"
#include "sqlite_recovery/framework/IStorageDevice.h"

namespace fattest {

inline std::string ImagePath(const std::string& name) {
    const char* root = std::getenv("RK_TESTDATA");
    return std::string(root ? root : "testdata") + "/fat_images/" + name;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Sector size from the boot sector's own field (the fixtures keep it intact, or their backup does).
inline uint32_t ImageSectorSize(const std::string& name) {
    return name.find("_4k") != std::string::npos ? 4096 : 512;
}

// A device over bytes in memory; reads of chosen sectors can be made to fail.
class MemoryDevice : public IStorageDevice {
public:
    MemoryDevice(std::vector<uint8_t> bytes, uint32_t sectorSize) : bytes_(std::move(bytes)), sectorSize_(sectorSize) {}
    int Open() override { return 1; }
    int Close() override { return 1; }
    int ReadSectors(void* buffer, uint64_t first, uint64_t count) override {
        ++reads;
        for (uint64_t s : failing)
            if (s >= first && s < first + count) return 0;
        if (first + count > GetSectorCount()) return 0;
        std::memcpy(buffer, bytes_.data() + first * sectorSize_, count * sectorSize_);
        return 1;
    }
    uint32_t GetSectorSize() override { return sectorSize_; }
    uint64_t GetSectorCount() override { return bytes_.size() / sectorSize_; }
    uint64_t GetReserved() override { return 0; }

    std::vector<uint8_t>& Bytes() { return bytes_; }
    std::vector<uint64_t> failing;
    int reads = 0;

private:
    std::vector<uint8_t> bytes_;
    uint32_t sectorSize_;
};

inline std::vector<uint8_t> LoadImage(const std::string& name) {
    std::string s = ReadFile(ImagePath(name));
    return std::vector<uint8_t>(s.begin(), s.end());
}

}  // namespace fattest
