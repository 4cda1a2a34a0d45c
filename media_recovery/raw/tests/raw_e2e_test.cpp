// The whole-device scan with the carving searcher over a fixture image, and every carved picture
// read back through the per-item reader, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>

#include "media_recovery/CCompleteRecoveryController.h"
#include "sqlite_recovery/framework/CDataContainer.h"
#include "outside/device/CImageStorage.h"
#include "media_recovery/CRecoveryFilter.h"
#include "media_recovery/IArchiveDataRecovery.h"
#include "media_recovery/file_model/CFileNode.h"
#include "media_recovery/file_model/IDataRunList.h"
#include "filesystems/frame/IFileSystemSearchController.h"
#include "sqlite_recovery/framework/IProgress.h"

namespace {

class QuietSink : public IProgress {
public:
    void OnProgress(const PROGRESS_INFO*) override {}
    void OnDataChanged(int) override { ++changes; }
    int ShouldContinue() override { return 1; }
    int changes = 0;
};

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class WholeDeviceCarving : public ::testing::TestWithParam<uint32_t> {};

TEST_P(WholeDeviceCarving, CarvedRecordsReadBackAsTheirSources) {
    uint32_t sector = GetParam();
    const char* env = std::getenv("RK_TESTDATA");
    std::string dir = std::string(env ? env : "testdata") + "/carving_images";
    std::string base = dir + "/random-" + std::to_string(sector);
    CImageStorage device(base + ".img", sector);
    ASSERT_EQ(device.Open(), 1);

    CRecoveryFilter* filter = GetRecoveryFilter();
    filter->SetCategories(127);
    CDataContainer<_ARCHIVE_INFOMATION> container;
    QuietSink sink;
    CCompleteRecoveryController controller;
    ASSERT_TRUE(controller.SetFilter(filter));
    ResultCode rc = controller.Run(&device, &sink, &container);
    EXPECT_TRUE(Succeeded(rc));
    filter->SetCategories(46);

    std::map<uint64_t, IFileNode*> bySector;
    for (auto it = container.Begin(); it != container.End(); ++it) {
        _ARCHIVE_INFOMATION& rec = it->second;
        if (rec.type != 20) continue;
        auto* node = dynamic_cast<CFileNode*>(rec.node);
        ASSERT_NE(node, nullptr);
        ASSERT_NE(node->GetDataRuns(), nullptr);
        bySector[static_cast<uint64_t>(node->GetDataRuns()->First()->start)] = rec.node;
    }
    EXPECT_EQ(sink.changes, static_cast<int>(container.Count()));
    // Serials count from 100 per category, one per file in the order the files were made.
    std::map<uint64_t, std::vector<uint64_t>> serials;
    for (auto& [sector, node] : bySector) serials[node->GetLocation2()].push_back(node->GetLocation());
    EXPECT_TRUE(serials.count(3));  // pictures
    for (auto& [category, list] : serials) {
        std::sort(list.begin(), list.end());
        for (size_t i = 0; i < list.size(); ++i) EXPECT_EQ(list[i], 100 + i) << "category " << category;
    }

    std::unique_ptr<IArchiveDataRecovery, void (*)(IArchiveDataRecovery*)> recovery(
        controller.CreateRecovery(SEARCHER_RAW), [](IArchiveDataRecovery* r) {
            if (r) r->Release();
        });
    ASSERT_NE(recovery, nullptr);
    std::ifstream manifest(base + ".txt");
    uint64_t at, size;
    std::string name, ext;
    int checked = 0;
    while (manifest >> at >> name >> size >> ext) {
        SCOPED_TRACE(name);
        auto it = bySector.find(at);
        ASSERT_NE(it, bySector.end());
        IFileNode* node = it->second;
        EXPECT_EQ(node->GetSize(), size);
        IArchiveFileReader* reader = recovery->OpenFile(node);
        ASSERT_NE(reader, nullptr);
        std::vector<uint8_t> got(size);
        uint64_t done = 0;
        while (done < size) {
            uint32_t n = reader->Read(done, got.data() + done, static_cast<uint32_t>(std::min<uint64_t>(size - done, 65536)));
            if (n == 0) break;
            done += n;
        }
        reader->Release();
        EXPECT_EQ(done, size);
        std::vector<uint8_t> src = ReadFile(dir + "/src/" + name);
        size_t common = std::min<size_t>(src.size(), got.size());
        EXPECT_TRUE(std::equal(src.begin(), src.begin() + common, got.begin()));
        ++checked;
    }
    EXPECT_GE(checked, 15);
    recovery.reset();
    for (auto it = container.Begin(); it != container.End(); ++it)
        if (auto* n = dynamic_cast<IFilesystemNode*>(it->second.node)) n->Release();
}

INSTANTIATE_TEST_SUITE_P(SectorSizes, WholeDeviceCarving, ::testing::Values(512u, 4096u));

}  // namespace
