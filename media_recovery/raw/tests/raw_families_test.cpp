// Carves the fixture images of the audio, video, document, archive, help, text, drawing and font
// families (files from sox, lame, id3v2, ffmpeg, abcmidi, LibreOffice, qpdf, zip, gzip, tar, gcab,
// jlha, chmcmd, ezdxf, DejaVu, and hand-made headers) and checks every carved file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "outside/device/CImageStorage.h"
#include "media_recovery/raw/tests/CarveCollector.h"

namespace {

std::string Dir() {
    const char* d = std::getenv("RK_TESTDATA");
    return std::string(d ? d : "testdata") + "/carving_formats";
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Embedded {
    uint64_t sector;
    std::string name;
    uint64_t size;
    std::string ext;
};

std::vector<Embedded> ReadManifest(const std::string& path) {
    std::vector<Embedded> v;
    std::ifstream in(path);
    Embedded e;
    while (in >> e.sector >> e.name >> e.size >> e.ext) v.push_back(e);
    return v;
}

std::string Ext(const std::string& name) { return name.substr(name.rfind('.') + 1); }

struct Variant {
    const char* fill;
    uint32_t sector;
    uint32_t chunkBytes;
};

class CarveFamilies : public ::testing::TestWithParam<Variant> {};

TEST_P(CarveFamilies, EveryEmbeddedFileIsCarvedExactly) {
    const Variant& v = GetParam();
    std::string base = Dir() + "/" + v.fill + "-" + std::to_string(v.sector);
    std::vector<Embedded> files = ReadManifest(base + ".txt");
    ASSERT_GE(files.size(), 52u) << base;
    std::vector<uint8_t> image = ReadFile(base + ".img");
    CImageStorage device(base + ".img", v.sector);
    ASSERT_EQ(device.Open(), 1);
    std::vector<CarvedRecord> carved = CarveDevice(device, v.chunkBytes / v.sector);

    std::map<uint64_t, CarvedRecord> bySector;
    for (const CarvedRecord& c : carved) bySector.emplace(c.startSector, c);
    std::map<std::string, std::string> names;
    for (const Embedded& e : files) {
        SCOPED_TRACE(e.name);
        auto it = bySector.find(e.sector);
        ASSERT_NE(it, bySector.end()) << "not carved";
        const CarvedRecord& c = it->second;
        // A database's page walk ends at the first unused page; random fill has none to stop it.
        bool pages = e.ext == "MDB" || e.ext == "ACCDB";
        if (pages && std::string(v.fill) == "random")
            EXPECT_GE(c.size, e.size);
        else
            EXPECT_EQ(c.size, e.size);
        EXPECT_EQ(Ext(c.name), e.ext) << c.name;
        std::vector<uint8_t> source = ReadFile(Dir() + "/src/" + e.name);
        uint64_t at = e.sector * v.sector;
        ASSERT_LE(at + c.size, image.size());
        uint64_t common = std::min<uint64_t>(c.size, source.size());
        EXPECT_TRUE(std::equal(source.begin(), source.begin() + common, image.begin() + at)) << "content differs";
        names[e.name] = c.name;
        if (e.name == "v23.mp3") {
            EXPECT_EQ(c.extraName, "2019");
        }
        if (e.name == "v23v1.mp3") {
            EXPECT_EQ(c.extraName, "2001");
        }
    }
    // Titles name the MP3 files, cleaned of path separators; the ID3v1 title fills a missing one.
    EXPECT_EQ(names["v23.mp3"].rfind("Morning_Song_Two", 0), 0u) << names["v23.mp3"];
    EXPECT_EQ(names["v23v1.mp3"].rfind("Old Title", 0), 0u) << names["v23v1.mp3"];
    EXPECT_EQ(names["v24.mp3"].rfind("Vier Lieder", 0), 0u) << names["v24.mp3"];

    // In a zero-filled image every carve starts inside an embedded file (archives and documents
    // hold files of their own at sector offsets).
    if (std::string(v.fill) == "zero") {
        for (const CarvedRecord& c : carved) {
            bool inside = false;
            for (const Embedded& e : files) {
                uint64_t len = ReadFile(Dir() + "/src/" + e.name).size();
                if (c.startSector >= e.sector && c.startSector * v.sector < e.sector * v.sector + len) inside = true;
            }
            EXPECT_TRUE(inside) << "unexpected " << c.name << " at " << c.startSector;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Variants, CarveFamilies,
                         ::testing::Values(Variant{"zero", 512, 4 << 20}, Variant{"zero", 4096, 4 << 20},
                                           Variant{"random", 512, 4 << 20}, Variant{"random", 4096, 4 << 20},
                                           Variant{"zero", 512, 64 << 10}, Variant{"random", 4096, 256 << 10}),
                         [](const auto& info) {
                             return std::string(info.param.fill) + "_" + std::to_string(info.param.sector) + "_" +
                                    std::to_string(info.param.chunkBytes >> 10) + "k";
                         });

}  // namespace
