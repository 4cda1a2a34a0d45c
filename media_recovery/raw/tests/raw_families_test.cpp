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
#include "media_recovery/raw/tests/CarvingFixture.h"

namespace {

std::string Dir() { return CarvingFixtureDir("carving_formats"); }

std::string Ext(const std::string& name) { return name.substr(name.rfind('.') + 1); }

class CarveFamilies : public ::testing::TestWithParam<CarveVariant> {};

TEST_P(CarveFamilies, EveryEmbeddedFileIsCarvedExactly) {
    const CarveVariant& v = GetParam();
    CarvedImage run;
    ASSERT_TRUE(run.Carve(Dir(), v));
    ASSERT_GE(run.files.size(), 52u) << v.Base(Dir());
    std::map<std::string, std::string> names;
    for (const Embedded& e : run.files) {
        SCOPED_TRACE(e.name);
        auto it = run.bySector.find(e.sector);
        ASSERT_NE(it, run.bySector.end()) << "not carved";
        const CarvedRecord& c = it->second;
        // A database's page walk ends at the first unused page; random fill has none to stop it.
        bool pages = e.ext == "MDB" || e.ext == "ACCDB";
        if (pages && std::string(v.fill) == "random")
            EXPECT_GE(c.size, e.size);
        else
            EXPECT_EQ(c.size, e.size);
        EXPECT_EQ(Ext(c.name), e.ext) << c.name;
        EXPECT_TRUE(run.SourceMatches(e, c, v.sector));
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
        for (const CarvedRecord& c : run.carved) {
            bool inside = false;
            for (const Embedded& e : run.files) {
                uint64_t len = ReadFileBytes(Dir() + "/src/" + e.name).size();
                if (c.startSector >= e.sector && c.startSector * v.sector < e.sector * v.sector + len) inside = true;
            }
            EXPECT_TRUE(inside) << "unexpected " << c.name << " at " << c.startSector;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Variants, CarveFamilies,
                         ::testing::Values(CarveVariant{"zero", 512, 4 << 20}, CarveVariant{"zero", 4096, 4 << 20},
                                           CarveVariant{"random", 512, 4 << 20}, CarveVariant{"random", 4096, 4 << 20},
                                           CarveVariant{"zero", 512, 64 << 10},
                                           CarveVariant{"random", 4096, 256 << 10}),
                         CarveVariantName);

}  // namespace
