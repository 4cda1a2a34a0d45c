// Times the exFAT quick search over a 2 GiB volume with 20 000 files (1 000 deleted) as the media
// library runs it (the deleted-file controller, its builder, the category filter and the result
// container) and, alternating with it, The Sleuth Kit's "fls -r" over the same volume: five pairs,
// the median of the pair ratios and the best time of each.
//   exfat_quick_search_bench [image]    (the image is made when it does not exist; needs root)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "media_recovery/CDeletedRecoveryController.h"
#include "media_recovery/CRecoveryFilter.h"
#include "media_recovery/file_model/IFileNode.h"
#include "outside/device/CImageStorage.h"
#include "platform/FileSystem.h"
#include "sqlite_recovery/framework/CDataContainer.h"
#include "sqlite_recovery/framework/IProgress.h"

namespace {

class QuietSink : public IProgress {
public:
    void OnProgress(const PROGRESS_INFO*) override {}
    void OnDataChanged(int) override {}
    int ShouldContinue() override { return 1; }
};

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// One run of the media library's deleted-file controller; returns seconds, counts what it found.
double QuickSearch(const std::string& image, size_t* found, size_t* deleted) {
    CImageStorage device(image, 512);
    if (device.Open() != 1) return -1;
    CDataContainer<_ARCHIVE_INFOMATION> container;
    QuietSink sink;
    CDeletedRecoveryController* controller = new CDeletedRecoveryController;
    controller->SetFilter(GetRecoveryFilter());
    auto start = std::chrono::steady_clock::now();
    ResultCode rc = controller->Run(&device, &sink, &container);
    double t = Seconds(start);
    *found = *deleted = 0;
    for (auto it = container.Begin(); it != container.End(); ++it) {
        ++*found;
        if (it->second.node && it->second.node->IsDeleted()) ++*deleted;
    }
    controller->Release();
    return Failed(rc) ? -1 : t;
}

double Fls(const std::string& image) {
    auto start = std::chrono::steady_clock::now();
    if (std::system(("fls -r '" + image + "' > /dev/null").c_str()) != 0) return -1;
    return Seconds(start);
}

std::string Load() {
    std::string text;
    if (FILE* pipe = popen("uptime", "r")) {
        char line[256];
        if (std::fgets(line, sizeof line, pipe)) text = line;
        pclose(pipe);
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string image = argc > 1 ? argv[1] : RK_EXFAT_BENCH_IMAGE;
    if (platform::GetEntryKind(image) != platform::EntryKind::File) {
        platform::CreateDirectories(platform::ParentFolder(image));
        std::printf("making %s (about a minute) ...\n", image.c_str());
        if (std::system((std::string(RK_EXFAT_BENCH_SCRIPT) + " '" + image + "'").c_str()) != 0) {
            std::fprintf(stderr, "could not make the image\n");
            return 1;
        }
    }
    std::printf("load before: %s", Load().c_str());
    size_t found = 0, deleted = 0;
    std::vector<double> ours, theirs, ratios;
    for (int pair = 0; pair < 5; ++pair) {
        double a = QuickSearch(image, &found, &deleted);
        double b = Fls(image);
        if (a <= 0 || b <= 0) {
            std::fprintf(stderr, "a run failed (quick search %.3f, fls %.3f)\n", a, b);
            return 1;
        }
        ours.push_back(a);
        theirs.push_back(b);
        ratios.push_back(b / a);
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("load after:  %s", Load().c_str());

    // fls's own count of what it lists from the directory tree, so that both sides are seen to list
    // the same (its orphan-file scan and virtual files aside).
    long flsCount = -1;
    std::string count = "fls -r -p '" + image +
                        "' | grep -v -c -e '\\$OrphanFiles' -e '\\$MBR' -e '\\$FAT' -e '\\$ALLOC' -e '\\$UPCASE'";
    if (FILE* pipe = popen(count.c_str(), "r")) {
        if (std::fscanf(pipe, "%ld", &flsCount) != 1) flsCount = -1;
        pclose(pipe);
    }
    std::printf("exFAT quick search: %zu files in the result (%zu deleted), best %.4f s\n", found, deleted,
                *std::min_element(ours.begin(), ours.end()));
    std::printf("fls -r:             %ld entries (folders included), best %.4f s\n", flsCount,
                *std::min_element(theirs.begin(), theirs.end()));
    const double best = *std::min_element(theirs.begin(), theirs.end()) / *std::min_element(ours.begin(), ours.end());
    std::printf("ratio fls / quick search: median of 5 pairs %.1f (best against best %.1f; target at least 10)\n",
                ratios[2], best);
    return 0;
}
