#pragma once
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "outside/device/CImageStorage.h"
#include "testing/MemoryDevice.h"

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

inline std::vector<uint8_t> LoadImage(const std::string& name) {
    std::string s = ReadFile(ImagePath(name));
    return std::vector<uint8_t>(s.begin(), s.end());
}

}  // namespace fattest
