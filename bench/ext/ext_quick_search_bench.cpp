// Times the Ext quick search over a 2 GiB ext4 volume with 20 000 files (1 000 of them deleted)
// and, in the same run, The Sleuth Kit's "fls -r" over the same volume, in five alternating pairs;
// prints the median of the pairs' ratios and the ratio of the best runs.
//   ext_quick_search_bench [image]    (the image is made when it does not exist)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "filesystems/FileSystemSearchers.h"
#include "media_recovery/file_model/IDirecotryTreeBuilder.h"
#include "media_recovery/file_model/IFileNode.h"
#include "outside/device/CImageStorage.h"
#include "platform/FileSystem.h"
#include "sqlite_recovery/framework/IProgress.h"

namespace {

// Keeps live nodes and refuses deleted files, as the media library's builder does for Ext volumes.
class CountingBuilder : public IDirecotryTreeBuilder {
public:
    ~CountingBuilder() override {
        for (IFileNode* n : nodes) delete n;
    }
    bool Init(IDataContainer<_ARCHIVE_INFOMATION>*, IProgress*, IRecoveryFilter*) override { return true; }
    bool AddNode(IFileNode* node, int) override {
        if (node->IsDeleted() && !node->IsDirectory()) {
            ++deleted;
            return false;
        }
        nodes.push_back(node);
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
    const std::string image = argc > 1 ? argv[1] : RK_EXT_BENCH_IMAGE;
    if (platform::GetEntryKind(image) != platform::EntryKind::File) {
        platform::CreateDirectories(platform::ParentFolder(image));
        std::printf("making %s ...\n", image.c_str());
        if (std::system((std::string(RK_EXT_BENCH_SCRIPT) + " '" + image + "'").c_str()) != 0) {
            std::fprintf(stderr, "could not make the image\n");
            return 1;
        }
    }

    // Alternating runs, five pairs: the load of a shared machine falls on both sides alike.
    std::vector<double> ours, theirs, ratios;
    size_t found = 0, refused = 0;
    for (int pair = 0; pair < 5; ++pair) {
        CImageStorage device(image, 512);
        if (device.Open() != 1) {
            std::fprintf(stderr, "cannot open %s\n", image.c_str());
            return 1;
        }
        CountingBuilder builder;
        QuietSink sink;
        std::unique_ptr<IQuickFileSystemSearchController> searcher(CreateExt2QuickSearch());
        searcher->SetBuilder(&builder);
        auto start = std::chrono::steady_clock::now();
        ResultCode rc = searcher->Search(&device, &sink);
        ours.push_back(Seconds(start));
        if (Failed(rc)) {
            std::fprintf(stderr, "quick search failed: %llx\n", static_cast<unsigned long long>(rc));
            return 1;
        }
        found = builder.nodes.size();
        refused = builder.deleted;
        start = std::chrono::steady_clock::now();
        if (std::system(("fls -r '" + image + "' > /dev/null").c_str()) != 0) {
            std::fprintf(stderr, "fls failed\n");
            return 1;
        }
        theirs.push_back(Seconds(start));
        ratios.push_back(theirs.back() / ours.back());
    }

    // fls's count of the live names it lists, so that both sides are seen to list the same.
    std::string count = "fls -r -p -u '" + image + "' | grep -v -c -e '\\$OrphanFiles'";
    FILE* pipe = popen(count.c_str(), "r");
    long flsCount = -1;
    if (pipe) {
        if (std::fscanf(pipe, "%ld", &flsCount) != 1) flsCount = -1;
        pclose(pipe);
    }

    std::sort(ratios.begin(), ratios.end());
    const double bestOurs = *std::min_element(ours.begin(), ours.end());
    const double bestTheirs = *std::min_element(theirs.begin(), theirs.end());
    std::printf("Ext quick search: %zu live nodes (%zu deleted refused), best %.4f s\n", found, refused, bestOurs);
    std::printf("fls -r:           %ld live entries, best %.4f s\n", flsCount, bestTheirs);
    std::printf("ratio fls / quick search: median of 5 pairs %.2f, of the best runs %.2f (target at least 10)\n",
                ratios[2], bestTheirs / bestOurs);
    return 0;
}
