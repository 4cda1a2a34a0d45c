#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// The carving fixtures: images the build makes under $RK_TESTDATA/<name> with files embedded at
// sector offsets, each with a manifest, and the ways the tests carve them.

inline std::string CarvingFixtureDir(const char* name) {
    const char* d = std::getenv("RK_TESTDATA");
    return std::string(d ? d : "testdata") + "/" + name;
}

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One manifest line: the file embedded at a device sector, and the size and extension its carve
// must have.
struct Embedded {
    uint64_t sector;
    std::string name;
    uint64_t size;
    std::string ext;
};

inline std::vector<Embedded> ReadManifest(const std::string& path) {
    std::vector<Embedded> v;
    std::ifstream in(path);
    Embedded e;
    while (in >> e.sector >> e.name >> e.size >> e.ext) v.push_back(e);
    return v;
}

// An image (its fill and sector size) and the chunk length it is carved in.
struct CarveVariant {
    const char* fill;
    uint32_t sector;
    uint32_t chunkBytes;

    // The image's path without its ending (".img", ".txt") in a fixture folder.
    std::string Base(const std::string& dir) const { return dir + "/" + fill + "-" + std::to_string(sector); }
};

inline std::string CarveVariantName(const ::testing::TestParamInfo<CarveVariant>& info) {
    return std::string(info.param.fill) + "_" + std::to_string(info.param.sector) + "_" +
           std::to_string(info.param.chunkBytes >> 10) + "k";
}
