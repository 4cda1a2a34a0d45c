// Times the FAT quick search over a 2 GiB FAT32 volume with 20 000 files and, in the same run,
// The Sleuth Kit's "fls -r" over the same volume; prints both and their ratio (best of three each).
//   fat_quick_search_bench [image]    (the image is made when it does not exist)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "outside/device/CImageStorage.h"
#include "filesystems/FileSystemSearchers.h"
#include "media_recovery/file_model/IDirecotryTreeBuilder.h"
#include "media_recovery/file_model/IFileNode.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "platform/FileSystem.h"

namespace {

class CountingBuilder : public IDirecotryTreeBuilder {
public:
    ~CountingBuilder() override {
        for (IFileNode* n : nodes) delete n;
    }
    bool Init(IDataContainer<_ARCHIVE_INFOMATION>*, IProgress*, IRecoveryFilter*) override { return true; }
    bool AddNode(IFileNode* node, int) override {
        nodes.push_back(node);
        if (node->IsDeleted()) ++deleted;
        return true;
    }
    int BeginSearch(int, int, int) override { return 1; }
    void EndSearch(int) override {}
    void Release() override {}
    std::vector<IFileNode*> nodes;
    size_t deleted = 0;
};

class QuietSink : public IProgress {
public:
    void OnProgress(const PROGRESS_INFO*) override {}
    void OnDataChanged(int) override {}
    int ShouldContinue() override { return 1; }
};

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace


int main(int argc, char** argv) {
    const std::string image = argc > 1 ? argv[1] : RK_FAT_BENCH_IMAGE;
    if (platform::GetEntryKind(image) != platform::EntryKind::File) {
        platform::CreateDirectories(platform::ParentFolder(image));
        std::printf("making %s ...\n", image.c_str());
        if (std::system((std::string(RK_FAT_BENCH_SCRIPT) + " '" + image + "'").c_str()) != 0) {
            std::fprintf(stderr, "could not make the image\n");
            return 1;
        }
    }

    double ours = 1e9;
    size_t found = 0, deleted = 0;
    for (int round = 0; round < 3; ++round) {
        CImageStorage device(image, 512);
        if (device.Open() != 1) {
            std::fprintf(stderr, "cannot open %s\n", image.c_str());
            return 1;
        }
        CountingBuilder builder;
        QuietSink sink;
        std::unique_ptr<IQuickFileSystemSearchController> searcher(CreateFATQuickSearcher());
        searcher->SetBuilder(&builder);
        auto start = std::chrono::steady_clock::now();
        ResultCode rc = searcher->Search(&device, &sink);
        double t = Seconds(start);
        if (Failed(rc)) {
            std::fprintf(stderr, "quick search failed: %llx\n", static_cast<unsigned long long>(rc));
            return 1;
        }
        if (t < ours) ours = t;
        found = builder.nodes.size();
        deleted = builder.deleted;
    }

    // fls's own count of what it lists from the directory tree (its orphan-file scan aside), so
    // that both sides are seen to list the same.
    std::string count = "fls -r -p '" + image + "' | grep -v -c -e '\\$OrphanFiles' -e '\\$MBR' -e '\\$FAT'";
    FILE* pipe = popen(count.c_str(), "r");
    long flsCount = -1;
    if (pipe) {
        if (std::fscanf(pipe, "%ld", &flsCount) != 1) flsCount = -1;
        pclose(pipe);
    }

    double fls = 1e9;
    for (int round = 0; round < 3; ++round) {
        auto start = std::chrono::steady_clock::now();
        if (std::system(("fls -r '" + image + "' > /dev/null").c_str()) != 0) {
            std::fprintf(stderr, "fls failed\n");
            return 1;
        }
        double t = Seconds(start);
        if (t < fls) fls = t;
    }

    std::printf("FAT32 quick search: %zu nodes (%zu deleted) in %.3f s\n", found, deleted, ours);
    std::printf("fls -r:             %ld entries outside $OrphanFiles, %.3f s\n", flsCount, fls);
    std::printf("ratio fls / quick search: %.2f (above 1 means faster than fls)\n", fls / ours);
    return 0;
}
