#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "outside/device/CDeviceFolder.h"
#include "media_recovery/tests/ManifestSearcher.h"
#include "outside/logic/MediaJob.h"
#include "media_recovery/SearcherFactories.h"
#include "media_recovery/tests/TestSinks.h"
#include "platform/FileSystem.h"

namespace {

std::string g_manifest;  // what the next hand-written searcher reports

IQuickFileSystemSearchController* MakeHandWrittenSearcher() { return new CManifestQuickSearcher(g_manifest); }

// Runs the media job in-process over phone with the quick searcher given; the report's text.
std::string RunJob(const std::string& phone, const std::string& out, IQuickFileSystemSearchController* (*searcher)(),
                   int* code) {
    GetSearcherFactories().fatQuick = searcher;
    CDeviceFolder device;
    EXPECT_TRUE(device.Load(phone));
    std::string reportPath = out + ".report";
    FILE* report = std::fopen(reportPath.c_str(), "w");
    MediaLibraryCalls calls{CreateObject, GetDredgelObj};
    *code = RunMediaJobWith(calls, device, out, report);
    std::fclose(report);
    ResetSearcherFactories();
    std::string text = ReadWhole(reportPath);
    std::remove(reportPath.c_str());  // it lies beside the test's folder, not in it
    return text;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Whether a written file holds exactly the source's bytes (without printing either).
bool SameBytes(const std::string& written, const std::string& source) {
    return platform::EntryExists(written) && ReadWhole(written) == ReadWhole(FixturePath(source));
}

TEST(MediaJob, WritesEveryFileOnceWithItsFolders) {
    TempFolder out;
    int code = -1;
    std::string text = RunJob(FixturePath("phone"), out.Path(), MakePhoneSearcher, &code);
    EXPECT_EQ(code, 0);
    // The carved hits at the listed files' first sectors are those files: not written again. The
    // whole-device search lists the folders too: its find of the empty file is the quick search's
    // (written once), and its deleted entry, named '#one.jpg' where the stand-in says fls's
    // '_one.jpg', begins where that one does (overwritten, not written).
    EXPECT_TRUE(Has(text, "media: 11 files found (pictures 6, videos 2, audio 2, documents 1; 1 deleted)")) << text;
    std::string files = out / "files";
    EXPECT_TRUE(SameBytes(files + "/a.jpg", "src/a.jpg")) << files + "/a.jpg";
    EXPECT_TRUE(SameBytes(files + "/big.mp4", "src/big.mp4")) << files + "/big.mp4";
    EXPECT_TRUE(SameBytes(files + "/big_2.mp4", "src/big.mp4")) << files + "/big_2.mp4";  // the second volume's
    EXPECT_TRUE(SameBytes(files + "/DCIM/Camera/IMG_0001.JPG", "src/IMG_0001.JPG")) << files + "/DCIM/Camera/IMG_0001.JPG";
    EXPECT_TRUE(SameBytes(files + "/Documents/notes.pdf", "src/notes.pdf")) << files + "/Documents/notes.pdf";
    EXPECT_TRUE(SameBytes(files + "/Documents/_one.jpg", "src/gone.jpg")) << files + "/Documents/_one.jpg";
    EXPECT_EQ(ReadWhole(files + "/Documents/empty.jpg"), "");
    EXPECT_FALSE(platform::EntryExists(files + "/FILE000.JPG"));
}

// Names a hostile file system could hold (a ':' no FAT tool writes, an override character, a
// name of 300 bytes, folders nested past what a path may hold), over the fixture volume's bytes.
TEST(MediaJob, NamesThatClashDeceiveOrOverflowLoseNothingSilently) {
    TempFolder phone, out;
    ASSERT_TRUE(platform::CreateDirectories(phone / "storage"));
    ASSERT_TRUE(platform::CopyFile(FixturePath("fat16.img"), phone / "storage/sdcard.img"));
    std::string deep;
    for (int i = 0; i < 24; ++i) deep += (deep.empty() ? "" : "/") + std::string(200, static_cast<char>('a' + i));
    g_manifest = out / "hand.manifest";
    std::ofstream(g_manifest) << "geometry 512 2 162\n"
                              << "file 0 10000 0:10 A:B.JPG\n"
                              << "dir 0 A_B.JPG\n"
                              << "file 0 5000 200:5 A_B.JPG/IMG_0002.JPG\n"
                              << "file 0 3000 205:3 report\xE2\x80\xAEtxt.pdf\n"
                              << "file 0 3000 205:3 again.pdf\n"
                              << "file 0 4000 208:4 " << std::string(300, 'x') << ".pdf\n";
    std::ofstream manifest(g_manifest, std::ios::app);
    std::string path;
    for (int i = 0; i < 24; ++i) {
        path += (path.empty() ? "" : "/") + std::string(200, static_cast<char>('a' + i));
        manifest << "dir 0 " << path << "\n";
    }
    manifest << "file 0 6000 212:6 " << path << "/deep.jpg\n";
    manifest.close();

    ASSERT_TRUE(platform::CreateDirectory(out / "run"));
    testing::internal::CaptureStderr();
    int code = -1;
    std::string text = RunJob(phone.Path(), out / "run", MakeHandWrittenSearcher, &code);
    std::string errors = testing::internal::GetCapturedStderr();
    std::string files = out / "run/files";
    EXPECT_TRUE(SameBytes(files + "/A_B.JPG", "src/a.jpg")) << files + "/A_B.JPG";
    EXPECT_TRUE(SameBytes(files + "/A_B_2.JPG/IMG_0002.JPG", "src/IMG_0002.JPG")) << files + "/A_B_2.JPG/IMG_0002.JPG";
    EXPECT_TRUE(SameBytes(files + "/report_txt.pdf", "src/notes.pdf"));
    EXPECT_TRUE(SameBytes(files + "/" + std::string(196, 'x') + ".pdf", "src/skip.zip"));
    // Two live entries whose data begins at one sector (cross-linked) are two files: both written.
    EXPECT_TRUE(SameBytes(files + "/again.pdf", "src/notes.pdf"));
    // The file below folders too deep for a path is named, with the system's reason, and counted.
    EXPECT_TRUE(Has(errors, "/deep.jpg was not written: cannot make the folder ")) << errors;
    EXPECT_TRUE(Has(errors, "File name too long")) << errors;
    EXPECT_TRUE(Has(text, ", 1 failed")) << text;
    EXPECT_EQ(code, 1);
}

TEST(MediaJob, NamesFromTheDeviceStayOneComponent) {
    EXPECT_EQ(OutputFileName("../../etc/passwd"), "_.._etc_passwd");
    EXPECT_EQ(OutputFileName(".."), "unnamed");
    EXPECT_EQ(OutputFileName(""), "unnamed");
}

TEST(MediaJob, MissingExports) {
    CDeviceFolder phone;
    ASSERT_TRUE(phone.Load(FixturePath("phone")));
    TempFolder out;
    FILE* sink = std::fopen("/dev/null", "w");
    EXPECT_EQ(RunMediaJobWith(MediaLibraryCalls{}, phone, out.Path(), sink), 1);
    std::fclose(sink);
}

}  // namespace
