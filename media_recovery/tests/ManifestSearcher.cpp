#include "media_recovery/tests/ManifestSearcher.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "media_recovery/file_model/CDataRunList.h"
#include "filesystems/frame/CSearchedPartitionInfo.h"
#include "media_recovery/file_model/IDirecotryTreeBuilder.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "outside/device/CImageStorage.h"
#include "sqlite_recovery/framework/IStorageDevice.h"
#include "testing/TestNodes.h"

std::string FixturePath(const std::string& name) {
    const char* root = std::getenv("RK_TESTDATA");
    return std::string(root ? root : ".") + "/media_fixtures/" + name;
}

int CManifestQuickSearcher::GetPartitions(CSearchedPartitionInfo** out, int max) {
    if (!loaded_) return 0;
    if (!out || max < 1) return 1;
    auto* p = new CSearchedPartitionInfo(sectorSize_);
    p->index = 0;
    p->sectorsPerCluster = sectorsPerCluster_;
    p->dataStart = dataStart_;
    p->volumeLength = deviceSectors_;
    p->weight = 1.0;
    out[0] = p;
    return 1;
}

ResultCode CManifestQuickSearcher::Search(IStorageDevice* device, IProgress* sink) {
    ++searches;
    std::ifstream in(manifest_);
    if (!in || !device || !builder_) return RK_FAIL(RK_E_NOT_FOUND);
    deviceSectors_ = device->GetSectorCount();
    std::map<std::string, CTestNode*> folders;
    builder_->BeginSearch(SEARCHER_FAT, 0, 0);
    std::string line;
    auto parentOf = [&](const std::string& path) -> CTestNode* {
        size_t slash = path.rfind('/');
        if (slash == std::string::npos) return nullptr;
        auto found = folders.find(path.substr(0, slash));
        return found == folders.end() ? nullptr : found->second;
    };
    auto leaf = [](const std::string& path) {
        size_t slash = path.rfind('/');
        return slash == std::string::npos ? path : path.substr(slash + 1);
    };
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        if (kind == "geometry") {
            fields >> sectorSize_ >> sectorsPerCluster_ >> dataStart_;
            loaded_ = true;
        } else if (kind == "dir") {
            int deleted = 0;
            std::string path;
            fields >> deleted >> std::ws;
            std::getline(fields, path);
            auto* dir = new CTestNode(leaf(path), 0, true, deleted != 0);
            if (CTestNode* parent = parentOf(path)) parent->AddChild(dir);
            if (builder_->AddNode(dir, SEARCHER_FAT)) folders[path] = dir;
            else delete dir;
        } else if (kind == "file") {
            int deleted = 0;
            uint64_t size = 0;
            std::string runs, path;
            fields >> deleted >> size >> runs >> std::ws;
            std::getline(fields, path);
            auto* file = new CTestNode(leaf(path), size, false, deleted != 0);
            if (runs != "-") {
                CDataRunList* list = CreateDataRunList();
                std::istringstream parts(runs);
                std::string part;
                while (std::getline(parts, part, ',')) {
                    size_t colon = part.find(':');
                    DataRun run(std::stoll(part.substr(0, colon)), std::stoull(part.substr(colon + 1)));
                    list->AppendRun(&run);
                }
                file->SetDataRuns(list);
            }
            file->SetPartitionIndex(0);
            if (CTestNode* parent = parentOf(path)) parent->AddChild(file);
            if (!builder_->AddNode(file, SEARCHER_FAT)) delete file;
        }
    }
    builder_->EndSearch(SEARCHER_FAT);
    if (sink) {
        PROGRESS_INFO done{};
        done.state = PROGRESS_STATE_FINISHED;
        done.total = done.done = 100;
        sink->OnProgress(&done);
    }
    return RK_OK;
}

namespace {
class CPhoneSearcher : public IQuickFileSystemSearchController {
public:
    void SetBuilder(IDirecotryTreeBuilder* builder) override { builder_ = builder; }
    int GetPartitions(CSearchedPartitionInfo** out, int max) override {
        return inner_ ? inner_->GetPartitions(out, max) : 0;
    }
    ResultCode Search(IStorageDevice* device, IProgress* sink) override {
        auto* image = dynamic_cast<CImageStorage*>(device);
        std::string path = image ? image->Path() : "";
        std::string manifest;
        if (path.find("a_sdcard.img") != std::string::npos) manifest = "fat16.manifest";
        if (path.find("c_internal.4k.img") != std::string::npos) manifest = "fat16.4k.manifest";
        if (manifest.empty()) return RK_OK;
        inner_.reset(new CManifestQuickSearcher(FixturePath(manifest)));
        inner_->SetBuilder(builder_);
        return inner_->Search(device, sink);
    }

private:
    IDirecotryTreeBuilder* builder_ = nullptr;
    std::unique_ptr<CManifestQuickSearcher> inner_;
};
}  // namespace

IQuickFileSystemSearchController* MakePhoneSearcher() { return new CPhoneSearcher; }
