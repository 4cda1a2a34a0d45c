#pragma once
// The quick-search benchmarks of the file-system readers: a volume's quick search as the media
// library runs it (the deleted-file controller, its builder, the category filter and the result
// container) and, alternating with it, The Sleuth Kit's fls over the same volume: five pairs, the
// median of the pair ratios and the best time of each, with the machine's load before and after.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "media_recovery/CDeletedRecoveryController.h"
#include "media_recovery/CRecoveryFilter.h"
#include "media_recovery/file_model/IFileNode.h"
#include "outside/device/CImageStorage.h"
#include "platform/FileSystem.h"
#include "sqlite_recovery/framework/CDataContainer.h"
#include "sqlite_recovery/framework/IProgress.h"

namespace quickbench {

struct Setup {
    const char* family;         // "exFAT", "Ext"
    std::string image;          // made by makeScript when it does not exist
    const char* makeScript;
    const char* flsCountFilter; // grep -v arguments that drop fls's virtual entries from its count
    // fls options of a second comparison, or null: each is timed in pairs of its own.
    const char* otherFlsOptions = nullptr;
    // When above 0: only the quick search, that many times (for a profiler), no fls.
    int aloneRuns = 0;
};

// "[image] [--alone N]": the image argument and the quick-search-only mode.
inline void ParseArguments(Setup& setup, int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--alone" && i + 1 < argc) setup.aloneRuns = std::atoi(argv[++i]);
        else setup.image = arg;
    }
}

class QuietSink : public IProgress {
public:
    void OnProgress(const PROGRESS_INFO*) override {}
    void OnDataChanged(int) override {}
    int ShouldContinue() override { return 1; }
};

inline double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Seconds of processor time the calling thread has used: on a busy machine it varies less than
// the wall clock.
inline double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// One run of the media library's deleted-file controller; returns seconds, counts what it found,
// and the processor seconds it took in *cpu when cpu is not null.
inline double QuickSearch(const std::string& image, size_t* found, size_t* deleted, double* cpu = nullptr) {
    CImageStorage device(image, 512);
    if (device.Open() != 1) return -1;
    CDataContainer<_ARCHIVE_INFOMATION> container;
    QuietSink sink;
    CDeletedRecoveryController* controller = new CDeletedRecoveryController;
    controller->SetFilter(GetRecoveryFilter());
    const double cpuStart = ThreadSeconds();
    auto start = std::chrono::steady_clock::now();
    ResultCode rc = controller->Run(&device, &sink, &container);
    double t = Seconds(start);
    if (cpu) *cpu = ThreadSeconds() - cpuStart;
    *found = *deleted = 0;
    for (auto it = container.Begin(); it != container.End(); ++it) {
        ++*found;
        if (it->second.node && it->second.node->IsDeleted()) ++*deleted;
    }
    controller->Release();
    return Failed(rc) ? -1 : t;
}

inline double Fls(const std::string& options, const std::string& image) {
    auto start = std::chrono::steady_clock::now();
    if (std::system(("fls " + options + " '" + image + "' > /dev/null").c_str()) != 0) return -1;
    return Seconds(start);
}

inline std::string Load() {
    std::string text;
    if (FILE* pipe = popen("uptime", "r")) {
        char line[256];
        if (std::fgets(line, sizeof line, pipe)) text = line;
        pclose(pipe);
    }
    return text;
}

// Five alternating pairs against "fls options"; prints the times and the ratios. False on a failure.
inline bool ComparePairs(const Setup& setup, const std::string& options) {
    size_t found = 0, deleted = 0;
    std::vector<double> ours, theirs, ratios;
    for (int pair = 0; pair < 5; ++pair) {
        double a = QuickSearch(setup.image, &found, &deleted);
        double b = Fls(options, setup.image);
        if (a <= 0 || b <= 0) {
            std::fprintf(stderr, "a run failed (quick search %.3f, fls %.3f)\n", a, b);
            return false;
        }
        ours.push_back(a);
        theirs.push_back(b);
        ratios.push_back(b / a);
    }
    std::sort(ratios.begin(), ratios.end());
    const double bestOurs = *std::min_element(ours.begin(), ours.end());
    const double bestTheirs = *std::min_element(theirs.begin(), theirs.end());
    std::printf("%s quick search: %zu files in the result (%zu deleted), best %.4f s\n", setup.family, found, deleted,
                bestOurs);
    std::printf("fls %s: best %.4f s\n", options.c_str(), bestTheirs);
    std::printf("ratio fls %s / quick search: median of 5 pairs %.1f (best against best %.1f; target at least 10)\n",
                options.c_str(), ratios[2], bestTheirs / bestOurs);
    return true;
}

inline int Run(const Setup& setup) {
    if (platform::GetEntryKind(setup.image) != platform::EntryKind::File) {
        platform::CreateDirectories(platform::ParentFolder(setup.image));
        std::printf("making %s (about a minute) ...\n", setup.image.c_str());
        if (std::system((std::string(setup.makeScript) + " '" + setup.image + "'").c_str()) != 0) {
            std::fprintf(stderr, "could not make the image\n");
            return 1;
        }
    }
    std::printf("load before: %s", Load().c_str());
    if (setup.aloneRuns > 0) {
        size_t found = 0, deleted = 0;
        std::vector<double> times, cpus;
        for (int i = 0; i < setup.aloneRuns; ++i) {
            double cpu = 0;
            times.push_back(QuickSearch(setup.image, &found, &deleted, &cpu));
            cpus.push_back(cpu);
        }
        std::sort(times.begin(), times.end());
        std::sort(cpus.begin(), cpus.end());
        std::printf("%s quick search alone: %zu files, best %.4f s, median %.4f s of %d (processor time: best %.4f s, "
                    "median %.4f s)\n",
                    setup.family, found, times.front(), times[times.size() / 2], setup.aloneRuns, cpus.front(),
                    cpus[cpus.size() / 2]);
        std::printf("load after:  %s", Load().c_str());
        return times.front() > 0 ? 0 : 1;
    }
    if (!ComparePairs(setup, "-r")) return 1;
    if (setup.otherFlsOptions && !ComparePairs(setup, setup.otherFlsOptions)) return 1;
    std::printf("load after:  %s", Load().c_str());

    // fls's own count of what it lists from the directory tree, so that both sides are seen to list
    // the same (its orphan-file scan and virtual files aside).
    long flsCount = -1;
    std::string count = "fls -r -p '" + setup.image + "' | grep -v -c " + setup.flsCountFilter;
    if (FILE* pipe = popen(count.c_str(), "r")) {
        if (std::fscanf(pipe, "%ld", &flsCount) != 1) flsCount = -1;
        pclose(pipe);
    }
    std::printf("fls -r lists %ld entries (folders and deleted names included)\n", flsCount);
    return 0;
}

}  // namespace quickbench
