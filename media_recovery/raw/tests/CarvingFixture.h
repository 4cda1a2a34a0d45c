#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "media_recovery/raw/tests/CarveCollector.h"
#include "outside/device/CImageStorage.h"

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

// GoogleTest shows a parameter beside each test's name, CTest's names included; left to itself it
// would show a variant's bytes, the address of its fill text among them, which differs per build.
inline void PrintTo(const CarveVariant& v, std::ostream* os) {
    *os << v.fill << " fill, " << v.sector << "-byte sectors, " << (v.chunkBytes >> 10) << " KiB chunks";
}

inline std::string CarveVariantName(const ::testing::TestParamInfo<CarveVariant>& info) {
    return std::string(info.param.fill) + "_" + std::to_string(info.param.sector) + "_" +
           std::to_string(info.param.chunkBytes >> 10) + "k";
}

// A fixture image carved whole in one variant.
struct CarvedImage {
    std::string dir;
    std::vector<Embedded> files;  // the manifest
    std::vector<uint8_t> image;
    std::vector<CarvedRecord> carved;
    std::map<uint64_t, CarvedRecord> bySector;  // the carves by start sector

    // Reads the variant's image and manifest from fixtureDir and carves the image; false when the
    // image cannot be opened.
    bool Carve(const std::string& fixtureDir, const CarveVariant& v) {
        dir = fixtureDir;
        files = ReadManifest(v.Base(dir) + ".txt");
        image = ReadFileBytes(v.Base(dir) + ".img");
        CImageStorage device(v.Base(dir) + ".img", v.sector);
        if (device.Open() != 1) return false;
        carved = CarveDevice(device, v.chunkBytes / v.sector);
        for (const CarvedRecord& c : carved) bySector.emplace(c.startSector, c);
        return true;
    }

    // The carved bytes are the device's bytes; where they cover the source they must equal it.
    ::testing::AssertionResult SourceMatches(const Embedded& e, const CarvedRecord& c, uint32_t sector) const {
        std::vector<uint8_t> source = ReadFileBytes(dir + "/src/" + e.name);
        uint64_t at = e.sector * sector;
        if (at + c.size > image.size()) return ::testing::AssertionFailure() << "carved past the image's end";
        uint64_t common = std::min<uint64_t>(c.size, source.size());
        if (!std::equal(source.begin(), source.begin() + common, image.begin() + at))
            return ::testing::AssertionFailure() << "content differs";
        return ::testing::AssertionSuccess();
    }
};
