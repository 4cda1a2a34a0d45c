#include <gtest/gtest.h>

#include <stdlib.h>

#include <map>
#include <set>

#include "outside/device/CDeviceFolder.h"
#include "media_recovery/CDredgel.h"
#include "outside/device/CImageStorage.h"
#include "media_recovery/DredgelExports.h"
#include "media_recovery/file_model/IFileNode.h"
#include "sqlite_recovery/framework/Lockers.h"
#include "media_recovery/tests/ManifestSearcher.h"
#include "media_recovery/SearcherFactories.h"
#include "media_recovery/tests/TestSinks.h"

namespace {

// The library's log goes to a file of this test (set before the logger is first loaded).
const std::string kLogPath = "/tmp/rk_dredgel_test_" + std::to_string(getpid()) + ".log";
struct LogToFile {
    LogToFile() { setenv("RELIKORDA_LOG", kLogPath.c_str(), 1); }
    ~LogToFile() { unlink(kLogPath.c_str()); }
} g_logToFile;

class DredgelTest : public ::testing::Test {
protected:
    void SetUp() override {
        GetSearcherFactories().fatQuick = MakePhoneSearcher;
        ASSERT_TRUE(phone_.Load(FixturePath("phone")));
        analyser_ = CreateObject();
        media_ = dynamic_cast<DredgelAnalyzer*>(analyser_);
        ASSERT_NE(media_, nullptr);
    }
    void TearDown() override {
        if (analyser_) analyser_->Release();
        ResetSearcherFactories();
    }
    CDeviceFolder phone_;
    ICommon* analyser_ = nullptr;
    DredgelAnalyzer* media_ = nullptr;
    CRecordingSink sink_;
};

TEST_F(DredgelTest, VolumesThatDoNotOpenAreKeptOutAndLogged) {
    EXPECT_EQ(media_->Initialize(nullptr, &sink_), nullptr);
    EXPECT_EQ(media_->Initialize(&phone_, nullptr), nullptr);
    ASSERT_NE(media_->Initialize(&phone_, &sink_), nullptr);
    EXPECT_EQ(dynamic_cast<CDredgel*>(media_)->VolumeCount(), 3u);
    std::string log = ReadWhole(kLogPath);
    EXPECT_NE(log.find("[Dredgel] Open storage error i = 1"), std::string::npos);
    EXPECT_NE(log.find("[Dredgel] Virtual devices = 3"), std::string::npos);
}

TEST_F(DredgelTest, BothControllersPerVolumeFoundFilesWrittenOut) {
    IDataContainer<_ARCHIVE_INFOMATION>* container = media_->Initialize(&phone_, &sink_);
    ASSERT_NE(container, nullptr);
    ASSERT_TRUE(Succeeded(media_->StartRecovery(nullptr)));
    std::string log = ReadWhole(kLogPath);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(log.find("Recover delete file i = :" + std::to_string(i)), std::string::npos) << i;
        EXPECT_NE(log.find("Recover all file i = :" + std::to_string(i)), std::string::npos) << i;
    }
    // Folded progress: one running percentage that never goes back and never passes 100.
    ASSERT_FALSE(sink_.records.empty());
    uint64_t previous = 0;
    for (const PROGRESS_INFO& r : sink_.records) {
        EXPECT_EQ(r.state, 2u);
        EXPECT_EQ(uint64_t{r.total}, 100u);
        EXPECT_GE(uint64_t{r.done}, previous);
        EXPECT_LE(uint64_t{r.done}, 100u);
        previous = r.done;
    }
    EXPECT_GT(previous, 0u);

    // Every accepted file, from both FAT volumes; the zip is filtered out. The quick pass lists them
    // all (type 16), the whole-device pass all of them again (type 17), its deleted short name with
    // the reader's '#' where the quick pass's stand-in gives fls's '_'. The live folders and the zip
    // come as unlisted records, for the clusters they hold.
    std::map<std::string, int> names;
    std::map<unsigned, int> types;
    std::set<unsigned> ids;
    std::set<std::string> unlisted;
    TempFolder out;
    autolocker<IDataContainer<_ARCHIVE_INFOMATION>*> guard(container);
    for (auto it = container->Begin(); it != container->End(); ++it) {
        const _ARCHIVE_INFOMATION& item = it->second;
        if (item.reserved == ARCHIVE_RECORD_UNLISTED) {
            unlisted.insert(item.node->GetName());
            continue;
        }
        ++types[item.type];
        ids.insert(item.id);
        std::string name = item.node->GetName();
        names[name]++;
        IArchiveDataRecovery* recovery = GetDredgelObj(media_, &item);
        ASSERT_NE(recovery, nullptr) << name;
        IArchiveFileReader* reader = recovery->OpenFile(item.node);
        if (reader) reader->Release();
        std::string dest = out / (std::to_string(item.id) + "_" + name);
        ASSERT_TRUE(Succeeded(recovery->RecoverTo(dest.c_str(), &sink_, 1))) << name;
        std::string source = name == "_one.jpg" || name == "#one.jpg" ? "gone.jpg" : name;
        EXPECT_EQ(ReadWhole(dest), ReadWhole(FixturePath("src/" + source))) << name;
        recovery->Release();
        // Folders come along as the parents the file system gave.
        if (name == "IMG_0001.JPG") {
            ASSERT_NE(item.node->GetParent(), nullptr);
            EXPECT_STREQ(item.node->GetParent()->GetName(), "Camera");
        }
    }
    EXPECT_EQ(names.size(), 10u);
    EXPECT_EQ(names["big.mp4"], 4);
    EXPECT_EQ(names.count("skip.zip"), 0u);
    EXPECT_EQ(unlisted.count("skip.zip"), 1u);
    EXPECT_EQ(unlisted.count("Camera"), 1u);
    EXPECT_EQ(types, (std::map<unsigned, int>{{16, 11}, {17, 11}}));
    EXPECT_EQ(ids.size(), 22u);

    _ARCHIVE_INFOMATION odd = container->Begin()->second;
    odd.type = 21;
    EXPECT_EQ(GetDredgelObj(media_, &odd), nullptr);
    EXPECT_EQ(GetDredgelObj(media_, nullptr), nullptr);
    EXPECT_EQ(GetDredgelObj(nullptr, &odd), nullptr);
    odd.type = 16;
    odd.owner = 1;
    EXPECT_EQ(GetDredgelObj(media_, &odd), nullptr);
}

TEST_F(DredgelTest, ASecondRecoveryAddsRecordsInsteadOfOverwriting) {
    IDataContainer<_ARCHIVE_INFOMATION>* container = media_->Initialize(&phone_, &sink_);
    ASSERT_TRUE(Succeeded(media_->StartRecovery(nullptr)));
    int first = container->Count();
    ASSERT_TRUE(Succeeded(media_->StartRecovery(nullptr)));
    EXPECT_EQ(container->Count(), 2 * first);
}

TEST_F(DredgelTest, StopRequestSkipsTheRemainingVolumes) {
    media_->Initialize(&phone_, &sink_);
    sink_.stopAfter = 0;
    ASSERT_TRUE(Succeeded(media_->StartRecovery(nullptr)));
    EXPECT_EQ(media_->Initialize(&phone_, &sink_)->Count(), 0);
}

TEST_F(DredgelTest, ProgressFoldKeepsItsCarry) {
    media_->Initialize(&phone_, &sink_);
    CDredgel* dredgel = dynamic_cast<CDredgel*>(media_);
    auto report = [&](uint64_t done) {
        PROGRESS_INFO r{};
        r.state = 2;
        r.total = 100;
        r.done = done;
        dredgel->OnProgress(&r);
        return dredgel->Overall().done;
    };
    dredgel->OnProgress(nullptr);
    EXPECT_EQ(report(10), 3u);
    EXPECT_EQ(report(20), 6u);
    EXPECT_EQ(report(30), 10u);
    EXPECT_EQ(report(5), 11u);  // a new controller from the start: 5 / 3
    for (int i = 0; i < 5; ++i) {
        report(0);
        EXPECT_LE(report(100), 100u);
    }
    EXPECT_EQ(uint64_t{dredgel->Overall().done}, 99u);
}

}  // namespace
