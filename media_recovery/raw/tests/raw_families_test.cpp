// Carves the fixture images of the audio, video, document, archive, help, text, drawing and font
// families (files from sox, lame, id3v2, ffmpeg, abcmidi, LibreOffice, qpdf, zip, gzip, tar, gcab,
// jlha, chmcmd, ezdxf, DejaVu, and hand-made headers) and checks every carved file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "outside/device/CImageStorage.h"
#include "media_recovery/raw/formats/FileJPGAnalyser.h"
#include "media_recovery/raw/formats/FileMP4Analyser.h"
#include "media_recovery/raw/formats/FilePDFAnalyser.h"
#include "media_recovery/raw/formats/FileRIFFAnalyser.h"
#include "media_recovery/raw/formats/FileZIPAnalyser.h"
#include "media_recovery/raw/tests/CarveCollector.h"
#include "media_recovery/raw/tests/CarvingFixture.h"
#include "media_recovery/raw/RawCarveScanner.h"
#include "testing/MemoryDevice.h"

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
        if (pages && std::string(v.fill) == "random") {
            EXPECT_GE(c.size, e.size);
        } else {
            EXPECT_EQ(c.size, e.size);
            EXPECT_EQ(c.partReason, "");  // whole, and not said otherwise
        }
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

// Files whose structure says where their data goes, whole, with their second half overwritten by
// other bytes, and cut by the device's end: whole ones are carved whole and said to be so; the
// others are cut no later than their end and said to be carved in part.
TEST(CarvedInPart, FilesWhoseStructureBreaksAreCutAndSaid) {
    FileJPGAnalyser jpg;
    FileMP4Analyser mp4;
    FileRIFFAnalyser riff;
    FilePDFAnalyser pdf;
    FileZIPAnalyser zip;
    const struct {
        std::string path;
        IRawFileAnalyser* analyser;
        bool overwritten;  // whether other bytes in its second half break what its structure says
        bool within;       // whether it is then cut inside its own length
    } cases[] = {
        {CarvingFixtureDir("carving_images") + "/src/baseline.jpg", &jpg, true, true},
        {Dir() + "/src/default.mp4", &mp4, true, true},
        {Dir() + "/src/movie.avi", &riff, true, true},
        {Dir() + "/src/tone.wav", &riff, false, false},  // samples have no structure to break
        {Dir() + "/src/office-letter.pdf", &pdf, true, false},  // with its end gone, the device's end cuts it
        {Dir() + "/src/plain.zip", &zip, true, true},
    };
    uint32_t seed = 12345;
    auto noise = [&](size_t n) {
        std::vector<uint8_t> out(n);
        for (uint8_t& b : out) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 23);
        return out;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const std::vector<uint8_t> file = ReadFileBytes(c.path);
        ASSERT_GT(file.size(), 4096u);
        const size_t half = file.size() / 2 / 512 * 512;
        enum { Whole, Overwritten, Cut };
        for (int how : {Whole, Overwritten, Cut}) {
            if (how == Overwritten && !c.overwritten) continue;
            std::vector<uint8_t> bytes(file.begin(), how == Whole ? file.end() : file.begin() + half);
            if (how != Cut) {
                std::vector<uint8_t> tail = noise(file.size() - bytes.size() + 65536);
                bytes.insert(bytes.end(), tail.begin(), tail.end());
            }
            bytes.resize((bytes.size() + 511) / 512 * 512);
            MemoryDevice device(bytes, 512);
            RawHit hit;
            ASSERT_TRUE(c.analyser->IsHeader(bytes.data(), hit));
            ASSERT_EQ(hit.size, 0u);
            ASSERT_TRUE(c.analyser->ComputeSize(hit, &device)) << how;
            RawCarveScanner::ClipToDevice(hit, device.GetSectorCount(), 512);
            if (how == Whole) {
                EXPECT_EQ(hit.size, file.size());
                EXPECT_EQ(hit.partReason, "");
            } else {
                EXPECT_LE(hit.size, how == Cut ? half : c.within ? file.size() : bytes.size()) << how;
                EXPECT_NE(hit.partReason, "") << how;
            }
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
