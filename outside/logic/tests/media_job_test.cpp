#include <gtest/gtest.h>

#include <cstdio>

#include "outside/device/CDeviceFolder.h"
#include "media_recovery/tests/ManifestSearcher.h"
#include "outside/logic/MediaJob.h"
#include "media_recovery/SearcherFactories.h"
#include "media_recovery/tests/TestSinks.h"

namespace {

TEST(MediaJob, NamesFromTheDeviceStayInsideTheFolder) {
    EXPECT_EQ(CleanFileName("photo.jpg"), "photo.jpg");
    EXPECT_EQ(CleanFileName("../../etc/passwd"), "_.._etc_passwd");
    EXPECT_EQ(CleanFileName(".."), "unnamed");
    EXPECT_EQ(CleanFileName("."), "unnamed");
    EXPECT_EQ(CleanFileName(""), "unnamed");
    EXPECT_EQ(CleanFileName("..hidden.jpg"), "hidden.jpg");
    EXPECT_EQ(CleanFileName("a\\b:c\x01\x7f/d"), "a_b_c___d");
    EXPECT_EQ(CleanFileName(std::string(300, 'x')).size(), 200u);
}

TEST(MediaJob, WritesEveryAcceptedFileWithItsFolders) {
    GetSearcherFactories().fatQuick = MakePhoneSearcher;
    CDeviceFolder phone;
    ASSERT_TRUE(phone.Load(FixturePath("phone")));
    TempFolder out;
    std::string reportPath = out / "report.txt";
    FILE* report = std::fopen(reportPath.c_str(), "w");
    ASSERT_NE(report, nullptr);
    MediaLibraryCalls calls{CreateObject, GetDredgelObj};
    EXPECT_EQ(RunMediaJobWith(calls, phone, out.Path(), report), 0);
    std::fclose(report);
    ResetSearcherFactories();
    std::string text = ReadWhole(reportPath);
    // The root folders' files come again from the whole-device pass.
    EXPECT_NE(text.find("media: 17 files found (pictures 8, videos 4, audio 4, documents 1; 1 deleted)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("media: 17 written"), std::string::npos) << text;
    std::string files = out / "files";
    EXPECT_EQ(ReadWhole(files + "/a.jpg"), ReadWhole(FixturePath("src/a.jpg")));
    EXPECT_EQ(ReadWhole(files + "/big.mp4"), ReadWhole(FixturePath("src/big.mp4")));
    EXPECT_EQ(ReadWhole(files + "/big_2.mp4"), ReadWhole(FixturePath("src/big.mp4")));  // the second volume's
    EXPECT_EQ(ReadWhole(files + "/DCIM/Camera/IMG_0001.JPG"), ReadWhole(FixturePath("src/IMG_0001.JPG")));
    EXPECT_EQ(ReadWhole(files + "/Documents/notes.pdf"), ReadWhole(FixturePath("src/notes.pdf")));
    EXPECT_EQ(ReadWhole(files + "/Documents/_one.jpg"), ReadWhole(FixturePath("src/gone.jpg")));
    EXPECT_EQ(ReadWhole(files + "/Documents/empty.jpg"), "");
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
