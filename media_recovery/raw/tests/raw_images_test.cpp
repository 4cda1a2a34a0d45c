// Carves the fixture images (files from ImageMagick, exiftool and LibreOffice, a few hand-made
// headers) and checks every carved file against its source.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "outside/device/CImageStorage.h"
#include "media_recovery/raw/tests/CarveCollector.h"
#include "media_recovery/raw/tests/CarvingFixture.h"

namespace {

std::string Dir() { return CarvingFixtureDir("carving_images"); }

class CarveImages : public ::testing::TestWithParam<CarveVariant> {};

TEST_P(CarveImages, EveryEmbeddedFileIsCarvedExactly) {
    const CarveVariant& v = GetParam();
    CarvedImage run;
    ASSERT_TRUE(run.Carve(Dir(), v));
    ASSERT_GE(run.files.size(), 21u) << v.Base(Dir());
    std::map<uint64_t, CarvedRecord>& bySector = run.bySector;
    for (const Embedded& e : run.files) {
        SCOPED_TRACE(e.name);
        auto it = bySector.find(e.sector);
        ASSERT_NE(it, bySector.end()) << "not carved";
        const CarvedRecord& c = it->second;
        EXPECT_EQ(c.size, e.size);
        EXPECT_EQ(c.partReason, "");  // whole, and not said otherwise
        std::string name = c.name;
        EXPECT_EQ(name.substr(name.size() - e.ext.size()), e.ext);
        EXPECT_TRUE(run.SourceMatches(e, c, v.sector));
        if (e.name == "camera.jpg") {
            EXPECT_EQ(name.rfind("Canon PowerShot S95", 0), 0u) << name;
            EXPECT_EQ(c.extraName, "2024:05:01 10:20:30");
        }
        if (e.name == "camera2.jpg") {
            EXPECT_EQ(name.rfind("NIKON CORPORATION", 0), 0u) << name;
            EXPECT_EQ(c.extraName, "");
        }
        bySector.erase(it);
    }
    // Nothing else in a zero-filled image; random fill may hold chance signatures only.
    if (std::string(v.fill) == "zero") {
        for (auto& [sector, c] : bySector) ADD_FAILURE() << "unexpected " << c.name << " at " << sector;
    }
}

INSTANTIATE_TEST_SUITE_P(Variants, CarveImages,
                         ::testing::Values(CarveVariant{"zero", 512, 4 << 20}, CarveVariant{"zero", 4096, 4 << 20},
                                           CarveVariant{"random", 512, 4 << 20}, CarveVariant{"random", 4096, 4 << 20},
                                           CarveVariant{"zero", 512, 64 << 10},
                                           CarveVariant{"random", 4096, 256 << 10}, CarveVariant{"random", 512, 32 << 10}),
                         CarveVariantName);

TEST(CarveImagesNames, NumberedPerTypeInCarvingOrder) {
    std::string base = Dir() + "/zero-512";
    CImageStorage device(base + ".img", 512);
    ASSERT_EQ(device.Open(), 1);
    std::vector<CarvedRecord> carved = CarveDevice(device, 8192);
    std::map<std::string, int> perExt;
    for (const CarvedRecord& c : carved) {
        std::string ext = c.name.substr(c.name.rfind('.') + 1);
        char num[8];
        std::snprintf(num, sizeof(num), "%03d.", perExt[ext]++);
        EXPECT_NE(c.name.find(num), std::string::npos) << c.name;
    }
    EXPECT_EQ(perExt["BMP"], 2);  // the 40- and the 124-byte headers
    EXPECT_EQ(perExt["JPG"], 5);
    EXPECT_EQ(perExt["TIF"], 2);
}

}  // namespace
